#include "media/export/VideoExporter.h"

#include "media/FFmpegSupport.h"
#include "media/export/SegmentedAacEncoder.h"
#include "model/Files.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <thread>

namespace vl {

namespace fs = std::filesystem;

// ---------------------------------------------------------------- ExportError

VideoExporter::ExportError::ExportError(Case c, std::string detail, const std::string& message)
    : std::runtime_error(message), case_(c), detail_(std::move(detail))
{
}

VideoExporter::ExportError VideoExporter::ExportError::exportFailed(std::string detail)
{
    const std::string message = "Export failed: " + detail;
    return ExportError(Case::exportFailed, std::move(detail), message);
}

VideoExporter::ExportError VideoExporter::ExportError::noClips()
{
    return ExportError(Case::noClips, {}, "There are no rendered clips to export.");
}

VideoExporter::ExportError VideoExporter::ExportError::trackSetupFailed()
{
    return ExportError(Case::trackSetupFailed, {}, "Could not assemble the video tracks.");
}

VideoExporter::ExportError VideoExporter::ExportError::sessionSetupFailed()
{
    return ExportError(Case::sessionSetupFailed, {}, "Could not create the export session.");
}

namespace {

// ------------------------------------------------------------ FFmpeg plumbing

[[noreturn]] void fail(const std::string& detail)
{
    throw ExportError::exportFailed(detail);
}

void stopIfRequested(const std::stop_token& stop)
{
    if (stop.stop_requested())
        throw ExportError::exportFailed("cancelled");
}

using ffmpeg::CodecPtr;
using ffmpeg::FifoPtr;
using ffmpeg::FramePtr;
using ffmpeg::InputPtr;
using ffmpeg::OutputPtr;
using ffmpeg::PacketPtr;
using ffmpeg::ResamplerPtr;
using ffmpeg::ScalerPtr;
using ffmpeg::errorText;

FramePtr newFrame()
{
    FramePtr f(av_frame_alloc());
    if (!f) throw std::bad_alloc();
    return f;
}

PacketPtr newPacket()
{
    PacketPtr p(av_packet_alloc());
    if (!p) throw std::bad_alloc();
    return p;
}

// Clips and songs are opened as local files only: a song file that is really a
// playlist must not make the export reach out to the network.
InputPtr openInput(const fs::path& file, const std::string& what)
{
    int err = 0;
    InputPtr input = ffmpeg::openInput(file, err);
    if (!input)
        fail("could not open " + what + " " + file.filename().string() + " (" + errorText(err) + ")");
    return input;
}

CodecPtr openDecoder(const AVStream* stream, const fs::path& file)
{
    const AVCodec* codec = avcodec_find_decoder(stream->codecpar->codec_id);
    if (!codec)
        fail("no decoder for " + file.filename().string());
    CodecPtr dec(avcodec_alloc_context3(codec));
    if (!dec) throw std::bad_alloc();
    int err = avcodec_parameters_to_context(dec.get(), stream->codecpar);
    if (err >= 0) {
        dec->pkt_timebase = stream->time_base;
        dec->thread_count = 0;
        err = avcodec_open2(dec.get(), codec, nullptr);
    }
    if (err < 0)
        fail("could not decode " + file.filename().string() + " (" + errorText(err) + ")");
    return dec;
}

// The output file: its muxer context and the open file behind it.
class Output {
public:
    Output(const fs::path& file, ExportContainer container)
    {
        const char* format = container == ExportContainer::mov ? "mov" : "mp4";
        AVFormatContext* raw = nullptr;
        if (avformat_alloc_output_context2(&raw, nullptr, format, file.c_str()) < 0 || !raw)
            throw ExportError::sessionSetupFailed();
        ctx_.reset(raw);
    }

    AVFormatContext* get() const { return ctx_.get(); }

    void write(AVPacket* packet)
    {
        const int err = av_interleaved_write_frame(ctx_.get(), packet);
        if (err < 0)
            fail("could not write the movie (" + errorText(err) + ")");
    }

private:
    OutputPtr ctx_;
};

AVStream* addStream(Output& out)
{
    AVStream* stream = avformat_new_stream(out.get(), nullptr);
    if (!stream) throw ExportError::trackSetupFailed();
    return stream;
}

// ------------------------------------------------------------------- clips

struct Clip {
    fs::path file;
    InputPtr input;
    AVStream* video = nullptr;
    std::int64_t start = 0;    // first timestamp, in the stream's time base
    std::int64_t duration = 0; // in the stream's time base
};

// Cover art is stored as a video stream holding one picture; it is not a clip's video.
AVStream* firstVideoStream(AVFormatContext* input)
{
    for (unsigned i = 0; i < input->nb_streams; ++i) {
        AVStream* s = input->streams[i];
        if (s->codecpar->codec_type == AVMEDIA_TYPE_VIDEO && !(s->disposition & AV_DISPOSITION_ATTACHED_PIC))
            return s;
    }
    return nullptr;
}

std::optional<Clip> openClip(const fs::path& file)
{
    Clip clip{file, openInput(file, "clip"), nullptr, 0, 0};
    clip.video = firstVideoStream(clip.input.get());
    if (!clip.video) return std::nullopt;
    const AVStream* s = clip.video;
    clip.start = s->start_time != AV_NOPTS_VALUE ? s->start_time : 0;
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
        clip.duration = s->duration;
    else if (clip.input->duration != AV_NOPTS_VALUE && clip.input->duration > 0)
        clip.duration = av_rescale_q(clip.input->duration, AV_TIME_BASE_Q, s->time_base);
    else
        fail("clip " + file.filename().string() + " has no readable duration");
    return clip;
}

std::int64_t microseconds(std::int64_t value, AVRational timeBase)
{
    return av_rescale_q(value, timeBase, AV_TIME_BASE_Q);
}

// Clips from one renderer share size and parameter sets; then the packets can be
// joined as they are. Anything else (a size change, another codec or encoder
// setup) would not decode cleanly after the joint, so it goes through the encoder.
bool canCopy(const std::vector<Clip>& clips, ExportContainer container)
{
    if (container != ExportContainer::mp4) return false;
    const AVCodecParameters* first = clips.front().video->codecpar;
    for (const Clip& clip : clips) {
        const AVCodecParameters* p = clip.video->codecpar;
        if (p->codec_id != AV_CODEC_ID_H264 || p->width != first->width || p->height != first->height
            || p->format != first->format || p->video_delay != first->video_delay
            || p->extradata_size != first->extradata_size
            || (p->extradata_size > 0 && std::memcmp(p->extradata, first->extradata, p->extradata_size) != 0))
            return false;
    }
    return true;
}

// ----------------------------------------------------------------- sources
// Each source writes its stream into the output a packet at a time, so the
// main loop can keep video and audio close together in the file.

class Source {
public:
    virtual ~Source() = default;
    virtual bool done() const = 0;
    virtual std::int64_t positionUs() const = 0;
    virtual void step() = 0;
};

// Packets of every clip, rebased onto one running timeline.
class CopiedVideo final : public Source {
public:
    CopiedVideo(std::vector<Clip>& clips, Output& out)
        : clips_(clips), out_(out), packet_(newPacket())
    {
        const AVStream* first = clips.front().video;
        stream_ = addStream(out);
        if (avcodec_parameters_copy(stream_->codecpar, first->codecpar) < 0)
            throw ExportError::trackSetupFailed();
        stream_->codecpar->codec_tag = 0;
        stream_->time_base = first->time_base;
        stream_->avg_frame_rate = first->avg_frame_rate;
        stream_->sample_aspect_ratio = first->sample_aspect_ratio;
    }

    bool done() const override { return index_ >= clips_.size(); }
    std::int64_t positionUs() const override { return position_; }

    void step() override
    {
        Clip& clip = clips_[index_];
        const int err = av_read_frame(clip.input.get(), packet_.get());
        if (err == AVERROR_EOF) {
            cursor_ += av_rescale_q(clip.duration, clip.video->time_base, stream_->time_base);
            position_ = microseconds(cursor_, stream_->time_base);
            clip.input.reset();
            ++index_;
            return;
        }
        if (err < 0)
            fail("could not read clip " + clip.file.filename().string() + " (" + errorText(err) + ")");
        if (packet_->stream_index != clip.video->index) {
            av_packet_unref(packet_.get());
            return;
        }
        const AVRational from = clip.video->time_base;
        const AVRational to = stream_->time_base;
        if (packet_->pts == AV_NOPTS_VALUE) packet_->pts = packet_->dts;
        if (packet_->dts == AV_NOPTS_VALUE) packet_->dts = packet_->pts;
        if (packet_->pts != AV_NOPTS_VALUE) {
            packet_->pts = av_rescale_q(packet_->pts - clip.start, from, to) + cursor_;
            packet_->dts = av_rescale_q(packet_->dts - clip.start, from, to) + cursor_;
            position_ = microseconds(packet_->dts, to);
        }
        packet_->duration = av_rescale_q(packet_->duration, from, to);
        packet_->stream_index = stream_->index;
        packet_->pos = -1;
        out_.write(packet_.get());
    }

private:
    std::vector<Clip>& clips_;
    Output& out_;
    PacketPtr packet_;
    AVStream* stream_ = nullptr;
    std::size_t index_ = 0;
    std::int64_t cursor_ = 0; // in the output stream's time base
    std::int64_t position_ = 0;
};

// Encoders work in 1/90000 s: exact for 24, 25, 30 and 30000/1001 frames per second.
constexpr AVRational kEncodeTimeBase{1, 90000};

// Every clip decoded, scaled to the first clip's size and encoded again:
// H.264 at CRF 18 for MP4, ProRes 422 HQ for MOV.
class EncodedVideo final : public Source {
public:
    EncodedVideo(std::vector<Clip>& clips, Output& out, ExportContainer container)
        : clips_(clips), out_(out), packet_(newPacket()), decoded_(newFrame())
    {
        const AVStream* first = clips.front().video;
        // 4:2:0 and 4:2:2 need an even width (and 4:2:0 an even height).
        width_ = std::max(2, first->codecpar->width & ~1);
        height_ = std::max(2, first->codecpar->height & ~1);

        const bool prores = container == ExportContainer::mov;
        const AVCodec* codec = avcodec_find_encoder_by_name(prores ? "prores_ks" : "libx264");
        if (!codec) throw ExportError::sessionSetupFailed();
        encoder_.reset(avcodec_alloc_context3(codec));
        if (!encoder_) throw std::bad_alloc();
        encoder_->width = width_;
        encoder_->height = height_;
        encoder_->pix_fmt = prores ? AV_PIX_FMT_YUV422P10LE : AV_PIX_FMT_YUV420P;
        encoder_->time_base = kEncodeTimeBase;
        AVRational rate = first->avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0) rate = first->r_frame_rate;
        if (rate.num <= 0 || rate.den <= 0) rate = AVRational{30, 1};
        encoder_->framerate = rate;
        encoder_->sample_aspect_ratio = first->codecpar->sample_aspect_ratio;
        encoder_->thread_count = 0;
        if (out.get()->oformat->flags & AVFMT_GLOBALHEADER)
            encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (prores) {
            av_opt_set(encoder_->priv_data, "profile", "hq", 0);
        } else {
            av_opt_set(encoder_->priv_data, "crf", "18", 0);
            av_opt_set(encoder_->priv_data, "preset", "fast", 0);
        }
        if (avcodec_open2(encoder_.get(), codec, nullptr) < 0)
            throw ExportError::sessionSetupFailed();

        stream_ = addStream(out);
        if (avcodec_parameters_from_context(stream_->codecpar, encoder_.get()) < 0)
            throw ExportError::trackSetupFailed();
        stream_->time_base = encoder_->time_base;
        stream_->avg_frame_rate = rate;
        stream_->sample_aspect_ratio = encoder_->sample_aspect_ratio;
        nominalFrame_ = av_rescale_q(1, av_inv_q(rate), kEncodeTimeBase);
    }

    bool done() const override { return finished_; }
    std::int64_t positionUs() const override { return position_; }

    void step() override
    {
        if (index_ >= clips_.size()) {
            encode(nullptr);
            finished_ = true;
            return;
        }
        Clip& clip = clips_[index_];
        if (!decoder_) decoder_ = openDecoder(clip.video, clip.file);

        const int err = av_read_frame(clip.input.get(), packet_.get());
        if (err == AVERROR_EOF) {
            decode(clip, nullptr);
            finishClip(clip);
            return;
        }
        if (err < 0)
            fail("could not read clip " + clip.file.filename().string() + " (" + errorText(err) + ")");
        if (packet_->stream_index == clip.video->index)
            decode(clip, packet_.get());
        av_packet_unref(packet_.get());
    }

private:
    void decode(Clip& clip, const AVPacket* packet)
    {
        int err = avcodec_send_packet(decoder_.get(), packet);
        if (err < 0 && err != AVERROR_EOF)
            fail("could not decode clip " + clip.file.filename().string() + " (" + errorText(err) + ")");
        for (;;) {
            err = avcodec_receive_frame(decoder_.get(), decoded_.get());
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
            if (err < 0)
                fail("could not decode clip " + clip.file.filename().string() + " (" + errorText(err) + ")");
            take(clip, decoded_.get());
            av_frame_unref(decoded_.get());
        }
    }

    // Places a decoded frame on the timeline; the frame before it is encoded
    // now that its length (up to this one) is known.
    void take(const Clip& clip, const AVFrame* frame)
    {
        std::int64_t ts = frame->best_effort_timestamp;
        if (ts == AV_NOPTS_VALUE) ts = frame->pts;
        if (ts == AV_NOPTS_VALUE) return;
        const std::int64_t relative = ts - clip.start;
        if (relative < 0 || relative >= clip.duration) return; // outside the clip's edit
        const std::int64_t pts = cursor_ + av_rescale_q(relative, clip.video->time_base, kEncodeTimeBase);
        if (pending_ && pts <= pending_->pts) return;

        FramePtr scaled = std::move(spare_);
        if (!scaled) {
            scaled = newFrame();
            scaled->format = encoder_->pix_fmt;
            scaled->width = width_;
            scaled->height = height_;
            if (av_frame_get_buffer(scaled.get(), 0) < 0) throw std::bad_alloc();
        } else if (av_frame_make_writable(scaled.get()) < 0) {
            throw std::bad_alloc();
        }
        convert(clip, frame, scaled.get());
        scaled->pts = pts;

        if (pending_) sendPending(pts - pending_->pts);
        pending_ = std::move(scaled);
    }

    // One converter per source format, run on all cores: at 1080x1920 the
    // conversion would otherwise hold back the encoder.
    void convert(const Clip& clip, const AVFrame* from, AVFrame* to)
    {
        if (!scaler_ || from->width != scalerFrom_.width || from->height != scalerFrom_.height
            || from->format != scalerFrom_.format) {
            scaler_.reset(sws_alloc_context());
            if (!scaler_) throw std::bad_alloc();
            av_opt_set_int(scaler_.get(), "srcw", from->width, 0);
            av_opt_set_int(scaler_.get(), "srch", from->height, 0);
            av_opt_set_int(scaler_.get(), "src_format", from->format, 0);
            av_opt_set_int(scaler_.get(), "dstw", width_, 0);
            av_opt_set_int(scaler_.get(), "dsth", height_, 0);
            av_opt_set_int(scaler_.get(), "dst_format", encoder_->pix_fmt, 0);
            av_opt_set_int(scaler_.get(), "sws_flags", SWS_BICUBIC, 0);
            av_opt_set_int(scaler_.get(), "threads", 0, 0);
            if (sws_init_context(scaler_.get(), nullptr, nullptr) < 0) {
                scaler_.reset();
                fail("cannot convert the pictures of clip " + clip.file.filename().string());
            }
            scalerFrom_ = {from->width, from->height, from->format};
        }
        const int err = sws_scale_frame(scaler_.get(), to, from);
        if (err < 0)
            fail("cannot convert the pictures of clip " + clip.file.filename().string() + " (" + errorText(err) + ")");
    }

    void finishClip(Clip& clip)
    {
        const std::int64_t end = cursor_ + av_rescale_q(clip.duration, clip.video->time_base, kEncodeTimeBase);
        if (pending_) sendPending(end > pending_->pts ? end - pending_->pts : nominalFrame_);
        cursor_ = end;
        position_ = microseconds(cursor_, kEncodeTimeBase);
        decoder_.reset();
        clip.input.reset();
        ++index_;
    }

    void sendPending(std::int64_t duration)
    {
        durations_[pending_->pts] = duration;
        encode(pending_.get());
        spare_ = std::move(pending_); // reused for the next picture once the encoder lets go of it
    }

    void encode(const AVFrame* frame)
    {
        int err = avcodec_send_frame(encoder_.get(), frame);
        if (err < 0 && err != AVERROR_EOF)
            fail("could not encode the video (" + errorText(err) + ")");
        for (;;) {
            err = avcodec_receive_packet(encoder_.get(), packet_.get());
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
            if (err < 0)
                fail("could not encode the video (" + errorText(err) + ")");
            // The encoder does not know how long each frame lasts; we do.
            if (auto it = durations_.find(packet_->pts); it != durations_.end()) {
                packet_->duration = it->second;
                durations_.erase(it);
            }
            if (packet_->dts != AV_NOPTS_VALUE)
                position_ = std::max(position_, microseconds(packet_->dts, kEncodeTimeBase));
            av_packet_rescale_ts(packet_.get(), kEncodeTimeBase, stream_->time_base);
            packet_->stream_index = stream_->index;
            out_.write(packet_.get());
        }
    }

    std::vector<Clip>& clips_;
    Output& out_;
    PacketPtr packet_;
    FramePtr decoded_;
    FramePtr pending_;
    CodecPtr encoder_;
    CodecPtr decoder_;
    ScalerPtr scaler_;
    struct {
        int width = 0, height = 0, format = -1;
    } scalerFrom_;
    FramePtr spare_;
    AVStream* stream_ = nullptr;
    int width_ = 0;
    int height_ = 0;
    std::int64_t nominalFrame_ = 3000;
    std::size_t index_ = 0;
    std::int64_t cursor_ = 0; // in kEncodeTimeBase
    std::int64_t position_ = 0;
    bool finished_ = false;
    std::map<std::int64_t, std::int64_t> durations_;
};

bool supportsRate(const AVCodec* codec, int rate)
{
    if (!codec->supported_samplerates) return true;
    for (const int* r = codec->supported_samplerates; *r; ++r)
        if (*r == rate) return true;
    return false;
}

// The song from its first sample, cut at the video's length: AAC for MP4,
// 16-bit PCM for MOV. Mono stays mono; anything with more channels is mixed to stereo.
class SongAudio final : public Source {
public:
    SongAudio(InputPtr input, AVStream* source, const fs::path& file, Output& out, ExportContainer container,
              std::int64_t videoUs)
        : input_(std::move(input)), source_(source), file_(file), out_(out), packet_(newPacket()),
          decoded_(newFrame())
    {
        decoder_ = openDecoder(source, file);

        const bool pcm = container == ExportContainer::mov;
        const AVCodec* codec = avcodec_find_encoder(pcm ? AV_CODEC_ID_PCM_S16LE : AV_CODEC_ID_AAC);
        if (!codec) throw ExportError::sessionSetupFailed();
        const int rate = supportsRate(codec, decoder_->sample_rate) ? decoder_->sample_rate : 48000;
        const int channels = decoder_->ch_layout.nb_channels == 1 ? 1 : 2;
        const bool globalHeader = out.get()->oformat->flags & AVFMT_GLOBALHEADER;
        if (pcm) {
            encoder_.reset(avcodec_alloc_context3(codec));
            if (!encoder_) throw std::bad_alloc();
            encoder_->sample_rate = rate;
            encoder_->sample_fmt = AV_SAMPLE_FMT_S16;
            av_channel_layout_default(&encoder_->ch_layout, channels);
            encoder_->time_base = AVRational{1, rate};
            if (globalHeader) encoder_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
            if (avcodec_open2(encoder_.get(), codec, nullptr) < 0)
                throw ExportError::sessionSetupFailed();
            format_ = encoder_.get();
        } else {
            SegmentedAacEncoder::Settings aac;
            aac.sampleRate = rate;
            aac.channels = channels;
            // 128 kb/s a channel, within what AAC can carry at low sample rates.
            aac.bitRate = std::min<std::int64_t>(128000LL * channels, 6144LL * channels * rate / 1024);
            aac.globalHeader = globalHeader;
            aac_ = std::make_unique<SegmentedAacEncoder>(aac);
            format_ = &aac_->prototype();
        }
        frameSize_ = format_->frame_size > 0 ? format_->frame_size : 1024;

        stream_ = avformat_new_stream(out.get(), nullptr);
        if (!stream_ || avcodec_parameters_from_context(stream_->codecpar, format_) < 0) {
            // The movie can still be written, only without its sound.
            stream_ = nullptr;
            finished_ = true;
            return;
        }
        stream_->time_base = format_->time_base;

        AVChannelLayout inLayout{};
        if (decoder_->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&inLayout, decoder_->ch_layout.nb_channels);
        else
            av_channel_layout_copy(&inLayout, &decoder_->ch_layout);
        SwrContext* swr = nullptr;
        // FFmpeg 5.1 takes the layouts without const; it only copies them.
        int err = swr_alloc_set_opts2(&swr, const_cast<AVChannelLayout*>(&format_->ch_layout), format_->sample_fmt,
                                      rate, &inLayout, decoder_->sample_fmt, decoder_->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&inLayout);
        resampler_.reset(swr);
        if (err < 0 || (err = swr_init(swr)) < 0)
            fail("could not convert the audio of " + file.filename().string() + " (" + errorText(err) + ")");
        fifo_.reset(av_audio_fifo_alloc(format_->sample_fmt, format_->ch_layout.nb_channels, frameSize_));
        if (!fifo_) throw std::bad_alloc();
        limit_ = av_rescale(videoUs, rate, AV_TIME_BASE);
    }

    // False when the output had no room for a sound track.
    bool hasTrack() const { return stream_ != nullptr; }

    bool done() const override { return finished_; }
    std::int64_t positionUs() const override
    {
        return av_rescale(aac_ ? written_ : sent_, AV_TIME_BASE, format_->sample_rate);
    }

    void step() override
    {
        if (aac_) {
            stepSegmented();
            return;
        }
        if (buffered_ >= limit_ || inputEnded_) {
            drainFifo(true);
            encode(nullptr);
            finished_ = true;
            return;
        }
        readSome();
    }

private:
    void readSome()
    {
        const int err = av_read_frame(input_.get(), packet_.get());
        if (err == AVERROR_EOF) {
            decode(nullptr);
            convert(nullptr, 0);
            inputEnded_ = true;
            return;
        }
        if (err < 0)
            fail("could not read the audio of " + file_.filename().string() + " (" + errorText(err) + ")");
        if (packet_->stream_index == source_->index) decode(packet_.get());
        av_packet_unref(packet_.get());
        drainFifo(false);
    }

    // AAC is encoded by helper threads; this thread reads and converts the song,
    // hands the samples over and writes the packets back in order.
    void stepSegmented()
    {
        if (aac_->takePacket(packet_.get())) {
            writeAac();
            return;
        }
        if (buffered_ < limit_ && !inputEnded_) {
            if (aac_->canTakeMore()) {
                readSome();
                return;
            }
        } else if (!handedOver_) {
            drainFifo(true);
            aac_->finish();
            handedOver_ = true;
            return;
        }
        if (aac_->waitForPacket(packet_.get()))
            writeAac();
        else
            finished_ = true;
    }

    void writeAac()
    {
        written_ = packet_->pts + packet_->duration;
        av_packet_rescale_ts(packet_.get(), format_->time_base, stream_->time_base);
        packet_->stream_index = stream_->index;
        out_.write(packet_.get());
    }

    void decode(const AVPacket* packet)
    {
        int err = avcodec_send_packet(decoder_.get(), packet);
        // A damaged frame in a song is skipped, as players do.
        if (err == AVERROR_INVALIDDATA) return;
        if (err < 0 && err != AVERROR_EOF)
            fail("could not decode the audio of " + file_.filename().string() + " (" + errorText(err) + ")");
        for (;;) {
            err = avcodec_receive_frame(decoder_.get(), decoded_.get());
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
            if (err == AVERROR_INVALIDDATA) continue;
            if (err < 0)
                fail("could not decode the audio of " + file_.filename().string() + " (" + errorText(err) + ")");
            convert(const_cast<const std::uint8_t**>(decoded_->extended_data), decoded_->nb_samples);
            av_frame_unref(decoded_.get());
        }
    }

    // Resamples into the FIFO, keeping nothing past the video's end.
    void convert(const std::uint8_t** data, int samples)
    {
        const int room = swr_get_out_samples(resampler_.get(), samples);
        if (room <= 0) return;
        std::uint8_t** out = nullptr;
        if (av_samples_alloc_array_and_samples(&out, nullptr, format_->ch_layout.nb_channels, room,
                                               format_->sample_fmt, 0) < 0)
            throw std::bad_alloc();
        const int made = swr_convert(resampler_.get(), out, room, data, samples);
        if (made > 0) {
            const int keep = static_cast<int>(std::min<std::int64_t>(made, limit_ - buffered_));
            if (keep > 0 && av_audio_fifo_write(fifo_.get(), reinterpret_cast<void**>(out), keep) < keep) {
                av_freep(&out[0]);
                av_freep(&out);
                throw std::bad_alloc();
            }
            buffered_ += std::max(keep, 0);
        }
        av_freep(&out[0]);
        av_freep(&out);
        if (made < 0)
            fail("could not convert the audio of " + file_.filename().string() + " (" + errorText(made) + ")");
    }

    void drainFifo(bool all)
    {
        while (av_audio_fifo_size(fifo_.get()) >= (all ? 1 : frameSize_)) {
            const int n = std::min(av_audio_fifo_size(fifo_.get()), frameSize_);
            FramePtr frame = newFrame();
            frame->nb_samples = n;
            frame->format = format_->sample_fmt;
            frame->sample_rate = format_->sample_rate;
            av_channel_layout_copy(&frame->ch_layout, &format_->ch_layout);
            if (av_frame_get_buffer(frame.get(), 0) < 0) throw std::bad_alloc();
            av_audio_fifo_read(fifo_.get(), reinterpret_cast<void**>(frame->data), n);
            frame->pts = sent_;
            sent_ += n;
            if (aac_)
                aac_->push(reinterpret_cast<const float* const*>(frame->extended_data), n);
            else
                encode(frame.get());
        }
    }

    void encode(const AVFrame* frame)
    {
        int err = avcodec_send_frame(encoder_.get(), frame);
        if (err < 0 && err != AVERROR_EOF)
            fail("could not encode the audio (" + errorText(err) + ")");
        for (;;) {
            err = avcodec_receive_packet(encoder_.get(), packet_.get());
            if (err == AVERROR(EAGAIN) || err == AVERROR_EOF) return;
            if (err < 0)
                fail("could not encode the audio (" + errorText(err) + ")");
            av_packet_rescale_ts(packet_.get(), encoder_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            out_.write(packet_.get());
        }
    }

    InputPtr input_;
    AVStream* source_;
    fs::path file_;
    Output& out_;
    PacketPtr packet_;
    FramePtr decoded_;
    CodecPtr decoder_;
    CodecPtr encoder_;                         // PCM
    std::unique_ptr<SegmentedAacEncoder> aac_; // AAC
    const AVCodecContext* format_ = nullptr;   // the encoder in use: what the samples are converted to
    ResamplerPtr resampler_;
    FifoPtr fifo_;
    AVStream* stream_ = nullptr;
    int frameSize_ = 1024;
    std::int64_t limit_ = 0;    // samples the movie can hold
    std::int64_t buffered_ = 0; // samples taken into the FIFO so far
    std::int64_t sent_ = 0;     // samples handed to the encoder
    std::int64_t written_ = 0;  // end of the last AAC packet written, in samples
    bool handedOver_ = false;   // every sample has gone to the AAC encoder
    bool inputEnded_ = false;
    bool finished_ = false;
};

// Removes the partly written movie unless it was renamed into place.
class TemporaryOutput {
public:
    explicit TemporaryOutput(fs::path path) : path_(std::move(path)) {}
    ~TemporaryOutput()
    {
        if (!kept_) {
            std::error_code ignored;
            fs::remove(path_, ignored);
        }
    }
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    const fs::path& path() const { return path_; }
    void keep() { kept_ = true; }

private:
    fs::path path_;
    bool kept_ = false;
};

// Calls back with the current fraction at once and then every 0.2 s until stopped.
class ProgressReporter {
public:
    ProgressReporter(const VideoExporter::ProgressCallback& callback, const std::atomic<double>& fraction)
    {
        if (!callback) return;
        thread_ = std::jthread([&callback, &fraction](std::stop_token stop) {
            std::mutex mutex;
            std::condition_variable_any wake;
            while (!stop.stop_requested()) {
                callback(fraction.load());
                std::unique_lock lock(mutex);
                wake.wait_for(lock, stop, std::chrono::milliseconds(200), [] { return false; });
            }
        });
    }
    void stop()
    {
        if (thread_.joinable()) {
            thread_.request_stop();
            thread_.join();
        }
    }

private:
    std::jthread thread_;
};

} // namespace

// ---------------------------------------------------------------- the export

fs::path VideoExporter::exportVideo(const std::vector<fs::path>& clipFiles, const std::optional<fs::path>& audio,
                                    const ExportSettings& settings, const fs::path& output, std::stop_token stop,
                                    const ProgressCallback& onProgress) const
{
    if (clipFiles.empty()) throw ExportError::noClips();

    std::vector<Clip> clips;
    std::int64_t videoUs = 0;
    for (const fs::path& file : clipFiles) {
        stopIfRequested(stop);
        if (auto clip = openClip(file)) {
            videoUs += microseconds(clip->duration, clip->video->time_base);
            clips.push_back(std::move(*clip));
        }
    }
    // Nothing but audio-only files would otherwise give a movie without a picture.
    if (clips.empty()) throw ExportError::noClips();

    InputPtr song;
    AVStream* songStream = nullptr;
    std::error_code ignored;
    if (audio && settings.includeOriginalAudio && fs::exists(*audio, ignored)) {
        song = openInput(*audio, "audio file");
        for (unsigned i = 0; i < song->nb_streams && !songStream; ++i)
            if (song->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) songStream = song->streams[i];
        if (!songStream) song.reset(); // no sound in it: the movie is silent
    }

    const fs::path folder = output.parent_path();
    if (!folder.empty()) fs::create_directories(folder);
    stopIfRequested(stop);

    // Built beside the destination so the final rename stays within one file system.
    TemporaryOutput temp(files::temporarySibling(output, ".part"));
    Output out(temp.path(), settings.container);

    std::unique_ptr<Source> video;
    if (canCopy(clips, settings.container))
        video = std::make_unique<CopiedVideo>(clips, out);
    else
        video = std::make_unique<EncodedVideo>(clips, out, settings.container);

    std::unique_ptr<SongAudio> sound;
    if (song) {
        sound = std::make_unique<SongAudio>(std::move(song), songStream, *audio, out, settings.container, videoUs);
        if (!sound->hasTrack()) sound.reset();
    }

    int err = avio_open(&out.get()->pb, temp.path().c_str(), AVIO_FLAG_WRITE);
    if (err < 0) fail("could not write to " + folder.string() + " (" + errorText(err) + ")");
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    err = avformat_write_header(out.get(), &options);
    av_dict_free(&options);
    if (err < 0) fail("could not start the movie (" + errorText(err) + ")");

    std::atomic<double> fraction{0.0};
    ProgressReporter reporter(onProgress, fraction);
    const double total = static_cast<double>(std::max<std::int64_t>(videoUs, 1));

    while (!video->done() || (sound && !sound->done())) {
        stopIfRequested(stop);
        const bool takeVideo = !video->done() && (!sound || sound->done() || video->positionUs() <= sound->positionUs());
        (takeVideo ? *video : static_cast<Source&>(*sound)).step();
        std::int64_t position = video->done() ? videoUs : video->positionUs();
        if (sound && !sound->done()) position = std::min(position, sound->positionUs());
        fraction.store(std::clamp(static_cast<double>(position) / total, 0.0, 1.0));
    }
    stopIfRequested(stop);

    err = av_write_trailer(out.get());
    if (err < 0) fail("could not finish the movie (" + errorText(err) + ")");
    err = avio_closep(&out.get()->pb);
    if (err < 0) fail("could not finish the movie (" + errorText(err) + ")");

    std::error_code renameError;
    fs::rename(temp.path(), output, renameError);
    if (renameError) fail("could not replace " + output.filename().string() + " (" + renameError.message() + ")");
    temp.keep();

    reporter.stop();
    if (onProgress) onProgress(1.0);
    return output;
}

} // namespace vl
