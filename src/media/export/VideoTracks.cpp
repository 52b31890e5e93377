#include "media/export/VideoTracks.h"

#include "media/export/VideoExporter.h"

#include <algorithm>
#include <cstring>
#include <map>
#include <new>

namespace vl::exportdetail {

namespace fs = std::filesystem;

using ffmpeg::CodecPtr;
using ffmpeg::FramePtr;
using ffmpeg::PacketPtr;
using ffmpeg::ScalerPtr;
using ffmpeg::errorText;

namespace {

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

} // namespace

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

namespace {

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
        err = ffmpeg::receivePackets(encoder_.get(), packet_.get(), [this](AVPacket* p) {
            // The encoder does not know how long each frame lasts; we do.
            if (auto it = durations_.find(p->pts); it != durations_.end()) {
                p->duration = it->second;
                durations_.erase(it);
            }
            if (p->dts != AV_NOPTS_VALUE)
                position_ = std::max(position_, microseconds(p->dts, kEncodeTimeBase));
            av_packet_rescale_ts(p, kEncodeTimeBase, stream_->time_base);
            p->stream_index = stream_->index;
            out_.write(p);
            return true;
        });
        if (err < 0)
            fail("could not encode the video (" + errorText(err) + ")");
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

} // namespace

std::unique_ptr<Source> makeCopiedVideo(std::vector<Clip>& clips, Output& out)
{
    return std::make_unique<CopiedVideo>(clips, out);
}

std::unique_ptr<Source> makeEncodedVideo(std::vector<Clip>& clips, Output& out, ExportContainer container)
{
    return std::make_unique<EncodedVideo>(clips, out, container);
}

} // namespace vl::exportdetail
