#include "media/motion/ClipWriter.h"

#include "media/FFmpegSupport.h"
#include "media/motion/MotionError.h"
#include "media/motion/PictureConverter.h"
#include "model/Files.h"
#include "model/Log.h"

#include <cerrno>
#include <stdexcept>
#include <string>
#include <system_error>

namespace vl {

namespace fs = std::filesystem;

namespace {

using namespace ffmpeg;

// x264's settings for clips. Clips are intermediate files that export reads again,
// so encoding speed matters more than the last percent of file size; CRF 18 keeps
// the picture visually lossless either way. The superfast preset with the slower
// presets' 10-frame lookahead and macroblock tree put back: on painted frames in
// motion it takes about 40 % less encoding time than veryfast for files about 15 %
// larger at the same fidelity (without the lookahead they would be four times as
// large), and the encoder then takes less of the processor from the parallax
// shading that runs beside it. x264 prints a statistics report per clip; the
// journal has no use for it.
constexpr const char* clipPreset = "superfast";
constexpr const char* clipParams = "rc-lookahead=10:mbtree=1:log=-1";
constexpr const char* clipCrf = "18";

// `reason` is the system's own word, which the user sees ("No space left on device").
[[noreturn]] void setupFailed(const std::string& why, std::string reason = {})
{
    logLine("Motion", "video writer setup failed: " + why);
    throw MotionError::writerSetupFailed(std::move(reason));
}

} // namespace

struct ClipWriter::State {
    fs::path output;
    fs::path temp;
    int width = 0;
    int height = 0;
    int rate = 1;
    int threads = 0;
    std::int64_t frames = 0;
    bool finished = false;

    OutputPtr format;
    CodecPtr codec;
    AVStream* stream = nullptr;
    FramePtr frame;
    PacketPtr packet;
    std::unique_ptr<PictureConverter> converter;
    bool converted = false; // a picture waits for encode()

    ~State()
    {
        format.reset(); // closes the movie before its unfinished file goes
        if (!finished && !temp.empty()) {
            std::error_code ignored;
            fs::remove(temp, ignored);
        }
    }

    // Errors once frames are flowing are the writer's own: a disk error keeps its
    // errno (and so its system message), anything else carries FFmpeg's text.
    [[noreturn]] void writeFailed(int error, const char* what) const
    {
        if (error < 0 && error > -4096 && AVERROR(-error) == error)
            throw fs::filesystem_error(what, temp, std::error_code(-error, std::generic_category()));
        throw std::runtime_error(std::string(what) + ": " + errorText(error));
    }

    void drainPackets()
    {
        const int rc = receivePackets(codec.get(), packet.get(), [this](AVPacket* p) {
            if (p->duration == 0)
                p->duration = 1;
            av_packet_rescale_ts(p, codec->time_base, stream->time_base);
            p->stream_index = stream->index;
            const int written = av_interleaved_write_frame(format.get(), p); // takes the packet's reference
            if (written < 0)
                writeFailed(written, "cannot write video file");
            return true;
        });
        if (rc < 0)
            writeFailed(rc, "cannot encode video frame");
    }

    PictureConverter& converterFor(Layout layout)
    {
        if (!converter || converter->layout() != layout)
            converter = std::make_unique<PictureConverter>(width, height, layout, threads);
        return *converter;
    }
};

ClipWriter::ClipWriter(fs::path output, int width, int height, int rate, int threads)
    : state_(std::make_unique<State>())
{
    quietLogs(); // libavcodec reports each x264 encoder it opens
    State& s = *state_;
    s.output = std::move(output);
    s.width = width;
    s.height = height;
    s.rate = rate;
    s.threads = threads;
    if (width < 2 || height < 2 || width % 2 || height % 2 || rate < 1 || threads < 0)
        setupFailed("unsupported size or rate");
    s.temp = files::temporarySibling(s.output);

    const AVCodec* encoder = avcodec_find_encoder_by_name("libx264");
    if (!encoder)
        setupFailed("libx264 is not available");
    AVFormatContext* format = nullptr;
    if (avformat_alloc_output_context2(&format, nullptr, "mov", nullptr) < 0 || !format)
        setupFailed("no QuickTime muxer");
    s.format.reset(format);
    s.stream = avformat_new_stream(format, nullptr);
    s.codec.reset(avcodec_alloc_context3(encoder));
    s.frame.reset(av_frame_alloc());
    s.packet.reset(av_packet_alloc());
    if (!s.stream || !s.codec || !s.frame || !s.packet)
        setupFailed("out of memory");

    s.codec->width = width;
    s.codec->height = height;
    s.codec->pix_fmt = AV_PIX_FMT_YUV420P;
    s.codec->time_base = AVRational{1, rate};
    s.codec->framerate = AVRational{rate, 1};
    s.codec->sample_aspect_ratio = AVRational{1, 1};
    s.codec->thread_count = threads; // x264's frame threads; 0: its own choice
    s.codec->color_range = AVCOL_RANGE_MPEG;
    s.codec->colorspace = AVCOL_SPC_BT709;
    s.codec->color_primaries = AVCOL_PRI_BT709;
    s.codec->color_trc = AVCOL_TRC_BT709;
    if (s.format->oformat->flags & AVFMT_GLOBALHEADER)
        s.codec->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    av_opt_set(s.codec->priv_data, "preset", clipPreset, 0);
    av_opt_set(s.codec->priv_data, "crf", clipCrf, 0);
    av_opt_set(s.codec->priv_data, "x264-params", clipParams, 0);

    int rc = avcodec_open2(s.codec.get(), encoder, nullptr);
    if (rc < 0)
        setupFailed("cannot open the H.264 encoder: " + errorText(rc), errorText(rc));
    if (avcodec_parameters_from_context(s.stream->codecpar, s.codec.get()) < 0)
        setupFailed("cannot describe the video stream");
    s.stream->time_base = s.codec->time_base;
    s.stream->avg_frame_rate = s.codec->framerate;

    rc = avio_open(&s.format->pb, s.temp.c_str(), AVIO_FLAG_WRITE);
    if (rc < 0)
        setupFailed("cannot create " + s.temp.string() + ": " + errorText(rc), errorText(rc));
    rc = avformat_write_header(format, nullptr);
    if (rc < 0)
        setupFailed("cannot start the movie: " + errorText(rc), errorText(rc));

    s.frame->format = AV_PIX_FMT_YUV420P;
    s.frame->width = width;
    s.frame->height = height;
    s.frame->color_range = AVCOL_RANGE_MPEG;
    s.frame->colorspace = AVCOL_SPC_BT709;
    s.frame->color_primaries = AVCOL_PRI_BT709;
    s.frame->color_trc = AVCOL_TRC_BT709;
    if (av_frame_get_buffer(s.frame.get(), 0) < 0)
        setupFailed("out of memory");
}

ClipWriter::~ClipWriter() = default;

void ClipWriter::append(const std::uint8_t* pixels, std::ptrdiff_t bytesPerRow, Layout layout, bool bottomUp)
{
    convert(pixels, bytesPerRow, layout, bottomUp);
    encode();
}

void ClipWriter::convert(const std::uint8_t* pixels, std::ptrdiff_t bytesPerRow, Layout layout, bool bottomUp)
{
    State& s = *state_;
    if (s.finished)
        throw std::logic_error("frame appended to a finished clip");
    // The encoder may still hold the previous frame's planes; this takes fresh ones then.
    if (av_frame_make_writable(s.frame.get()) < 0)
        throw MotionError::pixelBufferFailed();
    s.converterFor(layout).convert(pixels, bytesPerRow, bottomUp, s.frame.get());
    s.converted = true;
}

void ClipWriter::encode()
{
    State& s = *state_;
    if (s.finished || !s.converted)
        throw std::logic_error("no converted frame to encode");
    s.converted = false;
    s.frame->pts = s.frames;
    int rc = avcodec_send_frame(s.codec.get(), s.frame.get());
    if (rc < 0)
        s.writeFailed(rc, "cannot encode video frame");
    ++s.frames;
    s.drainPackets();
}

void ClipWriter::finish()
{
    State& s = *state_;
    if (s.finished)
        return;
    int rc = avcodec_send_frame(s.codec.get(), nullptr);
    if (rc < 0)
        s.writeFailed(rc, "cannot finish the video stream");
    s.drainPackets();
    rc = av_write_trailer(s.format.get());
    if (rc < 0)
        s.writeFailed(rc, "cannot finish the video file");
    rc = avio_closep(&s.format->pb);
    if (rc < 0)
        s.writeFailed(rc, "cannot close the video file");
    std::error_code error;
    fs::rename(s.temp, s.output, error);
    if (error)
        throw fs::filesystem_error("cannot move the clip into place", s.temp, s.output, error);
    s.finished = true;
}

std::int64_t ClipWriter::framesWritten() const { return state_->frames; }

} // namespace vl
