#pragma once

// Private to media/export: the FFmpeg plumbing the export's tracks share.

#include "media/FFmpegSupport.h"
#include "model/ProjectSettings.h"

#include <cstdint>
#include <filesystem>
#include <string>

namespace vl::exportdetail {

// Throws ExportError::exportFailed(detail).
[[noreturn]] void fail(const std::string& detail);

ffmpeg::FramePtr newFrame();
ffmpeg::PacketPtr newPacket();

// Clips and songs are opened as local files only: a song file that is really a
// playlist must not make the export reach out to the network.
ffmpeg::InputPtr openInput(const std::filesystem::path& file, const std::string& what);

ffmpeg::CodecPtr openDecoder(const AVStream* stream, const std::filesystem::path& file);

inline std::int64_t microseconds(std::int64_t value, AVRational timeBase)
{
    return av_rescale_q(value, timeBase, AV_TIME_BASE_Q);
}

// The output file: its muxer context and the open file behind it.
class Output {
public:
    Output(const std::filesystem::path& file, ExportContainer container);

    AVFormatContext* get() const { return ctx_.get(); }

    void write(AVPacket* packet);

private:
    ffmpeg::OutputPtr ctx_;
};

AVStream* addStream(Output& out);

// Each source writes its stream into the output a packet at a time, so the
// main loop can keep video and audio close together in the file.
class Source {
public:
    virtual ~Source() = default;
    virtual bool done() const = 0;
    virtual std::int64_t positionUs() const = 0;
    virtual void step() = 0;
};

} // namespace vl::exportdetail
