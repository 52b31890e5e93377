#include "media/motion/PictureConverter.h"

#include "media/FFmpegSupport.h"
#include "media/motion/MotionError.h"

namespace vl {

using namespace ffmpeg;

struct PictureConverter::State {
    int width = 0;
    int height = 0;
    ClipWriter::Layout layout = ClipWriter::Layout::bgr24;
    AVPixelFormat format = AV_PIX_FMT_BGR24;
    ScalerPtr scaler;
    FramePtr source;
};

PictureConverter::PictureConverter(int width, int height, ClipWriter::Layout layout, int threads)
    : state_(std::make_unique<State>())
{
    State& s = *state_;
    s.width = width;
    s.height = height;
    s.layout = layout;
    s.format = layout == ClipWriter::Layout::bgr24 ? AV_PIX_FMT_BGR24 : AV_PIX_FMT_RGBA;
    // Built through options: the threads option only exists that way, and only
    // sws_scale_frame() spreads the work over them (sws_scale() stays on one).
    s.scaler.reset(sws_alloc_context());
    s.source.reset(av_frame_alloc());
    if (!s.scaler || !s.source)
        throw MotionError::pixelBufferFailed();
    SwsContext* c = s.scaler.get();
    av_opt_set_int(c, "srcw", width, 0);
    av_opt_set_int(c, "srch", height, 0);
    av_opt_set_int(c, "src_format", s.format, 0);
    av_opt_set_int(c, "dstw", width, 0);
    av_opt_set_int(c, "dsth", height, 0);
    av_opt_set_int(c, "dst_format", AV_PIX_FMT_YUV420P, 0);
    av_opt_set_int(c, "sws_flags", SWS_BILINEAR | SWS_ACCURATE_RND, 0);
    av_opt_set_int(c, "threads", threads, 0);
    if (sws_init_context(c, nullptr, nullptr) < 0)
        throw MotionError::pixelBufferFailed();
    // Full-range RGB in, BT.709 limited range out, matching the stream's tags.
    const int* bt709 = sws_getCoefficients(SWS_CS_ITU709);
    sws_setColorspaceDetails(c, bt709, 1, bt709, 0, 0, 1 << 16, 1 << 16);
}

PictureConverter::~PictureConverter() = default;

ClipWriter::Layout PictureConverter::layout() const { return state_->layout; }

void PictureConverter::convert(const std::uint8_t* pixels, std::ptrdiff_t bytesPerRow, bool bottomUp, AVFrame* out)
{
    State& s = *state_;
    AVFrame* source = s.source.get();
    // swscale takes a reference to its source; a buffer that only borrows the
    // caller's pixels keeps it from copying them first.
    auto* bytes = const_cast<std::uint8_t*>(pixels);
    source->buf[0] = av_buffer_create(bytes, static_cast<std::size_t>(bytesPerRow) * static_cast<std::size_t>(s.height),
                                      [](void*, std::uint8_t*) {}, nullptr, AV_BUFFER_FLAG_READONLY);
    if (!source->buf[0])
        throw MotionError::pixelBufferFailed();
    source->format = s.format;
    source->width = s.width;
    source->height = s.height;
    // Walking the rows backwards turns a bottom-up picture upright without a copy.
    source->data[0] = bottomUp ? bytes + bytesPerRow * (s.height - 1) : bytes;
    source->linesize[0] = static_cast<int>(bottomUp ? -bytesPerRow : bytesPerRow);
    const int rc = sws_scale_frame(s.scaler.get(), out, source);
    av_frame_unref(source);
    if (rc < 0)
        throw MotionError::pixelBufferFailed();
}

} // namespace vl
