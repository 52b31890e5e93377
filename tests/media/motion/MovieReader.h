#pragma once

// Reads a movie back with FFmpeg so tests check what a player would see.

#include "media/FFmpegSupport.h"

extern "C" {
#include <libavutil/pixdesc.h>
}

#include <opencv2/core.hpp>

#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

namespace vl::test {

struct Movie {
    std::string container;
    std::string codec;
    std::string pixelFormat;
    int width = 0;
    int height = 0;
    int streams = 0;
    double durationSeconds = 0;      // of the container
    std::vector<double> frameTimes;  // presentation times in seconds, in display order
    std::vector<cv::Mat> frames;     // BGR, when decoded
};

inline Movie readMovie(const std::filesystem::path& path, bool decodeFrames = true)
{
    Movie movie;
    AVFormatContext* raw = nullptr;
    if (avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0)
        throw std::runtime_error("cannot open " + path.string());
    const ffmpeg::InputPtr format(raw);
    avformat_find_stream_info(format.get(), nullptr);
    movie.container = format->iformat->name;
    movie.streams = static_cast<int>(format->nb_streams);
    movie.durationSeconds = format->duration / static_cast<double>(AV_TIME_BASE);
    const int index = av_find_best_stream(format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (index < 0)
        throw std::runtime_error("no video stream");
    AVStream* stream = format->streams[index];
    const AVCodec* decoder = avcodec_find_decoder(stream->codecpar->codec_id);
    const ffmpeg::CodecPtr codec(avcodec_alloc_context3(decoder));
    avcodec_parameters_to_context(codec.get(), stream->codecpar);
    avcodec_open2(codec.get(), decoder, nullptr);
    movie.codec = decoder->name;
    movie.width = codec->width;
    movie.height = codec->height;
    movie.pixelFormat = av_get_pix_fmt_name(codec->pix_fmt) ? av_get_pix_fmt_name(codec->pix_fmt) : "";

    const ffmpeg::PacketPtr packet(av_packet_alloc());
    const ffmpeg::FramePtr frame(av_frame_alloc());
    ffmpeg::ScalerPtr scaler;
    const auto take = [&] {
        while (avcodec_receive_frame(codec.get(), frame.get()) == 0) {
            movie.frameTimes.push_back(frame->best_effort_timestamp * av_q2d(stream->time_base));
            if (decodeFrames) {
                // The cached context is handed back, or freed when a new one replaces it.
                scaler.reset(sws_getCachedContext(scaler.release(), frame->width, frame->height,
                                                  static_cast<AVPixelFormat>(frame->format), frame->width,
                                                  frame->height, AV_PIX_FMT_BGR24, SWS_BILINEAR | SWS_ACCURATE_RND,
                                                  nullptr, nullptr, nullptr));
                const int* coefficients = sws_getCoefficients(
                    frame->colorspace == AVCOL_SPC_BT709 ? SWS_CS_ITU709 : SWS_CS_DEFAULT);
                sws_setColorspaceDetails(scaler.get(), coefficients, frame->color_range == AVCOL_RANGE_JPEG,
                                         coefficients, 1, 0, 1 << 16, 1 << 16);
                cv::Mat bgr(frame->height, frame->width, CV_8UC3);
                uint8_t* planes[1] = {bgr.data};
                int strides[1] = {static_cast<int>(bgr.step)};
                sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, planes, strides);
                movie.frames.push_back(bgr);
            }
            av_frame_unref(frame.get());
        }
    };
    while (av_read_frame(format.get(), packet.get()) >= 0) {
        if (packet->stream_index == index)
            avcodec_send_packet(codec.get(), packet.get());
        av_packet_unref(packet.get());
        take();
    }
    avcodec_send_packet(codec.get(), nullptr);
    take();
    return movie;
}

} // namespace vl::test
