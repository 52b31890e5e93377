#include "Images.h"
#include "MovieReader.h"

#include "media/motion/MotionError.h"
#include "media/motion/ParallaxRenderer.h"
#include "model/Cancellation.h"
#include "model/Files.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>

using namespace vl;
using namespace vl::test;
namespace fs = std::filesystem;

namespace {

ClipMotion clip(double duration = 0.5)
{
    ClipMotion m;
    m.width = 90;
    m.height = 160;
    m.fps = 30;
    m.durationSeconds = duration;
    return m;
}

// A smooth picture: red grows to the right, green downwards, blue in rings, so a
// sampling position can be told from its colour.
cv::Mat gradient(int width, int height)
{
    cv::Mat m(height, width, CV_8UC4);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const double r = std::hypot(x - width / 2.0, y - height / 2.0);
            m.at<cv::Vec4b>(y, x) = {static_cast<uchar>(127 + 120 * std::sin(r / 5)), static_cast<uchar>(y * 255 / (height - 1)),
                                     static_cast<uchar>(x * 255 / (width - 1)), 255};
        }
    return m;
}

cv::Mat softDisc(int width, int height)
{
    cv::Mat m(height, width, CV_8UC1, cv::Scalar(0));
    cv::circle(m, {width / 2, height / 2}, width / 4, cv::Scalar(255), cv::FILLED);
    cv::GaussianBlur(m, m, cv::Size(), 3);
    return m;
}

// GL_LINEAR on an 8-bit texture with clamp-to-edge, channel c, result in 0...1.
template <typename Pixel>
double sample(const cv::Mat& texture, double u, double v, int c)
{
    const double x = std::clamp(u * texture.cols - 0.5, 0.0, texture.cols - 1.0);
    const double y = std::clamp(v * texture.rows - 0.5, 0.0, texture.rows - 1.0);
    const int x0 = static_cast<int>(x), y0 = static_cast<int>(y);
    const int x1 = std::min(x0 + 1, texture.cols - 1), y1 = std::min(y0 + 1, texture.rows - 1);
    const double fx = x - x0, fy = y - y0;
    const auto at = [&](int px, int py) {
        if constexpr (std::is_same_v<Pixel, uchar>)
            return texture.at<uchar>(py, px) / 255.0;
        else
            return texture.at<Pixel>(py, px)[c] / 255.0;
    };
    return (at(x0, y0) * (1 - fx) + at(x1, y0) * fx) * (1 - fy) + (at(x0, y1) * (1 - fx) + at(x1, y1) * fx) * fy;
}

// The parallax march on the CPU, straight from its description; BGR out.
cv::Vec3d reference(const cv::Mat& image, const cv::Mat& depth, const PUniforms& u, double uvx, double uvy)
{
    const auto depthAt = [&](double x, double y) { return 1 - sample<uchar>(depth, x, y, 0); };
    const double zoom = std::max<double>(u.zoom, 0.001);
    double sx = u.center[0] + (uvx - u.center[0]) / zoom, sy = u.center[1] + (uvy - u.center[1]) / zoom;
    const double px = u.offset[0] * u.height, py = u.offset[1] * u.height;
    sx += px * u.steady;
    sy += py * u.steady;
    const int layers = std::max(u.steps, 8);
    const double layerStep = 1.0 / layers, dx = px / layers, dy = py / layers;
    double layer = 0, cx = sx, cy = sy, d = depthAt(cx, cy);
    for (int k = 0; k < layers && layer < d; ++k) {
        cx -= dx;
        cy -= dy;
        d = depthAt(cx, cy);
        layer += layerStep;
    }
    const double prevX = cx + dx, prevY = cy + dy;
    const double after = d - layer, before = depthAt(prevX, prevY) - (layer - layerStep);
    const double w = std::clamp(after / (after - before + 0.00001), 0.0, 1.0);
    const double fx = cx + (prevX - cx) * w, fy = cy + (prevY - cy) * w;
    return {sample<cv::Vec4b>(image, fx, fy, 0), sample<cv::Vec4b>(image, fx, fy, 1), sample<cv::Vec4b>(image, fx, fy, 2)};
}

// Runs `body` with a GPU scene, or skips when this machine cannot make a context
// (the fallback tests below cover that case).
bool withScene(const cv::Mat& image, const cv::Mat& depth, int width, int height,
               const std::function<void(ParallaxScene&)>& body)
{
    std::optional<ParallaxScene> scene;
    try {
        scene.emplace(image, depth, width, height);
    } catch (const ParallaxError& e) {
        if (e.code() != ParallaxError::Code::unavailable)
            throw;
        return false;
    }
    body(*scene);
    return true;
}

// Top-down BGR copy of what the scene read back (RGBA, bottom row first).
cv::Mat upright(const std::uint8_t* pixels, int width, int height)
{
    cv::Mat rgba(height, width, CV_8UC4, const_cast<std::uint8_t*>(pixels));
    cv::Mat bgr;
    cv::cvtColor(rgba, bgr, cv::COLOR_RGBA2BGR);
    cv::flip(bgr, bgr, 0);
    return bgr;
}

} // namespace

TEST(ParallaxUniforms, RunFromStartToEndWithTheLastFrame)
{
    ClipMotion m = clip();
    m.offsetStart = {-0.2, 0.1};
    m.offsetEnd = {0.2, -0.1};
    m.zoomStart = 1.0;
    m.zoomEnd = 1.1;
    m.parallaxHeight = 0.3;
    m.steady = 0.25;
    struct Case {
        std::int64_t i, n;
        double x, y, zoom;
    };
    for (const auto& c : {Case{0, 1, -0.2, 0.1, 1.0}, Case{0, 5, -0.2, 0.1, 1.0}, Case{2, 5, 0, 0, 1.05},
                          Case{4, 5, 0.2, -0.1, 1.1}, Case{1, 4, -0.2 + 0.4 * 7 / 27.0, 0.1 - 0.2 * 7 / 27.0,
                                                            1 + 0.1 * 7 / 27.0}}) {
        SCOPED_TRACE(::testing::Message() << c.i << " of " << c.n);
        const PUniforms u = parallaxUniforms(m, c.i, c.n);
        EXPECT_FLOAT_EQ(u.offset[0], static_cast<float>(c.x));
        EXPECT_FLOAT_EQ(u.offset[1], static_cast<float>(c.y));
        EXPECT_FLOAT_EQ(u.zoom, static_cast<float>(c.zoom));
        EXPECT_FLOAT_EQ(u.height, 0.3f);
        EXPECT_FLOAT_EQ(u.steady, 0.25f);
        EXPECT_EQ(u.center[0], 0.5f);
        EXPECT_EQ(u.center[1], 0.5f);
        EXPECT_EQ(u.steps, 64);
    }
}

// Only Mesa's rasterisers that run on the processor count as such: a graphics card's
// name can carry LLVM too, as the compiler of its shaders.
TEST(ParallaxScene, TellsASoftwareRasteriserFromAGraphicsCard)
{
    struct Case {
        const char* renderer;
        bool software;
    };
    for (const auto& c : {Case{"llvmpipe (LLVM 15.0.6, 256 bits)", true}, Case{"softpipe", true},
                          Case{"Software Rasterizer", true},
                          Case{"AMD Radeon RX 6600 (navi23, LLVM 15.0.6, DRM 3.49, 6.1.0-13-amd64)", false},
                          Case{"Mesa Intel(R) UHD Graphics 620 (KBL GT2)", false}, Case{"", false}}) {
        SCOPED_TRACE(c.renderer);
        EXPECT_EQ(isSoftwareRenderer(c.renderer), c.software);
    }
}

// A far background that is not quite flat, with small near specks and a soft
// disc: a march crosses a speck part-way through a run of steps, where skipping
// steps it should have taken would show.
cv::Mat speckled(int width, int height)
{
    cv::Mat m(height, width, CV_8UC1, cv::Scalar(30));
    cv::circle(m, {width / 3, height / 3}, width / 6, cv::Scalar(255), cv::FILLED);
    cv::RNG rng(3);
    for (int k = 0; k < 40; ++k)
        cv::circle(m, {rng.uniform(0, width), rng.uniform(0, height)}, rng.uniform(0, 3), cv::Scalar(rng.uniform(60, 256)),
                   cv::FILLED);
    cv::GaussianBlur(m, m, cv::Size(), 1.5);
    return m;
}

TEST(ParallaxShader, MatchesTheMarchComputedOnTheCpu)
{
    const cv::Mat disc = softDisc(32, 48), specks = speckled(72, 128);
    struct Case {
        const char* name;
        const cv::Mat& depth;
        PUniforms u;
    };
    const Case cases[] = {
        {"pure zoom at height 0", disc, {{0.4f, -0.3f}, 0, 0.3f, 1.2f, 0, {0.5f, 0.5f}, 64, 0}},
        {"parallax", disc, {{0.35f, -0.25f}, 0.3f, 0.3f, 1.1f, 0, {0.5f, 0.5f}, 64, 0}},
        {"steady 0 keeps the near plane still", disc, {{-0.4f, 0.2f}, 0.34f, 0, 1.0f, 0, {0.5f, 0.5f}, 64, 0}},
        {"fewer than 8 steps count as 8", disc, {{0.4f, 0.4f}, 0.3f, 0.4f, 1.0f, 0, {0.5f, 0.5f}, 2, 0}},
        {"zoom below 0.001 is held there", disc, {{0, 0}, 0, 0, 0, 0, {0.5f, 0.5f}, 64, 0}},
        {"small near specks on a far background", specks, {{0.4f, -0.3f}, 0.3f, 0.3f, 1.05f, 0, {0.5f, 0.5f}, 64, 0}},
        {"specks, marching the other way", specks, {{-0.45f, 0.35f}, 0.3f, 0.7f, 0.9f, 0, {0.5f, 0.5f}, 64, 0}},
        {"specks, a step count no run of steps divides", specks, {{0.3f, 0.4f}, 0.35f, 0.5f, 1.0f, 0, {0.5f, 0.5f}, 37, 0}},
        {"specks, a short move", specks, {{0.02f, -0.01f}, 0.3f, 0.3f, 1.0f, 0, {0.5f, 0.5f}, 64, 0}},
    };
    const cv::Mat image = gradient(64, 96);
    const int width = 40, height = 60;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const bool ran = withScene(image, c.depth, width, height, [&](ParallaxScene& scene) {
            scene.draw(c.u);
            const cv::Mat frame = upright(scene.readBack(), width, height);
            int worst = 0, off = 0;
            for (int y = 0; y < height; ++y)
                for (int x = 0; x < width; ++x) {
                    const cv::Vec3d want = reference(image, c.depth, c.u, (x + 0.5) / width, (y + 0.5) / height);
                    const cv::Vec3b got = frame.at<cv::Vec3b>(y, x);
                    int d = 0;
                    for (int k = 0; k < 3; ++k)
                        d = std::max(d, std::abs(got[k] - static_cast<int>(std::lround(want[k] * 255))));
                    worst = std::max(worst, d);
                    off += d > 3;
                }
            // A march step can land a hair either side of a layer on the GPU's
            // floats; that moves a few pixels by a step, nothing more.
            EXPECT_LE(off, width * height / 100) << "worst difference " << worst;
            EXPECT_LE(worst, 12);
        });
        if (!ran)
            GTEST_SKIP() << "no GPU context on this machine";
    }
}

// A depth map given after the context is made, or replacing another that has
// already drawn (and widened its reach map), draws exactly what one given at once does.
TEST(ParallaxShader, ADepthMapGivenLaterDrawsTheSame)
{
    const cv::Mat image = gradient(64, 96), specks = speckled(72, 128), disc = softDisc(72, 128);
    const PUniforms u{{0.4f, -0.3f}, 0.3f, 0.3f, 1.05f, 0, {0.5f, 0.5f}, 64, 0};
    const int width = 40, height = 60;
    cv::Mat once;
    if (!withScene(image, specks, width, height, [&](ParallaxScene& scene) {
            scene.draw(u);
            once = upright(scene.readBack(), width, height).clone();
        }))
        GTEST_SKIP() << "no GPU context on this machine";

    ParallaxScene later(image, width, height);
    EXPECT_THROW(later.draw(u), std::logic_error);
    later.setDepth(disc);
    later.draw(u); // the reach map now covers this move, for the disc
    later.readBack();
    later.setDepth(specks);
    later.draw(u);
    const cv::Mat drawn = upright(later.readBack(), width, height);
    EXPECT_EQ(cv::norm(drawn, once, cv::NORM_INF), 0);
}

TEST(ParallaxShader, KeepsTheImageUprightAndUnmirrored)
{
    cv::Mat image;
    cv::cvtColor(quadrants(64, 64), image, cv::COLOR_BGR2BGRA);
    const bool ran = withScene(image, cv::Mat(16, 16, CV_8UC1, cv::Scalar(255)), 32, 48, [&](ParallaxScene& scene) {
        scene.draw({{0, 0}, 0, 0, 1, 0, {0.5f, 0.5f}, 64, 0});
        const cv::Mat frame = upright(scene.readBack(), 32, 48);
        EXPECT_EQ(frame.at<cv::Vec3b>(2, 2), red);
        EXPECT_EQ(frame.at<cv::Vec3b>(2, 29), green);
        EXPECT_EQ(frame.at<cv::Vec3b>(45, 2), blue);
        EXPECT_EQ(frame.at<cv::Vec3b>(45, 29), white);
    });
    if (!ran)
        GTEST_SKIP() << "no GPU context on this machine";
}

class ParallaxRender : public ::testing::Test {
protected:
    files::TemporaryDirectory dir{"motion-test"};
    // Quadrants with 4-pixel side stripes: the GPU draws the whole picture at zoom 1
    // (stripes at the frame's edges), the 2D renderer crops them away.
    fs::path image = save(framedQuadrants(90, 160, 4), dir.path() / "frame.png");
    fs::path out = dir.path() / "clips" / "clip.mov";

    static bool gpuAvailable()
    {
        static const bool available = [] {
            try {
                ParallaxScene scene(cv::Mat(2, 2, CV_8UC4, cv::Scalar::all(0)), cv::Mat(2, 2, CV_8UC1), 2, 2);
                return true;
            } catch (const ParallaxError&) {
                return false;
            }
        }();
        return available;
    }

    size_t filesInClips() const
    {
        return static_cast<size_t>(std::distance(fs::directory_iterator(out.parent_path()), fs::directory_iterator()));
    }

    // True when frame 0 shows the side stripes at the frame's edges.
    static bool showsWholePicture(const Movie& movie)
    {
        const cv::Mat& f = movie.frames.front();
        return colourDistance(f.at<cv::Vec3b>(80, 0), magenta) < 40 && colourDistance(f.at<cv::Vec3b>(80, 89), yellow) < 40;
    }

    static void expectClip(const Movie& movie)
    {
        EXPECT_EQ(movie.codec, "h264");
        EXPECT_EQ(movie.width, 90);
        EXPECT_EQ(movie.height, 160);
        EXPECT_EQ(movie.frames.size(), 15u);
        EXPECT_NEAR(movie.durationSeconds, 0.5, 1e-3);
    }
};

TEST_F(ParallaxRender, DrawsOnTheGpuWhenAContextCanBeMade)
{
    std::vector<double> progress;
    const ParallaxRenderer renderer;
    EXPECT_EQ(renderer.render(image, clip(), out, [&](double p) { progress.push_back(p); }), out);
    const Movie movie = readMovie(out);
    expectClip(movie);
    EXPECT_EQ(showsWholePicture(movie), gpuAvailable()) << "GPU picture exactly when a context exists";
    ASSERT_EQ(progress.size(), 16u);
    for (int i = 0; i < 15; ++i)
        EXPECT_DOUBLE_EQ(progress[i], i / 15.0);
    EXPECT_EQ(progress.back(), 1.0);
    EXPECT_EQ(filesInClips(), 1u);
    if (!gpuAvailable()) {
        EXPECT_THROW(renderer.renderParallax(image, clip(), out, {}), ParallaxError);
    }
}

TEST_F(ParallaxRender, EveryFailureFallsBackToThe2DClipOfTheSameNameSizeAndLength)
{
    struct Case {
        const char* name;
        ParallaxFailure failure;
        std::function<void(const std::exception&)> gpuError; // what the GPU path alone throws
    };
    const auto gpuError = [](ParallaxError::Code code) {
        return [code](const std::exception& e) {
            const auto* m = dynamic_cast<const ParallaxError*>(&e);
            ASSERT_TRUE(m) << e.what();
            EXPECT_EQ(m->code(), code);
        };
    };
    const auto platform = [](const std::exception& e) {
        EXPECT_EQ(dynamic_cast<const ParallaxError*>(&e), nullptr) << e.what();
        EXPECT_EQ(dynamic_cast<const MotionError*>(&e), nullptr) << e.what();
    };
    const Case cases[] = {
        {"no EGL display", ParallaxFailure::display, gpuError(ParallaxError::Code::unavailable)},
        {"no context", ParallaxFailure::context, gpuError(ParallaxError::Code::unavailable)},
        {"no depth map", ParallaxFailure::depth, gpuError(ParallaxError::Code::depthFailed)},
        {"shader does not compile", ParallaxFailure::shaderCompile, platform},
        {"read-back fails midway", ParallaxFailure::readBack, platform},
        {"encoder fails midway", ParallaxFailure::encoder, platform},
    };
    fs::create_directories(out.parent_path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ParallaxRenderer renderer;
        renderer.forcedFailure = c.failure;
        const bool reachesGpu = c.failure == ParallaxFailure::display || c.failure == ParallaxFailure::depth
                                || gpuAvailable();
        if (reachesGpu) {
            try {
                renderer.renderParallax(image, clip(), out, {});
                ADD_FAILURE() << "GPU path did not fail";
            } catch (const std::exception& e) {
                c.gpuError(e);
            }
        }
        std::vector<double> progress;
        renderer.render(image, clip(), out, [&](double p) { progress.push_back(p); });
        const Movie movie = readMovie(out);
        expectClip(movie);
        EXPECT_FALSE(showsWholePicture(movie)) << "the 2D renderer made it";
        ASSERT_FALSE(progress.empty());
        EXPECT_EQ(progress.back(), 1.0);
        EXPECT_EQ(std::count(progress.begin(), progress.end(), 0.0), 1 + (progress.size() > 16u)) << "restarts at 0 after a midway failure";
        EXPECT_EQ(filesInClips(), 1u) << "no partial file from the GPU attempt";
    }
}

TEST_F(ParallaxRender, APictureWithoutASubjectIsDrawnIn2D)
{
    const fs::path flat = save(cv::Mat(160, 90, CV_8UC3, cv::Scalar(40, 90, 160)), dir.path() / "flat.png");
    ParallaxRenderer().render(flat, clip(), out, {});
    const Movie movie = readMovie(out);
    expectClip(movie);
}

TEST_F(ParallaxRender, CancellationStopsWithoutFallingBack)
{
    const ParallaxRenderer renderer;
    renderer.render(image, clip(0.2), out, {});
    const auto before = files::readAll(out);
    std::stop_source stop;
    int calls = 0;
    EXPECT_THROW(renderer.render(image, clip(2.0), out,
                                 [&](double) {
                                     if (++calls == 2)
                                         stop.request_stop();
                                 },
                                 stop.get_token()),
                 Cancelled);
    EXPECT_EQ(calls, 2);
    EXPECT_EQ(files::readAll(out), before);
    EXPECT_EQ(filesInClips(), 1u);
}

TEST_F(ParallaxRender, FailuresOfBothPathsReachTheCaller)
{
    const ParallaxRenderer renderer;
    try {
        renderer.render(dir.path() / "missing.png", clip(), out, {});
        ADD_FAILURE() << "rendered";
    } catch (const MotionError& e) {
        EXPECT_EQ(e, MotionError::cannotLoadImage((dir.path() / "missing.png").string()));
    }
    ClipMotion odd = clip();
    odd.width = 89;
    try {
        renderer.render(image, odd, out, {});
        ADD_FAILURE() << "rendered";
    } catch (const MotionError& e) {
        EXPECT_EQ(e.code(), MotionError::Code::writerSetupFailed);
    }
    EXPECT_FALSE(fs::exists(out));
}
