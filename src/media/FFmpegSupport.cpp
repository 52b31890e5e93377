#include "media/FFmpegSupport.h"

#include <mutex>

namespace vl::ffmpeg {

std::string errorText(int code)
{
    char buffer[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, buffer, sizeof buffer);
    return buffer;
}

std::string fileUrl(const std::filesystem::path& file)
{
    return "file:" + std::filesystem::absolute(file).string();
}

InputPtr openInput(const std::filesystem::path& file, int& error)
{
    quietLogs();
    std::error_code ec;
    if (!std::filesystem::is_regular_file(file, ec)) {
        // Directories, devices and pipes are never songs; a FIFO would block the open.
        error = AVERROR(ENOENT);
        return nullptr;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    AVFormatContext* raw = nullptr;
    error = avformat_open_input(&raw, fileUrl(file).c_str(), nullptr, &options);
    av_dict_free(&options);
    if (error < 0)
        return nullptr;
    InputPtr input(raw);
    error = avformat_find_stream_info(input.get(), nullptr);
    if (error < 0)
        return nullptr;
    return input;
}

int firstAudioStream(const AVFormatContext& input)
{
    for (unsigned i = 0; i < input.nb_streams; ++i)
        if (input.streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            return static_cast<int>(i);
    return -1;
}

void quietLogs()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_ERROR); });
}

} // namespace vl::ffmpeg
