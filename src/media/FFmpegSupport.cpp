#include "media/FFmpegSupport.h"

#include "media/SongFileCheck.h"
#include "model/Log.h"

#include <mutex>
#include <optional>

namespace vl::ffmpeg {

namespace {

// The probe's deadline on this thread, if one is running. The file's I/O layer keeps
// its own copy of the interrupt callback for the life of the input, so the callback
// reads the deadline from here rather than from anything the probe owns.
thread_local std::optional<std::chrono::steady_clock::time_point> probeDeadline;

int pastProbeDeadline(void*)
{
    return probeDeadline && std::chrono::steady_clock::now() > *probeDeadline ? 1 : 0;
}

struct ProbeDeadline {
    ProbeDeadline() { probeDeadline = std::chrono::steady_clock::now() + kProbeTimeLimit; }
    ~ProbeDeadline() { probeDeadline.reset(); }
};

} // namespace

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
    const SongFileCheck check = checkSongFile(file);
    if (check.refused) {
        logLine("Media", "Not reading \u201c" + file.filename().string() + "\u201d: " + check.note + ".");
        error = AVERROR_INVALIDDATA;
        return nullptr;
    }
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set_int(&options, "probesize", kProbeBytes, 0);
    av_dict_set_int(&options, "analyzeduration", kProbeDuration, 0);
    if (check.skipTagBytes > 0) {
        if (!check.note.empty())
            logLine("Media", "Skipping the tag of \u201c" + file.filename().string() + "\u201d: " + check.note + ".");
        // FFmpeg would read every frame of the tag whole; nothing here needs its texts.
        av_dict_set_int(&options, "skip_initial_bytes", static_cast<std::int64_t>(check.skipTagBytes), 0);
    }
    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) {
        av_dict_free(&options);
        error = AVERROR(ENOMEM);
        return nullptr;
    }
    raw->interrupt_callback = {pastProbeDeadline, nullptr};
    const ProbeDeadline deadline;
    error = avformat_open_input(&raw, fileUrl(file).c_str(), nullptr, &options); // frees `raw` on failure
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
