#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <stdexcept>
#include <stop_token>

namespace vl {

// The file has no audio stream, or FFmpeg could not open or decode it.
struct AudioDecodeError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

// The file opened, but it holds no audio stream (a silent video, an image).
struct NoAudioStreamError : AudioDecodeError {
    using AudioDecodeError::AudioDecodeError;
};

// Decodes the first audio stream of `file` (in stream order), resampled to mono
// signed 16-bit at `sampleRate`, handing the samples over in blocks as they come.
// Progress runs from 0 to 1 by the decoded position against the stream's
// duration. Throws vl::Cancelled when `stop` is requested, AudioDecodeError on failure.
void decodeAudio(const std::filesystem::path& file, int sampleRate, std::stop_token stop,
                 const std::function<void(std::span<const std::int16_t>)>& onSamples,
                 const std::function<void(double)>& onProgress = {});

} // namespace vl
