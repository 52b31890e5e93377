#pragma once

#include "model/ProjectSettings.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <vector>

namespace vl {

// Joins the rendered motion clips end to end into one movie and lays the song
// under them. MP4 gets H.264 + AAC, MOV gets ProRes 422 HQ + PCM. When every
// clip is already H.264 of one size and the target is MP4, the video is copied
// packet for packet; otherwise it is decoded, scaled to the first clip's size
// and encoded again. The song's AAC is encoded on helper threads, in segments.
class VideoExporter {
public:
    class ExportError : public std::runtime_error {
    public:
        enum class Case { exportFailed, noClips, trackSetupFailed, sessionSetupFailed };

        static ExportError exportFailed(std::string detail);
        static ExportError noClips();
        static ExportError trackSetupFailed();
        static ExportError sessionSetupFailed();

        Case errorCase() const { return case_; }
        // The text carried by exportFailed ("cancelled", or what went wrong); empty otherwise.
        const std::string& detail() const { return detail_; }

        friend bool operator==(const ExportError& a, const ExportError& b)
        {
            return a.case_ == b.case_ && a.detail_ == b.detail_;
        }

    private:
        ExportError(Case c, std::string detail, const std::string& message);
        Case case_;
        std::string detail_;
    };

    using ProgressCallback = std::function<void(double)>;

    // Writes the movie to `output` and returns it. Clips without a video stream
    // (cover art does not count) are skipped. The song's first audio stream runs
    // from 0 for the shorter of song and video, when `audio` names an existing
    // file and the settings ask for it. The movie is built under a temporary name
    // beside `output` and renamed over it only once complete, so a failed or
    // stopped export leaves any earlier file in place.
    //
    // `onProgress` gets fractions 0..1 about every 0.2 s from a helper thread
    // and a final 1.0 from the calling thread. A stop request ends the export
    // with exportFailed("cancelled"). Throws ExportError, or
    // std::filesystem::filesystem_error when the output folder cannot be made.
    std::filesystem::path exportVideo(const std::vector<std::filesystem::path>& clips,
                                      const std::optional<std::filesystem::path>& audio,
                                      const ExportSettings& settings,
                                      const std::filesystem::path& output,
                                      std::stop_token stop = {},
                                      const ProgressCallback& onProgress = {}) const;
};

using ExportError = VideoExporter::ExportError;

} // namespace vl
