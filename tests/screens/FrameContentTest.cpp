#include "pipeline/StoreHarness.h"
#include "screens/frames/FrameContent.h"

#include "fakes/PictureBytes.h"

#include <sys/stat.h>

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

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

TEST(FrameContent, PicturesAreDecodedOnlyThroughThePictureReaderAndFittedToTheirBox)
{
    StoreHarness h;
    const auto write = [&](const std::string& name, const std::string& bytes) {
        const auto path = h.folder.path() / name;
        std::ofstream(path, std::ios::binary) << bytes;
        return QString::fromStdString(path.string());
    };
    const auto encoded = [](const char* extension, const cv::Mat& image) {
        std::vector<unsigned char> bytes;
        EXPECT_TRUE(cv::imencode(extension, image, bytes));
        return std::string(bytes.begin(), bytes.end());
    };
    cv::Mat wide(400, 800, CV_8UC4, cv::Scalar(255, 0, 0, 255)); // opaque blue
    wide(cv::Rect(400, 0, 400, 400)).setTo(cv::Scalar(0, 0, 255, 0)); // right half transparent
    const std::string png = encoded(".png", wide);
    const std::string jpeg = encoded(".jpg", cv::Mat(2000, 1000, CV_8UC3, cv::Scalar(0, 200, 0)));
    std::filesystem::create_directory(h.folder.path() / "folder.png");

    struct Case {
        const char* name;
        QString path;
        QSize box;
        QSize expected; // empty: refused
    };
    const Case cases[] = {
        {"fitted to the box", write("wide.png", png), {200, 200}, {200, 100}},
        {"never enlarged", write("small.png", png), {2000, 2000}, {800, 400}},
        {"no box: its own size", write("whole.png", png), {}, {800, 400}},
        {"a JPEG decoded reduced, still the box's size", write("tall.jpg", jpeg), {90, 160}, {80, 160}},
        {"over the pixel limit", write("bomb.png", vl::testing::pngClaiming(30000, 30000)), {90, 160}, {}},
        {"header only", write("header.png", vl::testing::pngClaiming(9000, 9000)), {90, 160}, {}},
        {"cut short", write("cut.png", png.substr(0, png.size() / 2)), {90, 160}, {}},
        {"another format", write("picture.bmp", encoded(".bmp", cv::Mat(4, 4, CV_8UC3))), {90, 160}, {}},
        {"a folder", QString::fromStdString((h.folder.path() / "folder.png").string()), {90, 160}, {}},
        {"no file", QString::fromStdString((h.folder.path() / "gone.png").string()), {90, 160}, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QImage image = readPicture(c.path, c.box);
        EXPECT_EQ(image.isNull() ? QSize() : image.size(), c.expected);
    }

    // Deciding what to show reads a file's first bytes only, and never opens a pipe.
    const auto fifo = h.folder.path() / "pipe.png";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::pair<QString, bool> readable[] = {
        {cases[0].path, true}, {cases[3].path, true}, {cases[4].path, true}, {cases[7].path, false},
        {cases[8].path, false}, {cases[9].path, false}, {QString::fromStdString(fifo.string()), false},
    };
    for (const auto& [path, expected] : readable)
        EXPECT_EQ(isReadableImage(path), expected) << path.toStdString();

    // Transparency is kept for the view to draw over its black base.
    const QImage fitted = readPicture(QString::fromStdString((h.folder.path() / "wide.png").string()), {200, 200});
    EXPECT_EQ(fitted.pixelColor(20, 50), QColor(0, 0, 255));
    EXPECT_EQ(fitted.pixelColor(180, 50).alpha(), 0);
    // Fetched bytes go the same way.
    EXPECT_EQ(readPicture(QByteArray::fromStdString(png), {200, 200}).size(), QSize(200, 100));
    EXPECT_TRUE(readPicture(QByteArray::fromStdString(vl::testing::pngClaiming(30000, 30000)), {}).isNull());
    EXPECT_TRUE(readPicture(QByteArray("GIF89a not for us"), {}).isNull());
}
