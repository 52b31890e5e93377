#include "media/export/SegmentedAacEncoder.h"

#include "media/export/VideoExporter.h"

#include <algorithm>
#include <limits>
#include <stdexcept>

namespace vl {

using ffmpeg::CodecPtr;
using ffmpeg::FramePtr;
using ffmpeg::PacketPtr;
using ffmpeg::errorText;

namespace {

[[noreturn]] void failEncoding(int err)
{
    throw ExportError::exportFailed("could not encode the audio (" + errorText(err) + ")");
}

} // namespace

SegmentedAacEncoder::SegmentedAacEncoder(const Settings& settings) : settings_(settings)
{
    ffmpeg::quietLogs();
    settings_.framesPerSegment = std::max(1, settings_.framesPerSegment);
    prototype_ = openEncoder();
    frameSize_ = prototype_->frame_size > 0 ? prototype_->frame_size : 1024;
    pending_.resize(static_cast<std::size_t>(settings_.channels));

    int threads = settings_.threads;
    if (threads <= 0) threads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    for (int i = 0; i < threads; ++i)
        workers_.emplace_back([this] { work(); });
}

SegmentedAacEncoder::~SegmentedAacEncoder()
{
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    workers_.clear(); // joins
}

CodecPtr SegmentedAacEncoder::openEncoder() const
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    if (!codec) throw ExportError::sessionSetupFailed();
    CodecPtr encoder(avcodec_alloc_context3(codec));
    if (!encoder) throw std::bad_alloc();
    encoder->sample_rate = settings_.sampleRate;
    encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&encoder->ch_layout, settings_.channels);
    encoder->time_base = AVRational{1, settings_.sampleRate};
    encoder->bit_rate = settings_.bitRate;
    if (settings_.globalHeader) encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (avcodec_open2(encoder.get(), codec, nullptr) < 0) throw ExportError::sessionSetupFailed();
    return encoder;
}

void SegmentedAacEncoder::push(const float* const* planes, int samples)
{
    if (samples <= 0) return;
    for (std::size_t c = 0; c < pending_.size(); ++c)
        pending_[c].insert(pending_[c].end(), planes[c], planes[c] + samples);

    const std::int64_t span = std::int64_t{settings_.framesPerSegment} * frameSize_;
    for (;;) {
        const std::int64_t inputEnd = (segmentIndex_ + 1) * span + std::int64_t{postroll_} * frameSize_;
        if (pendingStart_ + static_cast<std::int64_t>(pending_.front().size()) < inputEnd) break;
        submit(inputEnd, false);
    }
}

void SegmentedAacEncoder::finish()
{
    if (finished_) return;
    const std::int64_t span = std::int64_t{settings_.framesPerSegment} * frameSize_;
    const std::int64_t total = pendingStart_ + static_cast<std::int64_t>(pending_.front().size());
    if (total > segmentIndex_ * span) submit(total, true);
    finished_ = true;
    pending_.assign(pending_.size(), {});
}

void SegmentedAacEncoder::submit(std::int64_t inputEnd, bool last)
{
    const std::int64_t span = std::int64_t{settings_.framesPerSegment} * frameSize_;
    const std::int64_t roll = std::int64_t{preroll_} * frameSize_;

    auto segment = std::make_unique<Segment>();
    segment->keepFrom = segmentIndex_ == 0 ? std::numeric_limits<std::int64_t>::min() : segmentIndex_ * span;
    segment->keepUntil = (segmentIndex_ + 1) * span;
    segment->bounded = !last;
    segment->inputStart = std::max<std::int64_t>(0, segmentIndex_ * span - roll);
    const auto from = static_cast<std::ptrdiff_t>(segment->inputStart - pendingStart_);
    const auto to = static_cast<std::ptrdiff_t>(inputEnd - pendingStart_);
    for (const auto& plane : pending_)
        segment->buffer.emplace_back(plane.begin() + from, plane.begin() + to);

    ++segmentIndex_;
    // What the next segment starts from, its lead-in included.
    const std::int64_t nextStart = std::max<std::int64_t>(0, segmentIndex_ * span - roll);
    const auto drop = static_cast<std::ptrdiff_t>(std::min(nextStart, inputEnd) - pendingStart_);
    for (auto& plane : pending_)
        plane.erase(plane.begin(), plane.begin() + drop);
    pendingStart_ += drop;

    {
        std::lock_guard lock(mutex_);
        queue_.push_back(segment.get());
        segments_.push_back(std::move(segment));
        ++unencoded_;
    }
    changed_.notify_all();
}

void SegmentedAacEncoder::work()
{
    for (;;) {
        Segment* segment = nullptr;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
            if (stopping_) return;
            segment = queue_.front();
            queue_.pop_front();
        }
        std::exception_ptr error;
        try {
            encode(*segment);
        } catch (...) {
            error = std::current_exception();
        }
        {
            std::lock_guard lock(mutex_);
            segment->error = error;
            segment->done = true;
            segment->buffer = {};
            --unencoded_;
        }
        changed_.notify_all();
    }
}

void SegmentedAacEncoder::encode(Segment& segment) const
{
    CodecPtr encoder = openEncoder();
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    if (!packet || !frame) throw std::bad_alloc();

    const auto length = static_cast<std::int64_t>(segment.buffer.front().size());
    bool complete = false;
    // Returns once the packets of the segment's span are all out.
    auto drain = [&] {
        const int err = ffmpeg::receivePackets(encoder.get(), packet.get(), [&](AVPacket* p) {
            if (segment.bounded && p->pts >= segment.keepUntil) {
                complete = true;
                av_packet_unref(p);
                return false;
            }
            if (p->pts >= segment.keepFrom) {
                PacketPtr kept(av_packet_alloc());
                if (!kept) throw std::bad_alloc();
                av_packet_move_ref(kept.get(), p);
                segment.packets.push_back(std::move(kept));
            } else {
                av_packet_unref(p);
            }
            return true;
        });
        if (err < 0) failEncoding(err);
    };

    for (std::int64_t offset = 0; offset < length && !complete; offset += frameSize_) {
        if (stopping_) return;
        const int n = static_cast<int>(std::min<std::int64_t>(frameSize_, length - offset));
        frame->nb_samples = n;
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = settings_.sampleRate;
        av_channel_layout_default(&frame->ch_layout, settings_.channels);
        if (av_frame_get_buffer(frame.get(), 0) < 0) throw std::bad_alloc();
        for (int c = 0; c < settings_.channels; ++c)
            std::copy_n(segment.buffer[static_cast<std::size_t>(c)].data() + offset, n,
                        reinterpret_cast<float*>(frame->extended_data[c]));
        frame->pts = segment.inputStart + offset;
        const int err = avcodec_send_frame(encoder.get(), frame.get());
        av_frame_unref(frame.get());
        if (err < 0) failEncoding(err);
        drain();
    }
    if (complete) return;
    // Only the last segment runs out of samples before its span is out; the
    // others carry enough trailing frames.
    if (segment.bounded) throw std::logic_error("audio segment ended before its span was encoded");
    const int err = avcodec_send_frame(encoder.get(), nullptr);
    if (err < 0 && err != AVERROR_EOF) failEncoding(err);
    drain();
}

bool SegmentedAacEncoder::canTakeMore() const
{
    std::lock_guard lock(mutex_);
    // Encoded segments hold only their packets; the others hold their samples.
    return unencoded_ <= workers_.size();
}

// Called with the mutex held.
bool SegmentedAacEncoder::popReady(AVPacket* out)
{
    while (!segments_.empty()) {
        Segment& front = *segments_.front();
        if (!front.done) return false;
        if (front.error) std::rethrow_exception(front.error);
        if (front.nextPacket < front.packets.size()) {
            av_packet_move_ref(out, front.packets[front.nextPacket++].get());
            return true;
        }
        segments_.pop_front();
    }
    return false;
}

bool SegmentedAacEncoder::takePacket(AVPacket* out)
{
    std::unique_lock lock(mutex_);
    return popReady(out);
}

bool SegmentedAacEncoder::waitForPacket(AVPacket* out)
{
    std::unique_lock lock(mutex_);
    for (;;) {
        if (popReady(out)) return true;
        if (segments_.empty()) {
            if (!finished_) throw std::logic_error("waiting for audio that was never pushed");
            return false;
        }
        changed_.wait(lock);
    }
}

} // namespace vl
