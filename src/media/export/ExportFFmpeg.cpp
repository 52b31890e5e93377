#include "media/export/ExportFFmpeg.h"

#include "media/export/VideoExporter.h"

#include <new>

namespace vl::exportdetail {

namespace fs = std::filesystem;

using ffmpeg::CodecPtr;
using ffmpeg::FramePtr;
using ffmpeg::InputPtr;
using ffmpeg::PacketPtr;
using ffmpeg::errorText;

void fail(const std::string& detail)
{
    throw ExportError::exportFailed(detail);
}

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

Output::Output(const fs::path& file, ExportContainer container)
{
    const char* format = container == ExportContainer::mov ? "mov" : "mp4";
    AVFormatContext* raw = nullptr;
    if (avformat_alloc_output_context2(&raw, nullptr, format, file.c_str()) < 0 || !raw)
        throw ExportError::sessionSetupFailed();
    ctx_.reset(raw);
}

void Output::write(AVPacket* packet)
{
    const int err = av_interleaved_write_frame(ctx_.get(), packet);
    if (err < 0)
        fail("could not write the movie (" + errorText(err) + ")");
}

AVStream* addStream(Output& out)
{
    AVStream* stream = avformat_new_stream(out.get(), nullptr);
    if (!stream) throw ExportError::trackSetupFailed();
    return stream;
}

} // namespace vl::exportdetail
