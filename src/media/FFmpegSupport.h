#pragma once

// Small RAII layer over the FFmpeg C structures that the media readers and
// writers share.

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace vl::ffmpeg {

struct InputCloser {
    void operator()(AVFormatContext* c) const { avformat_close_input(&c); }
};
// A write that stops before its trailer still has its file open; it closes here.
struct OutputCloser {
    void operator()(AVFormatContext* c) const
    {
        if (c->pb)
            avio_closep(&c->pb);
        avformat_free_context(c);
    }
};
struct CodecFreer {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFreer {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFreer {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct ResamplerFreer {
    void operator()(SwrContext* s) const { swr_free(&s); }
};
struct ScalerFreer {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};
struct FifoFreer {
    void operator()(AVAudioFifo* f) const { av_audio_fifo_free(f); }
};

using InputPtr = std::unique_ptr<AVFormatContext, InputCloser>;
using OutputPtr = std::unique_ptr<AVFormatContext, OutputCloser>;
using CodecPtr = std::unique_ptr<AVCodecContext, CodecFreer>;
using FramePtr = std::unique_ptr<AVFrame, FrameFreer>;
using PacketPtr = std::unique_ptr<AVPacket, PacketFreer>;
using ResamplerPtr = std::unique_ptr<SwrContext, ResamplerFreer>;
using ScalerPtr = std::unique_ptr<SwsContext, ScalerFreer>;
using FifoPtr = std::unique_ptr<AVAudioFifo, FifoFreer>;

// FFmpeg's own wording for an error code.
std::string errorText(int code);

// The address FFmpeg is given for a local file. The explicit "file:" keeps a
// name with a colon in it from being taken for a protocol.
std::string fileUrl(const std::filesystem::path& file);

// Bounds of the probe that opens an input: the bytes and the media time it may read
// to find the streams, and the wall time it may take (a hostile header can keep a
// demuxer busy long after a real file has been probed).
inline constexpr std::int64_t kProbeBytes = 5'000'000;
inline constexpr std::int64_t kProbeDuration = 5 * AV_TIME_BASE;
inline constexpr std::chrono::seconds kProbeTimeLimit{30};

// Opens a local file for demuxing and reads its stream information. Only the
// file protocol is allowed, so a playlist inside a song file cannot reach the
// network. The file's header is checked first (checkSongFile): one that claims
// more than it holds is refused, and an absurd leading tag is skipped. Returns
// null and sets `error` when FFmpeg refuses the file.
InputPtr openInput(const std::filesystem::path& file, int& error);

// Index of the first audio stream in stream order, or -1.
int firstAudioStream(const AVFormatContext& input);

// Keeps FFmpeg's chatter about damaged input out of the log; errors still show.
void quietLogs();

// Hands every packet the encoder has ready to `take`, until the encoder wants more
// input or is drained (0), `take` returns false (0), or the encoder fails (its error).
template <typename Take>
int receivePackets(AVCodecContext* encoder, AVPacket* packet, Take&& take)
{
    for (;;) {
        const int error = avcodec_receive_packet(encoder, packet);
        if (error == AVERROR(EAGAIN) || error == AVERROR_EOF)
            return 0;
        if (error < 0)
            return error;
        if (!take(packet))
            return 0;
    }
}

} // namespace vl::ffmpeg
