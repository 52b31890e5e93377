#include "pipeline/StoreHarness.h"
#include "screens/FrameContent.h"

#include <gtest/gtest.h>

#include <fstream>

using namespace vl;
using namespace vl::screens;
using vl::testing::StoreHarness;

TEST(FrameContent, TheFileWinsThenAFetchableAddressThenThePlaceholder)
{
    StoreHarness h; // its vendor stands for the network; nothing may reach it
    const QString picture = QString::fromStdString(h.picture("frame.png"));
    const QString garbage = QString::fromStdString((h.folder.path() / "garbage.png").string());
    std::ofstream(garbage.toStdString()) << "not a picture at all";
    const QString gone = QString::fromStdString((h.folder.path() / "gone.png").string());
    const QString address = QString::fromStdString(h.vendor.defaultImageURL());

    struct Case {
        const char* name;
        bool hasFrame;
        QString path;
        QString remoteURL;
        FrameImage::Content expected;
    };
    const Case cases[] = {
        {"no frame", false, picture, address, FrameImage::Placeholder},
        {"file ok, address too", true, picture, address, FrameImage::Local},
        {"file gone, address", true, gone, address, FrameImage::Remote},
        {"garbage file, address", true, garbage, address, FrameImage::Remote},
        {"file gone, no address", true, gone, "", FrameImage::Placeholder},
        {"file gone, unparseable address", true, gone, "http://[not an address", FrameImage::Placeholder},
        {"file gone, relative address", true, gone, "media/frame.png", FrameImage::Placeholder},
        {"file gone, file: address", true, gone, QUrl::fromLocalFile(picture).toString(), FrameImage::Placeholder},
        {"file gone, https address", true, gone, "https://v3.example.net/files/a.png", FrameImage::Remote},
        {"no path at all", true, "", address, FrameImage::Remote},
    };
    for (const auto& c : cases)
        EXPECT_EQ(FrameImage::content(c.hasFrame, c.path, false, c.remoteURL), c.expected) << c.name;
    EXPECT_EQ(h.vendor.requestCount(), 0u) << "deciding never fetches anything";
}

TEST(FrameContent, AFileThatFailedToDecodeCountsAsUnreadable)
{
    StoreHarness h;
    const QString picture = QString::fromStdString(h.picture("frame.png"));
    const QString address = QString::fromStdString(h.vendor.defaultImageURL());
    EXPECT_EQ(FrameImage::content(true, picture, true, address), FrameImage::Remote);
    EXPECT_EQ(FrameImage::content(true, picture, true, ""), FrameImage::Placeholder);
    EXPECT_EQ(frameContent(false, true, address), FrameContent::placeholder);
    EXPECT_EQ(frameContent(true, true, ""), FrameContent::local);
}
