#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>

namespace vl {

// Encodes frames into a silent QuickTime movie: H.264 (libx264, yuv420p, CRF 18,
// BT.709 limited range), frame i shown at i / rate, so n frames play for n / rate s.
// The movie is written under a hidden temporary name beside `output` and only
// renamed over it by finish(); a writer destroyed before that removes its
// temporary file and leaves `output` as it was.
class ClipWriter {
public:
    enum class Layout { bgr24, rgba };

    // `threads` caps the threads the writer keeps busy, the encoder's and the colour
    // conversion's alike; 0 lets each take as many as the machine has cores for.
    // Throws MotionError writerSetupFailed when the encoder or the file cannot be set up.
    ClipWriter(std::filesystem::path output, int width, int height, int rate, int threads = 0);
    ~ClipWriter();
    ClipWriter(const ClipWriter&) = delete;
    ClipWriter& operator=(const ClipWriter&) = delete;

    // Appends one width x height frame. `bottomUp` says the first row in memory is
    // the picture's bottom row (as OpenGL reads back). Throws the writer's error.
    void append(const std::uint8_t* pixels, std::ptrdiff_t bytesPerRow, Layout layout, bool bottomUp = false);

    // append() in its two steps, for a caller that times them apart: convert() turns
    // the pixels into the encoder's next picture, encode() hands that picture over.
    void convert(const std::uint8_t* pixels, std::ptrdiff_t bytesPerRow, Layout layout, bool bottomUp = false);
    void encode();

    // Drains the encoder, closes the movie and renames it into place.
    void finish();

    std::int64_t framesWritten() const;

private:
    struct State;
    std::unique_ptr<State> state_;
};

} // namespace vl
