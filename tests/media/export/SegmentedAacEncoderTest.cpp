#include "media/export/SegmentedAacEncoder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

using namespace vl;
using ffmpeg::CodecPtr;
using ffmpeg::FramePtr;
using ffmpeg::PacketPtr;

namespace {

constexpr int kRate = 44100;
constexpr int kFrame = 1024;
constexpr int kFramesPerSegment = 8; // short segments, so a few seconds cross many joints

using Planes = std::vector<std::vector<float>>;

// Stereo tones with loud bursts that start abruptly: the attacks make the
// encoder switch to short windows, which is where a joint could go wrong.
Planes music(std::int64_t samples)
{
    Planes planes(2, std::vector<float>(static_cast<std::size_t>(samples)));
    for (std::int64_t i = 0; i < samples; ++i) {
        const double t = static_cast<double>(i) / kRate;
        const double burst = (i / 2900) % 4 == 0 ? 0.5 * std::sin(2 * M_PI * 3100 * t) : 0.0;
        const auto k = static_cast<std::size_t>(i);
        planes[0][k] = static_cast<float>(0.25 * std::sin(2 * M_PI * 220 * t) + 0.1 * std::sin(2 * M_PI * 1760 * t)
                                          + burst);
        planes[1][k] = static_cast<float>(0.3 * std::sin(2 * M_PI * 330 * t) + 0.6 * burst);
    }
    return planes;
}

struct Encoded {
    std::vector<PacketPtr> packets;
    std::vector<std::uint8_t> extradata;
};

SegmentedAacEncoder::Settings settings()
{
    SegmentedAacEncoder::Settings s;
    s.sampleRate = kRate;
    s.channels = 2;
    s.bitRate = 256000;
    s.framesPerSegment = kFramesPerSegment;
    s.threads = 3;
    return s;
}

// Pushes in uneven pieces, as decoded song packets arrive, and collects every packet.
Encoded encodeSegmented(const Planes& planes)
{
    SegmentedAacEncoder encoder(settings());
    Encoded result;
    const AVCodecContext& p = encoder.prototype();
    result.extradata.assign(p.extradata, p.extradata + p.extradata_size);
    const auto total = static_cast<std::int64_t>(planes[0].size());
    auto take = [&](bool wait) {
        for (;;) {
            PacketPtr packet(av_packet_alloc());
            if (!(wait ? encoder.waitForPacket(packet.get()) : encoder.takePacket(packet.get()))) return;
            result.packets.push_back(std::move(packet));
        }
    };
    for (std::int64_t at = 0; at < total; at += 777) {
        const int n = static_cast<int>(std::min<std::int64_t>(777, total - at));
        const float* piece[] = {planes[0].data() + at, planes[1].data() + at};
        encoder.push(piece, n);
        take(false);
    }
    encoder.finish();
    take(true);
    return result;
}

// The same samples through one plain encoder: the layout the segments must reproduce.
Encoded encodeWhole(const Planes& planes)
{
    const AVCodec* codec = avcodec_find_encoder(AV_CODEC_ID_AAC);
    CodecPtr encoder(avcodec_alloc_context3(codec));
    encoder->sample_rate = kRate;
    encoder->sample_fmt = AV_SAMPLE_FMT_FLTP;
    av_channel_layout_default(&encoder->ch_layout, 2);
    encoder->time_base = AVRational{1, kRate};
    encoder->bit_rate = 256000;
    encoder->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    EXPECT_EQ(avcodec_open2(encoder.get(), codec, nullptr), 0);
    Encoded result;
    result.extradata.assign(encoder->extradata, encoder->extradata + encoder->extradata_size);
    auto drain = [&] {
        for (;;) {
            PacketPtr packet(av_packet_alloc());
            if (avcodec_receive_packet(encoder.get(), packet.get()) < 0) return;
            result.packets.push_back(std::move(packet));
        }
    };
    const auto total = static_cast<std::int64_t>(planes[0].size());
    for (std::int64_t at = 0; at < total; at += kFrame) {
        FramePtr frame(av_frame_alloc());
        frame->nb_samples = static_cast<int>(std::min<std::int64_t>(kFrame, total - at));
        frame->format = AV_SAMPLE_FMT_FLTP;
        frame->sample_rate = kRate;
        av_channel_layout_default(&frame->ch_layout, 2);
        av_frame_get_buffer(frame.get(), 0);
        for (int c = 0; c < 2; ++c)
            std::copy_n(planes[static_cast<std::size_t>(c)].data() + at, frame->nb_samples,
                        reinterpret_cast<float*>(frame->extended_data[c]));
        frame->pts = at;
        avcodec_send_frame(encoder.get(), frame.get());
        drain();
    }
    avcodec_send_frame(encoder.get(), nullptr);
    drain();
    return result;
}

// Decodes the packets as a player would, dropping the priming frame.
Planes decode(const Encoded& encoded, std::int64_t samples)
{
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_AAC);
    CodecPtr decoder(avcodec_alloc_context3(codec));
    decoder->sample_rate = kRate;
    av_channel_layout_default(&decoder->ch_layout, 2);
    decoder->extradata = static_cast<std::uint8_t*>(
        av_mallocz(encoded.extradata.size() + AV_INPUT_BUFFER_PADDING_SIZE));
    std::copy(encoded.extradata.begin(), encoded.extradata.end(), decoder->extradata);
    decoder->extradata_size = static_cast<int>(encoded.extradata.size());
    EXPECT_EQ(avcodec_open2(decoder.get(), codec, nullptr), 0);
    Planes out(2);
    FramePtr frame(av_frame_alloc());
    for (const PacketPtr& packet : encoded.packets) {
        EXPECT_EQ(avcodec_send_packet(decoder.get(), packet.get()), 0);
        while (avcodec_receive_frame(decoder.get(), frame.get()) == 0) {
            for (int c = 0; c < 2; ++c) {
                const auto* data = reinterpret_cast<const float*>(frame->extended_data[c]);
                out[static_cast<std::size_t>(c)].insert(out[static_cast<std::size_t>(c)].end(), data,
                                                        data + frame->nb_samples);
            }
            av_frame_unref(frame.get());
        }
    }
    for (auto& plane : out) {
        plane.erase(plane.begin(), plane.begin() + std::min<std::ptrdiff_t>(kFrame, std::ssize(plane)));
        if (std::ssize(plane) > samples) plane.resize(static_cast<std::size_t>(samples));
    }
    return out;
}

// Worst signal-to-error ratio, in dB, over any span of one frame around a joint.
double worstJointSnr(const Planes& source, const Planes& decoded)
{
    double worst = 1e9;
    const auto total = static_cast<std::int64_t>(source[0].size());
    for (std::int64_t joint = kFramesPerSegment * kFrame; joint + kFrame < total; joint += kFramesPerSegment * kFrame) {
        double signal = 0, error = 0;
        for (std::size_t c = 0; c < 2; ++c)
            for (std::int64_t i = joint - kFrame; i < joint + kFrame; ++i) {
                const auto k = static_cast<std::size_t>(i);
                signal += double(source[c][k]) * source[c][k];
                error += (double(source[c][k]) - decoded[c][k]) * (double(source[c][k]) - decoded[c][k]);
            }
        worst = std::min(worst, 10 * std::log10(signal / std::max(error, 1e-20)));
    }
    return worst;
}

} // namespace

TEST(SegmentedAacEncoder, PacketsLineUpWithOneEncodersForAnyLength)
{
    const std::int64_t segment = std::int64_t{kFramesPerSegment} * kFrame;
    struct Case {
        const char* name;
        std::int64_t samples;
    } cases[] = {
        {"nothing", 0},
        {"less than a frame", 500},
        {"exactly one segment", segment},
        {"one segment and its trailing frames", segment + 3 * kFrame},
        {"one sample into the second segment", segment + 1},
        {"several segments and a partial frame", 5 * segment + 17},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Planes source = music(c.samples);
        const Encoded split = encodeSegmented(source);
        const Encoded whole = encodeWhole(source);
        EXPECT_EQ(split.extradata, whole.extradata);
        ASSERT_EQ(split.packets.size(), whole.packets.size());
        for (std::size_t i = 0; i < split.packets.size(); ++i) {
            SCOPED_TRACE("packet " + std::to_string(i));
            EXPECT_EQ(split.packets[i]->pts, whole.packets[i]->pts);
            EXPECT_EQ(split.packets[i]->duration, whole.packets[i]->duration);
        }
        if (c.samples > 0) {
            EXPECT_EQ(std::ssize(decode(split, c.samples)[0]), c.samples);
        }
    }
}

TEST(SegmentedAacEncoder, JointsSoundLikeOneEncoder)
{
    const Planes source = music(40 * kFramesPerSegment * kFrame);
    const double split = worstJointSnr(source, decode(encodeSegmented(source), std::ssize(source[0])));
    const double whole = worstJointSnr(source, decode(encodeWhole(source), std::ssize(source[0])));
    // Too short a lead-in or tail leaves joints some 10 dB worse than one encoder.
    EXPECT_GT(split, whole - 1.0) << "segmented " << split << " dB, one encoder " << whole << " dB";
}

TEST(SegmentedAacEncoder, StopsCleanlyWithWorkLeft)
{
    const Planes source = music(30 * kFramesPerSegment * kFrame);
    SegmentedAacEncoder encoder(settings());
    const float* planes[] = {source[0].data(), source[1].data()};
    encoder.push(planes, static_cast<int>(source[0].size()));
    // Destroyed with segments queued and running: must neither hang nor leak threads.
}
