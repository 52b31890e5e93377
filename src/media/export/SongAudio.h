#pragma once

// Private to media/export: the song under the movie.

#include "media/export/ExportFFmpeg.h"

#include <cstdint>
#include <filesystem>
#include <memory>

namespace vl::exportdetail {

// The song from its first sample, cut at the video's length: AAC for MP4,
// 16-bit PCM for MOV. Mono stays mono; anything with more channels is mixed to stereo.
// `source` is the song's audio stream in `input`. Null when the output had no room
// for a sound track: the movie is then written without it.
std::unique_ptr<Source> makeSongAudio(ffmpeg::InputPtr input, AVStream* source, const std::filesystem::path& file,
                                      Output& out, ExportContainer container, std::int64_t videoUs);

} // namespace vl::exportdetail
