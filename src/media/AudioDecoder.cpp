#include "media/AudioDecoder.h"

#include "media/FFmpegSupport.h"
#include "model/Cancellation.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace vl {

namespace {

using namespace ffmpeg;

[[noreturn]] void fail(const std::string& what, int code)
{
    throw AudioDecodeError(what + ": " + errorText(code));
}

// Converts decoded frames of whatever layout and rate the stream has into mono
// 16-bit at the caller's rate. Rebuilt when the stream changes format mid-way,
// which happens with concatenated MP3s and some radio rips.
class MonoResampler {
public:
    explicit MonoResampler(int rate) : rate_(rate) {}
    ~MonoResampler() { av_channel_layout_uninit(&layout_); }
    MonoResampler(const MonoResampler&) = delete;
    MonoResampler& operator=(const MonoResampler&) = delete;

    // Converts one frame (or, with null, drains what the resampler holds) into `out`.
    void convert(const AVFrame* frame, std::vector<std::int16_t>& out)
    {
        if (frame && !matches(*frame))
            rebuild(*frame);
        if (!swr_)
            return;
        const int inCount = frame ? frame->nb_samples : 0;
        const int capacity = swr_get_out_samples(swr_.get(), inCount) + 32;
        out.resize(static_cast<std::size_t>(std::max(capacity, 0)));
        auto* dst = reinterpret_cast<std::uint8_t*>(out.data());
        const int produced = swr_convert(swr_.get(), &dst, capacity,
                                         frame ? const_cast<const std::uint8_t**>(frame->extended_data) : nullptr,
                                         inCount);
        if (produced < 0)
            fail("Cannot resample audio", produced);
        out.resize(static_cast<std::size_t>(produced));
    }

    bool ready() const { return swr_ != nullptr; }

private:
    bool matches(const AVFrame& f) const
    {
        return swr_ && f.format == format_ && f.sample_rate == inRate_
               && av_channel_layout_compare(&f.ch_layout, &layout_) == 0;
    }

    void rebuild(const AVFrame& f)
    {
        // A pending tail of the previous format is dropped; at a format change
        // that is at most a few milliseconds.
        swr_.reset();
        av_channel_layout_uninit(&layout_);
        AVChannelLayout in{};
        if (f.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || av_channel_layout_check(&f.ch_layout) == 0)
            av_channel_layout_default(&in, std::max(f.ch_layout.nb_channels, 1));
        else if (int e = av_channel_layout_copy(&in, &f.ch_layout); e < 0)
            fail("Cannot read the channel layout", e);
        AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
        SwrContext* raw = nullptr;
        int e = swr_alloc_set_opts2(&raw, &mono, AV_SAMPLE_FMT_S16, rate_, &in,
                                    static_cast<AVSampleFormat>(f.format), f.sample_rate, 0, nullptr);
        ResamplerPtr swr(raw);
        if (e >= 0)
            e = swr_init(swr.get());
        if (e < 0) {
            av_channel_layout_uninit(&in);
            fail("Cannot set up the resampler", e);
        }
        swr_ = std::move(swr);
        format_ = f.format;
        inRate_ = f.sample_rate;
        // Compare against the frame's own layout next time, not the defaulted one.
        av_channel_layout_uninit(&in);
        av_channel_layout_copy(&layout_, &f.ch_layout);
    }

    int rate_;
    ResamplerPtr swr_;
    int format_ = -1;
    int inRate_ = 0;
    AVChannelLayout layout_{};
};

double streamSeconds(const AVFormatContext& input, const AVStream& stream)
{
    if (stream.duration != AV_NOPTS_VALUE && stream.duration > 0)
        return static_cast<double>(stream.duration) * av_q2d(stream.time_base);
    if (input.duration != AV_NOPTS_VALUE && input.duration > 0)
        return static_cast<double>(input.duration) / AV_TIME_BASE;
    return 0;
}

} // namespace

void decodeAudio(const std::filesystem::path& file, int sampleRate, std::stop_token stop,
                 const std::function<void(std::span<const std::int16_t>)>& onSamples,
                 const std::function<void(double)>& onProgress)
{
    if (sampleRate <= 0)
        throw AudioDecodeError("Invalid sample rate " + std::to_string(sampleRate));
    throwIfCancelled(stop);

    int error = 0;
    InputPtr input = openInput(file, error);
    if (!input)
        fail("Cannot open " + file.string(), error);
    const int index = firstAudioStream(*input);
    if (index < 0)
        throw NoAudioStreamError("The file has no audio stream: " + file.string());
    AVStream* stream = input->streams[index];
    // Only our stream's packets are wanted; the demuxer may skip the rest cheaply.
    for (unsigned i = 0; i < input->nb_streams; ++i)
        if (static_cast<int>(i) != index)
            input->streams[i]->discard = AVDISCARD_ALL;

    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        throw AudioDecodeError("No decoder for the audio of " + file.string());
    CodecPtr decoder(avcodec_alloc_context3(codec));
    if (!decoder)
        throw AudioDecodeError("Out of memory");
    if ((error = avcodec_parameters_to_context(decoder.get(), stream->codecpar)) < 0)
        fail("Cannot configure the decoder", error);
    decoder->pkt_timebase = stream->time_base;
    if ((error = avcodec_open2(decoder.get(), codec, nullptr)) < 0)
        fail("Cannot open the decoder", error);

    const double total = streamSeconds(*input, *stream);
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame)
        throw AudioDecodeError("Out of memory");
    MonoResampler resampler(sampleRate);
    std::vector<std::int16_t> block;
    std::int64_t delivered = 0;
    int damaged = 0;
    double lastProgress = -1;

    const auto deliver = [&] {
        if (block.empty())
            return;
        delivered += static_cast<std::int64_t>(block.size());
        onSamples(std::span<const std::int16_t>(block.data(), block.size()));
        if (onProgress && total > 0) {
            const double p = std::min(1.0, static_cast<double>(delivered) / sampleRate / total);
            // Whole-percent steps are plenty for a progress bar.
            if (p - lastProgress >= 0.01) {
                lastProgress = p;
                onProgress(p);
            }
        }
    };

    // Pulls every frame the decoder has ready.
    const auto drain = [&] {
        for (;;) {
            const int r = avcodec_receive_frame(decoder.get(), frame.get());
            if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
                return;
            if (r == AVERROR_INVALIDDATA) {
                ++damaged;
                continue;
            }
            if (r < 0)
                fail("Cannot decode " + file.string(), r);
            resampler.convert(frame.get(), block);
            av_frame_unref(frame.get());
            deliver();
        }
    };

    for (;;) {
        throwIfCancelled(stop);
        const int r = av_read_frame(input.get(), packet.get());
        // A read error past the start is a truncated or damaged file: keep what
        // came before it, as a player would.
        if (r < 0)
            break;
        if (packet->stream_index == index) {
            int s = avcodec_send_packet(decoder.get(), packet.get());
            if (s == AVERROR(EAGAIN)) {
                drain();
                s = avcodec_send_packet(decoder.get(), packet.get());
            }
            if (s == AVERROR_INVALIDDATA)
                ++damaged;
            else if (s < 0)
                fail("Cannot decode " + file.string(), s);
        }
        av_packet_unref(packet.get());
        drain();
    }
    throwIfCancelled(stop);
    avcodec_send_packet(decoder.get(), nullptr);
    drain();
    if (resampler.ready()) {
        resampler.convert(nullptr, block);
        deliver();
    }
    if (delivered == 0 && damaged > 0)
        throw AudioDecodeError("No decodable audio in " + file.string());
    if (onProgress && lastProgress < 1.0)
        onProgress(1.0);
}

} // namespace vl
