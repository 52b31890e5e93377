// Colour conversion spread over swscale's threads gives exactly the picture one
// thread gives, for every source layout the writers hand over.

#include "media/FFmpegSupport.h"
#include "media/motion/PictureConverter.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

using namespace vl;

namespace {

// A frame of the clips' size with noise, hard edges and smooth ramps: every row and
// every chroma pair differs, so a slice boundary in the wrong place shows.
std::vector<std::uint8_t> testPicture(int width, int height, int channels)
{
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(width) * height * channels);
    std::mt19937 random(11);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                const int ramp = (x * (c + 1) + y * (3 - c)) % 256;
                const int edge = ((x / 37 + y / 53) % 2) * 90;
                pixels[(static_cast<std::size_t>(y) * width + x) * channels + c] =
                    static_cast<std::uint8_t>((ramp + edge + static_cast<int>(random() % 24)) % 256);
            }
    return pixels;
}

std::vector<std::uint8_t> planesOf(const AVFrame* frame)
{
    std::vector<std::uint8_t> out;
    for (int plane = 0; plane < 3; ++plane) {
        const int rows = plane == 0 ? frame->height : (frame->height + 1) / 2;
        const int bytes = plane == 0 ? frame->width : (frame->width + 1) / 2;
        for (int y = 0; y < rows; ++y) {
            const std::uint8_t* row = frame->data[plane] + static_cast<std::ptrdiff_t>(y) * frame->linesize[plane];
            out.insert(out.end(), row, row + bytes);
        }
    }
    return out;
}

std::vector<std::uint8_t> converted(const std::vector<std::uint8_t>& pixels, int width, int height, ClipWriter::Layout layout,
                                    bool bottomUp, int threads)
{
    ffmpeg::FramePtr frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = width;
    frame->height = height;
    EXPECT_GE(av_frame_get_buffer(frame.get(), 0), 0);
    PictureConverter converter(width, height, layout, threads);
    const int channels = layout == ClipWriter::Layout::bgr24 ? 3 : 4;
    converter.convert(pixels.data(), static_cast<std::ptrdiff_t>(width) * channels, bottomUp, frame.get());
    return planesOf(frame.get());
}

} // namespace

TEST(PictureConverter, ThreadsGiveThePictureOneThreadGives)
{
    struct Case {
        const char* name;
        ClipWriter::Layout layout;
        bool bottomUp;
        int width, height;
    };
    const Case cases[] = {
        {"2D frames (BGR, top row first)", ClipWriter::Layout::bgr24, false, 1080, 1920},
        {"parallax frames (RGBA, bottom row first)", ClipWriter::Layout::rgba, true, 1080, 1920},
        {"RGBA, top row first", ClipWriter::Layout::rgba, false, 720, 1280},
        {"a height no slice count divides", ClipWriter::Layout::bgr24, true, 90, 162},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const auto pixels = testPicture(c.width, c.height, c.layout == ClipWriter::Layout::bgr24 ? 3 : 4);
        const auto single = converted(pixels, c.width, c.height, c.layout, c.bottomUp, 1);
        for (int threads : {0, 3, 8}) {
            SCOPED_TRACE(threads);
            EXPECT_TRUE(converted(pixels, c.width, c.height, c.layout, c.bottomUp, threads) == single);
        }
    }
}

TEST(PictureConverter, BottomUpRowsComeOutUpright)
{
    // The same picture stored both ways converts to the same planes.
    const int width = 64, height = 48;
    const auto pixels = testPicture(width, height, 4);
    std::vector<std::uint8_t> flipped(pixels.size());
    const std::size_t row = static_cast<std::size_t>(width) * 4;
    for (int y = 0; y < height; ++y)
        std::copy_n(pixels.begin() + static_cast<std::ptrdiff_t>(y * row), row,
                    flipped.begin() + static_cast<std::ptrdiff_t>((height - 1 - y) * row));
    EXPECT_TRUE(converted(flipped, width, height, ClipWriter::Layout::rgba, true, 0) ==
                converted(pixels, width, height, ClipWriter::Layout::rgba, false, 0));
}
