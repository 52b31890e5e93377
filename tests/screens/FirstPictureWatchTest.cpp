#include "media/motion/ClipWriter.h"
#include "model/Files.h"
#include "pipeline/StoreHarness.h"
#include "screens/FirstPictureWatch.h"

#include <QCoreApplication>
#include <QMediaPlayer>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoFrameFormat>
#include <QVideoSink>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <vector>

using namespace vl;
using vl::screens::FirstPictureWatch;
using vl::testing::spin;
using vl::testing::waitUntil;

namespace {

// A real clip of a few frames of one colour, as the motion step writes them.
QUrl writeClip(const std::filesystem::path& path)
{
    constexpr int width = 96, height = 160;
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width * height * 3), 120);
    ClipWriter writer(path, width, height, 24);
    for (int i = 0; i < 12; ++i)
        writer.append(pixels.data(), width * 3, ClipWriter::Layout::bgr24);
    writer.finish();
    return QUrl::fromLocalFile(QString::fromStdString(path.string()));
}

// Longer than the watch would wait before its next wake, after `wakes` of them.
int pastTheNextWake(int wakes)
{
    return 2 * std::min(FirstPictureWatch::kFirstWaitMs << wakes, FirstPictureWatch::kLongestWaitMs);
}

// A small picture of the kind a player hands its sink.
QVideoFrame aPicture()
{
    return QVideoFrame(QVideoFrameFormat(QSize(8, 8), QVideoFrameFormat::Format_BGRA8888));
}

// Two clips, a player and a watch over the sink `shown`. Where the player draws is
// the test's choice: `shown`, or `elsewhere`, which the watch does not see, as a
// player whose reader never woke shows nothing at all.
struct Players {
    enum class Draws { whereWatched, elsewhere };

    explicit Players(Draws draws)
    {
        player.setVideoSink(draws == Draws::whereWatched ? &shown : &elsewhere);
        watch.setPlayer(&player);
        watch.setVideoSink(&shown);
    }

    files::TemporaryDirectory folder{"first-picture"};
    QUrl first = writeClip(folder.path() / "first.mov");
    QUrl second = writeClip(folder.path() / "second.mov");
    QMediaPlayer player;
    QVideoSink shown; // what the watch looks at
    QVideoSink elsewhere;
    FirstPictureWatch watch;
};

} // namespace

TEST(FirstPictureWatch, AClipWhosePictureArrivesIsLeftAloneAndEachNewClipIsWatchedAgain)
{
    Players p(Players::Draws::whereWatched);

    for (const QUrl& source : {p.first, p.second}) {
        p.player.setSource(source);
        p.player.pause();
        EXPECT_FALSE(p.watch.shown()) << "a new clip has shown nothing yet";
        ASSERT_TRUE(waitUntil([&] { return p.watch.shown(); }, 60000)) << source.toString().toStdString();
        const int wakes = p.watch.wakes();
        spin(pastTheNextWake(wakes));
        EXPECT_EQ(p.watch.wakes(), wakes) << "the picture came: nothing more to wake";
        EXPECT_EQ(p.player.position(), 0);
    }
}

TEST(FirstPictureWatch, APlayerThatShowsNothingIsWokenAgainUntilAPictureArrives)
{
    Players p(Players::Draws::elsewhere);
    p.player.setSource(p.first);
    p.player.pause();

    ASSERT_TRUE(waitUntil([&] { return p.watch.wakes() >= 2; }, 60000));
    EXPECT_FALSE(p.watch.shown());

    // A picture reaches the watched sink: the waking stops.
    const QVideoFrame frame = aPicture();
    ASSERT_TRUE(frame.isValid());
    p.shown.setVideoFrame(frame);
    ASSERT_TRUE(waitUntil([&] { return p.watch.shown(); }, 60000));
    const int wakes = p.watch.wakes();
    spin(pastTheNextWake(wakes));
    EXPECT_EQ(p.watch.wakes(), wakes);

    // A new clip starts again from nothing shown and no wakes; an empty frame, as a
    // stopped player leaves, is no picture.
    p.player.setSource(p.second);
    EXPECT_FALSE(p.watch.shown());
    EXPECT_EQ(p.watch.wakes(), 0);
    p.shown.setVideoFrame(QVideoFrame());
    ASSERT_TRUE(waitUntil([&] { return p.watch.wakes() >= 1; }, 60000));
    EXPECT_FALSE(p.watch.shown());
}

TEST(FirstPictureWatch, APictureOfTheClipBeforeDoesNotPassForTheNewOnes)
{
    Players p(Players::Draws::elsewhere);
    p.player.setSource(p.first);
    // The watch is open to the first clip's pictures,
    QCoreApplication::processEvents();
    // and one of them is still on its way to it when the clip changes.
    p.shown.setVideoFrame(aPicture());
    p.player.setSource(p.second);
    ASSERT_TRUE(waitUntil([&] { return p.watch.wakes() >= 1; }, 60000));
    EXPECT_FALSE(p.watch.shown());
}

TEST(FirstPictureWatch, GivesUpOnASourceThePlayerCannotRead)
{
    Players p(Players::Draws::whereWatched);
    p.player.setSource(QUrl::fromLocalFile(QString::fromStdString((p.folder.path() / "missing.mov").string())));
    p.player.pause();
    ASSERT_TRUE(waitUntil([&] { return p.player.error() != QMediaPlayer::NoError; }, 60000));
    const int wakes = p.watch.wakes();
    spin(pastTheNextWake(wakes));
    EXPECT_EQ(p.watch.wakes(), wakes);
    EXPECT_FALSE(p.watch.shown());
}
