#pragma once

// Helpers for tests of the motion and export operations: frame pictures, a
// renderer that notes every call and writes real but tiny clips, and a probe of
// the movies that come out.

#include "media/motion/MotionError.h"
#include "media/motion/MotionRenderer.h"
#include "media/motion/PanZoomRenderer.h"
#include "model/Json.h"

#include <opencv2/core.hpp>
#include <opencv2/imgcodecs.hpp>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <future>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace vl::testing {

// A small PNG of one colour with a lighter square, so renderers have an edge to move.
inline std::string writePicture(const std::filesystem::path& path, int shade, int width = 64, int height = 96)
{
    cv::Mat image(height, width, CV_8UC3, cv::Scalar(shade, 255 - shade, (shade * 7) % 256));
    image(cv::Rect(width / 4, height / 4, width / 2, height / 2)).setTo(cv::Scalar(250, 250, 250));
    cv::imwrite(path.string(), image);
    return path.string();
}

// Notes each call, then renders the clip for real at 90 x 160 (the frame count and
// move kept) so exports have genuine clips without paying for full-size frames.
class RecordingRenderer : public MotionRenderer {
public:
    struct Call {
        std::filesystem::path image;
        ClipMotion motion;
        std::filesystem::path output;
    };

    std::optional<std::size_t> failOnCall; // 0-based: that call throws instead
    // Only a few bytes where the clip goes, after the checks every renderer makes first:
    // enough for the screens' counts and players and for long clips, but no movie.
    bool stubClips = false;
    // The call that waits for `hold` before it renders, so runs can be held going together.
    std::optional<std::size_t> holdOnCall;
    std::shared_future<void> hold;

    std::filesystem::path render(const std::filesystem::path& imagePath, const ClipMotion& motion,
                                 const std::filesystem::path& outputURL, const Progress& onProgress,
                                 std::stop_token stop = {}) const override
    {
        std::size_t number = 0;
        {
            std::lock_guard lock(mutex_);
            number = calls_.size();
            calls_.push_back({imagePath, motion, outputURL});
        }
        if (holdOnCall && *holdOnCall == number)
            hold.wait();
        if (failOnCall && *failOnCall == number)
            throw MotionError::pixelBufferFailed();
        if (stubClips) {
            checkClipMotion(motion);
            std::filesystem::create_directories(outputURL.parent_path());
            std::ofstream(outputURL, std::ios::binary) << "clip";
            return outputURL;
        }
        ClipMotion small = motion;
        small.width = 90;
        small.height = 160;
        return real_.render(imagePath, small, outputURL, onProgress, stop);
    }

    std::vector<Call> calls() const
    {
        std::lock_guard lock(mutex_);
        return calls_;
    }
    void forget()
    {
        std::lock_guard lock(mutex_);
        calls_.clear();
    }

private:
    PanZoomRenderer real_;
    mutable std::mutex mutex_;
    mutable std::vector<Call> calls_;
};

// A renderer that writes stub clips and notes its calls.
inline std::shared_ptr<RecordingRenderer> stubRenderer()
{
    auto renderer = std::make_shared<RecordingRenderer>();
    renderer->stubClips = true;
    return renderer;
}

struct ProbedStream {
    std::string type; // "video", "audio"
    std::string codec;
    int width = 0;
    int height = 0;
    double seconds = 0;
};

struct ProbedMovie {
    double seconds = 0;
    std::vector<ProbedStream> streams;

    std::vector<ProbedStream> of(const std::string& type) const
    {
        std::vector<ProbedStream> out;
        for (const auto& s : streams)
            if (s.type == type)
                out.push_back(s);
        return out;
    }
};

// What ffprobe sees in a movie; nothing when it cannot read it.
inline std::optional<ProbedMovie> probeMovie(const std::filesystem::path& file)
{
    const std::string command = "ffprobe -v error -show_format -show_streams -of json '" + file.string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        return std::nullopt;
    std::string text;
    char buffer[4096];
    while (std::size_t n = fread(buffer, 1, sizeof buffer, pipe))
        text.append(buffer, n);
    if (pclose(pipe) != 0)
        return std::nullopt;
    const auto doc = nlohmann::json::parse(text, nullptr, false);
    if (doc.is_discarded())
        return std::nullopt;
    const auto number = [](const nlohmann::json& o, const char* key) {
        return o.contains(key) && o[key].is_string() ? std::stod(o[key].get<std::string>()) : 0.0;
    };
    ProbedMovie movie;
    movie.seconds = number(doc["format"], "duration");
    for (const auto& s : doc["streams"]) {
        ProbedStream stream;
        stream.type = s.value("codec_type", "");
        stream.codec = s.value("codec_name", "");
        stream.width = s.value("width", 0);
        stream.height = s.value("height", 0);
        stream.seconds = number(s, "duration");
        movie.streams.push_back(stream);
    }
    return movie;
}

} // namespace vl::testing
