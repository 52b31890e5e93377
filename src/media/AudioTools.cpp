#include "media/AudioTools.h"

#include "media/AudioDecoder.h"
#include "media/FFmpegSupport.h"
#include "model/Cancellation.h"
#include "model/Files.h"
#include "model/Text.h"

#include <cmath>
#include <optional>
#include <system_error>

namespace vl::AudioTools {

namespace {

using namespace ffmpeg;

constexpr int kRate = 16000;
constexpr int kBitRate = 32000;

[[noreturn]] void transcodeFailed()
{
    throw AudioToolError(AudioToolError::transcodeFailed);
}

// AAC encoder and M4A muxer for one mono 16 kHz stream. Samples arrive in
// blocks of any size; the encoder wants fixed frames, so a remainder waits.
class AacWriter {
public:
    explicit AacWriter(const std::filesystem::path& file)
    {
        AVFormatContext* raw = nullptr;
        // "ipod" is FFmpeg's name for the M4A flavour of MP4.
        if (avformat_alloc_output_context2(&raw, nullptr, "ipod", nullptr) < 0 || !raw)
            transcodeFailed();
        output_.reset(raw);

        const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
        if (!codec)
            transcodeFailed();
        encoder_.reset(avcodec_alloc_context3(codec));
        if (!encoder_)
            transcodeFailed();
        encoder_->sample_fmt = AV_SAMPLE_FMT_FLTP;
        encoder_->sample_rate = kRate;
        encoder_->bit_rate = kBitRate;
        encoder_->time_base = AVRational{1, kRate};
        AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
        av_channel_layout_copy(&encoder_->ch_layout, &mono);
        if (output_->oformat->flags & AVFMT_GLOBALHEADER)
            encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (avcodec_open2(encoder_.get(), codec, nullptr) < 0)
            transcodeFailed();

        stream_ = avformat_new_stream(output_.get(), nullptr);
        if (!stream_ || avcodec_parameters_from_context(stream_->codecpar, encoder_.get()) < 0)
            transcodeFailed();
        stream_->time_base = encoder_->time_base;

        // The one platform error of the writer side: the file itself cannot be made.
        if (const int e = avio_open(&output_->pb, fileUrl(file).c_str(), AVIO_FLAG_WRITE); e < 0)
            throw std::filesystem::filesystem_error("Cannot create the transcription file", file,
                                                    std::error_code(AVUNERROR(e), std::generic_category()));
        if (avformat_write_header(output_.get(), nullptr) < 0)
            transcodeFailed();

        frame_.reset(av_frame_alloc());
        packet_.reset(av_packet_alloc());
        if (!frame_ || !packet_)
            transcodeFailed();
        frameSize_ = encoder_->frame_size > 0 ? encoder_->frame_size : 1024;
        pending_.reserve(static_cast<std::size_t>(frameSize_) * 2);
    }

    void append(std::span<const std::int16_t> samples)
    {
        for (const auto s : samples) {
            pending_.push_back(static_cast<float>(s) * (1.0f / 32768.0f));
            if (pending_.size() == static_cast<std::size_t>(frameSize_))
                encodePending();
        }
    }

    void finish()
    {
        if (!pending_.empty())
            encodePending(); // the last frame may be short
        send(nullptr);
        if (av_write_trailer(output_.get()) < 0)
            transcodeFailed();
        if (avio_closep(&output_->pb) < 0)
            transcodeFailed();
    }

private:
    void encodePending()
    {
        frame_->nb_samples = static_cast<int>(pending_.size());
        frame_->format = AV_SAMPLE_FMT_FLTP;
        frame_->sample_rate = kRate;
        AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
        if (av_channel_layout_copy(&frame_->ch_layout, &mono) < 0 || av_frame_get_buffer(frame_.get(), 0) < 0)
            transcodeFailed();
        std::copy(pending_.begin(), pending_.end(), reinterpret_cast<float*>(frame_->data[0]));
        frame_->pts = written_;
        written_ += frame_->nb_samples;
        pending_.clear();
        send(frame_.get());
        av_frame_unref(frame_.get());
    }

    void send(const AVFrame* frame)
    {
        if (avcodec_send_frame(encoder_.get(), frame) < 0)
            transcodeFailed();
        const int r = receivePackets(encoder_.get(), packet_.get(), [this](AVPacket* p) {
            av_packet_rescale_ts(p, encoder_->time_base, stream_->time_base);
            p->stream_index = stream_->index;
            const int w = av_write_frame(output_.get(), p);
            av_packet_unref(p);
            if (w < 0)
                transcodeFailed();
            return true;
        });
        if (r < 0)
            transcodeFailed();
    }

    OutputPtr output_;
    CodecPtr encoder_;
    AVStream* stream_ = nullptr;
    FramePtr frame_;
    PacketPtr packet_;
    int frameSize_ = 1024;
    std::int64_t written_ = 0;
    std::vector<float> pending_;
};

} // namespace

std::string_view message(AudioToolError::Case value)
{
    switch (value) {
    case AudioToolError::trimFailed:
        return "Could not trim the audio clip for verification.";
    case AudioToolError::noAudioTrack:
        return "The file has no audio track to transcribe.";
    case AudioToolError::transcodeFailed:
        return "Could not prepare the audio for transcription.";
    }
    return "Could not prepare the audio for transcription.";
}

const char* AudioToolError::what() const noexcept { return message(value_).data(); }

std::filesystem::path compressForTranscription(const std::filesystem::path& source, std::stop_token stop)
{
    throwIfCancelled(stop);
    const auto output = files::temporaryPath("stt", ".m4a");
    std::optional<AacWriter> writer;
    try {
        // The writer is made once the source is known to hold audio, so a file
        // without sound never leaves an empty copy behind.
        decodeAudio(source, kRate, stop, [&](std::span<const std::int16_t> samples) {
            if (!writer)
                writer.emplace(output);
            writer->append(samples);
        });
        if (!writer)
            writer.emplace(output); // an audio stream with no samples still gets its (empty) file
        writer->finish();
    } catch (const NoAudioStreamError&) {
        writer.reset();
        std::error_code ignored;
        std::filesystem::remove(output, ignored);
        throw AudioToolError(AudioToolError::noAudioTrack);
    } catch (...) {
        writer.reset();
        std::error_code ignored;
        std::filesystem::remove(output, ignored);
        throw;
    }
    return output;
}

std::vector<TranscriptSegment> segments(const std::vector<TimedChunk>& from)
{
    std::vector<TranscriptSegment> out;
    for (const auto& chunk : from) {
        auto text = text::trimSpaceSeparatorsAndTab(chunk.text);
        if (text.empty())
            continue;
        // A time that is not a number could never be written to the project file.
        if (!std::isfinite(chunk.start) || !std::isfinite(chunk.end))
            continue;
        out.push_back(TranscriptSegment{Uuid::random(), std::move(text), chunk.start, chunk.end});
    }
    return out;
}

std::vector<TranscriptSegment> evenlyTimedSegments(const std::vector<std::string>& lines,
                                                   const std::vector<TimedChunk>& chunks, double duration)
{
    std::vector<std::string> kept;
    for (const auto& line : lines)
        if (auto t = text::trimSpaceSeparatorsAndTab(line); !t.empty())
            kept.push_back(std::move(t));
    if (kept.empty())
        return {};
    const auto n = static_cast<double>(kept.size());

    const TimedChunk* first = nullptr;
    const TimedChunk* last = nullptr;
    for (const auto& c : chunks) {
        // Non-finite times would spread infinities or NaNs over every line.
        if (c.start < c.end && c.end > 0 && std::isfinite(c.start) && std::isfinite(c.end)) {
            if (!first)
                first = &c;
            last = &c;
        }
    }
    double begin = 0;
    double length = 0;
    if (first && last->end > first->start) {
        begin = first->start;
        length = last->end - first->start;
    } else {
        length = (duration > 0 && std::isfinite(duration)) ? duration : n * 3.0;
    }

    const double step = length / n;
    std::vector<TranscriptSegment> out;
    out.reserve(kept.size());
    for (std::size_t i = 0; i < kept.size(); ++i)
        out.push_back(TranscriptSegment{Uuid::random(), std::move(kept[i]), begin + step * static_cast<double>(i),
                                        begin + step * static_cast<double>(i + 1)});
    return out;
}

} // namespace vl::AudioTools
