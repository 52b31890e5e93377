#pragma once

#include "media/FFmpegSupport.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace vl {

// FFmpeg's AAC encoder runs on one thread and is by far the slowest part of an
// export that copies its video, so the song is cut into segments that are
// encoded side by side and joined again.
//
// Each segment's encoder is started a few frames early and stopped a few frames
// late on the real neighbouring samples. Its window decisions, rate control and
// the overlapping halves of the transform at the joints are then the ones a
// single encoder would have made, and only the packets of the segment's own
// span are kept. AAC frames carry no bit reservoir pointer, so the joined
// packets decode as one stream.
//
// Samples go in on one thread (push, finish); packets come out in order on the
// same thread (takePacket, waitForPacket), timestamped in samples from the first
// one, with the encoder's leading priming packet at -frameSize.
class SegmentedAacEncoder {
public:
    struct Settings {
        int sampleRate = 44100;
        int channels = 2;
        std::int64_t bitRate = 256000;
        bool globalHeader = true;
        int framesPerSegment = 1024; // about 24 s at 44.1 kHz
        int threads = 0;            // 0: one per processor, at most 8
    };

    explicit SegmentedAacEncoder(const Settings& settings);
    ~SegmentedAacEncoder();
    SegmentedAacEncoder(const SegmentedAacEncoder&) = delete;
    SegmentedAacEncoder& operator=(const SegmentedAacEncoder&) = delete;

    // An encoder opened with the shared settings, for the output stream's parameters.
    const AVCodecContext& prototype() const { return *prototype_; }
    int frameSize() const { return frameSize_; }

    // Appends planar float samples, one plane per channel.
    void push(const float* const* planes, int samples);
    // No more samples: the last segment is encoded up to the last sample.
    void finish();

    // Whether pushing more now keeps the samples held by segments bounded (about
    // 9 MB a segment in stereo at 44.1 kHz, one more segment than threads).
    bool canTakeMore() const;

    // Moves the next packet into `out` if its segment is done; false otherwise.
    // Rethrows an encoding failure of that segment.
    bool takePacket(AVPacket* out);
    // Blocks until the next packet is there; false once every packet has been taken.
    bool waitForPacket(AVPacket* out);

private:
    struct Segment {
        std::int64_t inputStart = 0;            // sample index of the buffer's first sample
        std::vector<std::vector<float>> buffer; // one plane per channel
        std::int64_t keepFrom = 0; // packets with pts in [keepFrom, keepUntil) are kept
        std::int64_t keepUntil = 0;
        bool bounded = true; // false for the last segment: everything from keepFrom on
        std::vector<ffmpeg::PacketPtr> packets;
        std::size_t nextPacket = 0;
        bool done = false;
        std::exception_ptr error;
    };

    void submit(std::int64_t inputEnd, bool last);
    void encode(Segment& segment) const;
    ffmpeg::CodecPtr openEncoder() const;
    void work();
    bool popReady(AVPacket* out);

    Settings settings_;
    ffmpeg::CodecPtr prototype_;
    int frameSize_ = 1024;
    // Frames encoded before a segment's span: the encoder's rate control needs
    // about this long (1.5 s) to settle where a single encoder would be.
    int preroll_ = 64;
    // Frames encoded after it: the encoder looks two frames ahead.
    int postroll_ = 3;

    // Producer side, touched only by the pushing thread.
    std::vector<std::vector<float>> pending_; // samples from pendingStart_ on
    std::int64_t pendingStart_ = 0;
    std::int64_t segmentIndex_ = 0;
    bool finished_ = false;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<std::unique_ptr<Segment>> segments_; // in order, until their packets are taken
    std::deque<Segment*> queue_;                    // waiting for a worker
    std::size_t unencoded_ = 0;                     // segments still holding samples
    std::atomic<bool> stopping_{false};
    std::vector<std::jthread> workers_;
};

} // namespace vl
