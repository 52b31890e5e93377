#include "media/export/SongAudio.h"

#include "media/export/SegmentedAacEncoder.h"
#include "media/export/VideoExporter.h"

#include <algorithm>
#include <new>

namespace vl::exportdetail {

namespace fs = std::filesystem;

using ffmpeg::CodecPtr;
using ffmpeg::FifoPtr;
using ffmpeg::FramePtr;
using ffmpeg::InputPtr;
using ffmpeg::PacketPtr;
using ffmpeg::ResamplerPtr;
using ffmpeg::errorText;

namespace {

bool supportsRate(const AVCodec* codec, int rate)
{
    if (!codec->supported_samplerates) return true;
    for (const int* r = codec->supported_samplerates; *r; ++r)
        if (*r == rate) return true;
    return false;
}

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
        err = ffmpeg::receivePackets(encoder_.get(), packet_.get(), [this](AVPacket* p) {
            av_packet_rescale_ts(p, encoder_->time_base, stream_->time_base);
            p->stream_index = stream_->index;
            out_.write(p);
            return true;
        });
        if (err < 0)
            fail("could not encode the audio (" + errorText(err) + ")");
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

} // namespace

std::unique_ptr<Source> makeSongAudio(InputPtr input, AVStream* source, const fs::path& file, Output& out,
                                      ExportContainer container, std::int64_t videoUs)
{
    auto sound = std::make_unique<SongAudio>(std::move(input), source, file, out, container, videoUs);
    if (!sound->hasTrack()) return nullptr;
    return sound;
}

} // namespace vl::exportdetail
