#include "Images.h"
#include "MovieReader.h"

#include "media/motion/FrameImage.h"
#include "media/motion/MotionError.h"
#include "media/motion/PanZoomRenderer.h"
#include "model/Cancellation.h"
#include "model/Files.h"

#include "fakes/PictureBytes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

using namespace vl;
using namespace vl::test;
namespace fs = std::filesystem;

namespace {

const cv::Vec3b cyan{255, 255, 0}, orange{0, 128, 255};

// Quadrants with a 4-pixel stripe on each side: left magenta, right yellow,
// top cyan, bottom orange. Which stripes show tells where the image sits.
cv::Mat striped(int width, int height)
{
    cv::Mat m = framedQuadrants(width, height, 4);
    m.rowRange(0, 4).setTo(cv::Scalar(cyan));
    m.rowRange(height - 4, height).setTo(cv::Scalar(orange));
    return m;
}

cv::Mat bgra(const cv::Mat& bgr)
{
    cv::Mat out;
    cv::cvtColor(bgr, out, cv::COLOR_BGR2BGRA);
    return out;
}

ClipMotion clip(double duration = 0.5, std::int64_t fps = 30)
{
    ClipMotion m;
    m.width = 90;
    m.height = 160;
    m.fps = fps;
    m.durationSeconds = duration;
    return m;
}

ClipMotion still(MotionPoint offset, double zoom)
{
    ClipMotion m = clip();
    m.offsetStart = m.offsetEnd = offset;
    m.zoomStart = m.zoomEnd = zoom;
    return m;
}

std::vector<fs::path> folderEntries(const fs::path& folder)
{
    std::vector<fs::path> entries;
    for (const auto& e : fs::directory_iterator(folder))
        entries.push_back(e.path().filename());
    return entries;
}

struct Probe {
    int x, y;
    cv::Vec3b colour;
};

struct GeometryCase {
    const char* name;
    cv::Size image;
    ClipMotion motion;
    std::int64_t i, n;
    std::vector<Probe> probes;
};

} // namespace

// Pixel-exact placement, straight from the painter (no codec in the way).
TEST(PanZoomPainter, PlacesTheImageAsTheOffsetsAndZoomSay)
{
    const double fitExactly = 1 / 1.22; // drawn at exactly the cover size
    const std::vector<GeometryCase> cases = {
        {"zoom 1 centred: quadrants upright, side stripes cropped away", {90, 160}, still({0, 0}, 1), 0, 1,
         {{22, 40, red}, {67, 40, green}, {22, 120, blue}, {67, 120, white}, {0, 40, red}, {89, 120, white},
          {40, 0, red}, {22, 159, blue}}},
        {"x at -0.5: left edge on the frame's left edge", {90, 160}, still({-0.5, 0}, 1), 0, 1,
         {{0, 80, magenta}, {2, 30, magenta}, {89, 40, green}}},
        {"x at +0.5: right edge on the frame's right edge", {90, 160}, still({0.5, 0}, 1), 0, 1,
         {{89, 80, yellow}, {87, 30, yellow}, {0, 40, red}}},
        {"y at -0.5: bottom edge on the frame's bottom", {90, 160}, still({0, -0.5}, 1), 0, 1,
         {{45, 159, orange}, {45, 157, orange}, {22, 0, red}}},
        {"y at +0.5: top edge on the frame's top", {90, 160}, still({0, 0.5}, 1), 0, 1,
         {{45, 0, cyan}, {45, 2, cyan}, {22, 159, blue}}},
        {"zoom 0.5: the fill shows round the image", {90, 160}, still({0, 0}, 0.5), 0, 1,
         {{0, 0, teal}, {89, 159, teal}, {10, 80, teal}, {30, 60, red}, {60, 100, white}}},
        {"zero zoom draws only the fill", {90, 160}, still({0, 0}, 0), 0, 1, {{45, 80, teal}, {0, 0, teal}}},
        {"wide image fits the frame height", {320, 90}, still({-0.5, 0}, fitExactly), 0, 1,
         {{0, 80, magenta}, {20, 0, cyan}, {20, 159, orange}, {89, 40, red}}},
        {"tall image fits the frame width", {90, 400}, still({0, 0.5}, fitExactly), 0, 1,
         {{0, 80, magenta}, {89, 80, yellow}, {45, 0, cyan}, {20, 159, red}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const PanZoomPainter painter(bgra(striped(c.image.width, c.image.height)), c.motion);
        cv::Mat frame;
        painter.draw(c.i, c.n, frame);
        ASSERT_EQ(frame.size(), cv::Size(90, 160));
        ASSERT_EQ(frame.type(), CV_8UC3);
        for (const auto& p : c.probes)
            EXPECT_LE(colourDistance(frame.at<cv::Vec3b>(p.y, p.x), p.colour), 2)
                << "at " << p.x << "," << p.y << ": " << frame.at<cv::Vec3b>(p.y, p.x);
    }
}

TEST(PanZoomPainter, EasesByFramePositionOverFrameCount)
{
    ClipMotion pan = clip();
    pan.offsetStart = {-0.5, -0.5};
    pan.offsetEnd = {0.5, 0.5};
    pan.zoomStart = 0.8;
    pan.zoomEnd = 1.2;
    const cv::Mat image = bgra(striped(90, 160));
    cv::Mat first, middle, centred;
    PanZoomPainter(image, pan).draw(0, 2, first);
    PanZoomPainter(image, pan).draw(1, 2, middle); // t = 1/2, not 1: the last frame stops short of the end
    PanZoomPainter(image, still({0, 0}, 1)).draw(0, 1, centred);
    EXPECT_EQ(colourDistance(first.at<cv::Vec3b>(159, 0), orange), 0) << "start: bottom-left corner";
    EXPECT_EQ(cv::norm(middle, centred, cv::NORM_INF), 0) << "half-way is centred at the mean zoom";
}

TEST(PanZoomPainter, TransparentPixelsShowTheFill)
{
    cv::Mat image = bgra(quadrants(90, 160));
    image(cv::Rect(0, 0, 45, 80)).setTo(cv::Scalar(0, 0, 255, 0)); // the red quadrant, fully transparent
    image(cv::Rect(45, 0, 45, 80)).setTo(cv::Scalar(0, 255, 0, 128));
    cv::Mat frame;
    PanZoomPainter(image, still({0, 0}, 1)).draw(0, 1, frame);
    EXPECT_LE(colourDistance(frame.at<cv::Vec3b>(40, 22), teal), 1);
    EXPECT_LE(colourDistance(frame.at<cv::Vec3b>(40, 67), cv::Vec3b{7, 135, 1}), 1);
}

TEST(LoadFrameImage, DecodesEveryCommonLayoutToBgra)
{
    files::TemporaryDirectory dir("motion-test");
    cv::Mat sixteen(8, 6, CV_16UC3, cv::Scalar(65535, 0, 32896));
    cv::Mat grey(8, 6, CV_8UC1, cv::Scalar(200));
    cv::Mat withAlpha(8, 6, CV_8UC4, cv::Scalar(10, 20, 30, 40));
    struct Case {
        const char* name;
        cv::Mat image;
        cv::Vec4b expected;
    };
    const Case cases[] = {
        {"16-bit.png", sixteen, {255, 0, 128, 255}},
        {"grey.png", grey, {200, 200, 200, 255}},
        {"alpha.png", withAlpha, {10, 20, 30, 40}},
    };
    std::vector<std::pair<std::string, cv::Vec4b>> files;
    for (const auto& c : cases)
        files.emplace_back(save(c.image, dir.path() / c.name).string(), c.expected);
    // Grey with alpha, which OpenCV itself writes no PNG in.
    std::ofstream(dir.path() / "grey-alpha.png", std::ios::binary) << vl::testing::pngGreyAlpha(6, 8, 90, 200);
    files.emplace_back((dir.path() / "grey-alpha.png").string(), cv::Vec4b{90, 90, 90, 200});
    for (const auto& [file, expected] : files) {
        SCOPED_TRACE(file);
        const auto loaded = loadFrameImage(file);
        ASSERT_TRUE(loaded);
        EXPECT_EQ(loaded->type(), CV_8UC4);
        EXPECT_EQ(loaded->size(), cv::Size(6, 8));
        EXPECT_EQ(loaded->at<cv::Vec4b>(0, 0), expected);
    }
    std::ofstream(dir.path() / "text.png") << "not a picture";
    EXPECT_FALSE(loadFrameImage(dir.path() / "text.png"));
    // Only PNG, JPEG and WebP reach a decoder.
    EXPECT_FALSE(loadFrameImage(save(quadrants(6, 8), dir.path() / "plain.bmp")));
    EXPECT_FALSE(loadFrameImage(dir.path() / "missing.png"));
    EXPECT_FALSE(loadFrameImage(dir.path()));
}

class PanZoomRender : public ::testing::Test {
protected:
    files::TemporaryDirectory dir{"motion-test"};
    fs::path image = save(striped(90, 160), dir.path() / "frame.png");
    PanZoomRenderer renderer;
};

TEST_F(PanZoomRender, WritesAQuickTimeH264ClipOfExactlyNFramesAtRateR)
{
    struct Case {
        double duration;
        std::int64_t fps;
        int frames;
        double seconds;
    };
    const Case cases[] = {
        {0.5, 30, 15, 0.5},
        {2.99, 30, 89, 89 / 30.0},
        {0.01, 30, 1, 1 / 30.0},  // shorter than a frame still gives one
        {-2, 30, 1, 1 / 30.0},
        {1.5, 0, 1, 1.0},         // rate below 1 counts as 1
        {2.0, -4, 2, 2.0},
        {0.5, 24, 12, 0.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(::testing::Message() << c.duration << " s at " << c.fps << " fps");
        const fs::path out = dir.path() / "clip.mov";
        std::vector<double> progress;
        const auto written = renderer.render(image, clip(c.duration, c.fps), out,
                                             [&](double p) { progress.push_back(p); });
        EXPECT_EQ(written, out);
        const Movie movie = readMovie(out, false);
        EXPECT_EQ(movie.container.find("mov"), 0u) << movie.container;
        EXPECT_EQ(movie.codec, "h264");
        EXPECT_EQ(movie.pixelFormat, "yuv420p");
        EXPECT_EQ(movie.width, 90);
        EXPECT_EQ(movie.height, 160);
        EXPECT_EQ(movie.streams, 1) << "no audio track";
        ASSERT_EQ(movie.frameTimes.size(), static_cast<size_t>(c.frames));
        const double rate = static_cast<double>(std::max<std::int64_t>(c.fps, 1));
        for (size_t i = 0; i < movie.frameTimes.size(); ++i)
            EXPECT_NEAR(movie.frameTimes[i], i / rate, 1e-3) << "frame " << i;
        EXPECT_NEAR(movie.durationSeconds, c.seconds, 1e-3);
        ASSERT_EQ(progress.size(), static_cast<size_t>(c.frames) + 1);
        for (int i = 0; i < c.frames; ++i)
            EXPECT_DOUBLE_EQ(progress[i], double(i) / c.frames);
        EXPECT_EQ(progress.back(), 1.0);
    }
    EXPECT_EQ(folderEntries(dir.path()).size(), 2u) << "only the image and the clip";
}

TEST_F(PanZoomRender, DecodedFramesShowTheMove)
{
    ClipMotion pan = clip(0.5);
    pan.offsetStart = {-0.5, 0};
    pan.offsetEnd = {0.5, 0};
    const fs::path out = dir.path() / "nested" / "folders" / "pan.mov";
    renderer.render(image, pan, out, {});
    const Movie movie = readMovie(out);
    ASSERT_EQ(movie.frames.size(), 15u);
    const cv::Mat& first = movie.frames.front();
    const cv::Mat& last = movie.frames.back();
    const int tolerance = 24; // 4:2:0 chroma at stripe edges
    EXPECT_LE(colourDistance(first.at<cv::Vec3b>(40, 22), red), tolerance);
    EXPECT_LE(colourDistance(first.at<cv::Vec3b>(120, 67), white), tolerance);
    EXPECT_LE(colourDistance(first.at<cv::Vec3b>(80, 1), magenta), tolerance) << "starts on the left edge";
    EXPECT_LE(colourDistance(last.at<cv::Vec3b>(80, 88), yellow), tolerance) << "ends near the right edge";
}

TEST_F(PanZoomRender, ReplacesAnExistingClip)
{
    const fs::path out = dir.path() / "clip.mov";
    renderer.render(image, clip(2.0), out, {});
    renderer.render(image, clip(0.2), out, {});
    EXPECT_EQ(readMovie(out, false).frameTimes.size(), 6u);
}

TEST_F(PanZoomRender, RefusesWhatNoWriterShouldStartAndKeepsThePreviousClip)
{
    const fs::path out = dir.path() / "clip.mov";
    renderer.render(image, clip(0.5), out, {});
    const auto before = files::readAll(out);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<const char*, std::function<void(ClipMotion&)>> cases[] = {
        {"odd width", [](ClipMotion& m) { m.width = 91; }},
        {"odd height", [](ClipMotion& m) { m.height = 161; }},
        {"zero size", [](ClipMotion& m) { m.width = 0; }},
        {"negative size", [](ClipMotion& m) { m.height = -160; }},
        {"huge size", [](ClipMotion& m) { m.width = 8194; }},
        {"rate above 240", [](ClipMotion& m) { m.fps = 241; }},
        {"rate beyond 32 bits", [](ClipMotion& m) { m.fps = std::int64_t(1) << 40; }},
        {"NaN duration", [&](ClipMotion& m) { m.durationSeconds = nan; }},
        {"infinite duration", [&](ClipMotion& m) { m.durationSeconds = inf; }},
        {"longer than any clip may be", [](ClipMotion& m) { m.durationSeconds = kMaxClipSeconds + 1; }},
        {"NaN zoom", [&](ClipMotion& m) { m.zoomEnd = nan; }},
        {"infinite offset", [&](ClipMotion& m) { m.offsetStart.x = -inf; }},
        {"absurd zoom", [](ClipMotion& m) { m.zoomStart = 1e300; }},
    };
    for (const auto& [name, change] : cases) {
        SCOPED_TRACE(name);
        ClipMotion m = clip(0.5);
        change(m);
        bool progressed = false;
        try {
            renderer.render(image, m, out, [&](double) { progressed = true; });
            ADD_FAILURE() << "rendered";
        } catch (const MotionError& e) {
            EXPECT_EQ(e.code(), MotionError::Code::writerSetupFailed);
            EXPECT_STREQ(e.what(), "Could not start the video writer.");
        }
        EXPECT_FALSE(progressed);
        EXPECT_EQ(files::readAll(out), before);
    }
    EXPECT_EQ(folderEntries(dir.path()).size(), 2u) << "no temporary files left behind";
}

TEST_F(PanZoomRender, AnUnreadableImageFailsWithItsPathAndTouchesNothing)
{
    const fs::path out = dir.path() / "clip.mov";
    std::ofstream(out) << "previous clip";
    for (const fs::path& bad : {dir.path() / "missing.png", out}) {
        try {
            renderer.render(bad, clip(), out, {});
            ADD_FAILURE() << "rendered";
        } catch (const MotionError& e) {
            EXPECT_EQ(e.code(), MotionError::Code::cannotLoadImage);
            EXPECT_EQ(e.what(), "Could not load frame image at " + bad.string() + ".");
        }
    }
    EXPECT_EQ(files::readAll(out), "previous clip");
}

TEST_F(PanZoomRender, AFolderThatCannotBeMadeIsTheFileSystemsError)
{
    std::ofstream(dir.path() / "file") << "x";
    EXPECT_THROW(renderer.render(image, clip(), dir.path() / "file" / "clip.mov", {}), fs::filesystem_error);
}

TEST_F(PanZoomRender, StopsWithinAFrameOfCancellationAndKeepsThePreviousClip)
{
    const fs::path out = dir.path() / "clip.mov";
    renderer.render(image, clip(0.5), out, {});
    const auto before = files::readAll(out);
    for (int stopAfter : {0, 3}) {
        SCOPED_TRACE(stopAfter);
        std::stop_source stop;
        int calls = 0;
        if (stopAfter == 0)
            stop.request_stop();
        EXPECT_THROW(renderer.render(image, clip(2.0), out,
                                     [&](double) {
                                         if (++calls == stopAfter)
                                             stop.request_stop();
                                     },
                                     stop.get_token()),
                     Cancelled);
        EXPECT_EQ(calls, stopAfter);
        EXPECT_EQ(files::readAll(out), before);
    }
    EXPECT_EQ(folderEntries(dir.path()).size(), 2u);
}

TEST(ClipMotion, FrameCountTruncatesTowardZero)
{
    struct Case {
        double duration;
        std::int64_t fps;
        std::int64_t frames;
    };
    for (const auto& c : {Case{4.0, 30, 120}, Case{2.99, 30, 89}, Case{0.5, 30, 15}, Case{0.2, 30, 6},
                          Case{0.0, 30, 1}, Case{3.0, 0, 3}, Case{600, 240, 144000}}) {
        ClipMotion m;
        m.durationSeconds = c.duration;
        m.fps = c.fps;
        EXPECT_EQ(frameCount(m), c.frames) << c.duration << " s at " << c.fps;
    }
}
