#pragma once

// Private to media/export: the clips and the two ways their video reaches the movie.

#include "media/export/ExportFFmpeg.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace vl::exportdetail {

struct Clip {
    std::filesystem::path file;
    ffmpeg::InputPtr input;
    AVStream* video = nullptr;
    std::int64_t start = 0;    // first timestamp, in the stream's time base
    std::int64_t duration = 0; // in the stream's time base
};

// Nothing when the file has no video stream (cover art does not count).
std::optional<Clip> openClip(const std::filesystem::path& file);

// Clips from one renderer share size and parameter sets; then the packets can be
// joined as they are. Anything else (a size change, another codec or encoder
// setup) would not decode cleanly after the joint, so it goes through the encoder.
bool canCopy(const std::vector<Clip>& clips, ExportContainer container);

// Packets of every clip, rebased onto one running timeline. The track reads and
// closes the clips as it goes; they must outlive it.
std::unique_ptr<Source> makeCopiedVideo(std::vector<Clip>& clips, Output& out);

// Every clip decoded, scaled to the first clip's size and encoded again:
// H.264 at CRF 18 for MP4, ProRes 422 HQ for MOV. The clips must outlive the track.
std::unique_ptr<Source> makeEncodedVideo(std::vector<Clip>& clips, Output& out, ExportContainer container);

} // namespace vl::exportdetail
