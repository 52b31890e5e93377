#pragma once

#include "media/motion/ClipWriter.h"

#include <cstddef>
#include <cstdint>
#include <memory>

struct AVFrame;

namespace vl {

// Turns 8-bit RGB frames into the clips' YUV 4:2:0 pictures (BT.709, limited range).
// A 1080p frame is a few milliseconds of work per core, so the rows are split over
// swscale's slice threads; the result does not depend on how many there are.
class PictureConverter {
public:
    // `threads` 0: one per core. Throws MotionError pixelBufferFailed when swscale
    // cannot convert between these formats.
    PictureConverter(int width, int height, ClipWriter::Layout layout, int threads = 0);
    ~PictureConverter();
    PictureConverter(const PictureConverter&) = delete;
    PictureConverter& operator=(const PictureConverter&) = delete;

    // Converts one width x height frame into `out`, a writable YUV420P frame of the
    // same size. `bottomUp` says the first row in memory is the picture's bottom row.
    void convert(const std::uint8_t* pixels, std::ptrdiff_t bytesPerRow, bool bottomUp, AVFrame* out);

    ClipWriter::Layout layout() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace vl
