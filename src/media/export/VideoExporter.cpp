#include "media/export/VideoExporter.h"

#include "media/export/ExportFFmpeg.h"
#include "media/export/SongAudio.h"
#include "media/export/VideoTracks.h"
#include "model/Files.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace vl {

namespace fs = std::filesystem;

// ---------------------------------------------------------------- ExportError

VideoExporter::ExportError::ExportError(Case c, std::string detail, const std::string& message)
    : std::runtime_error(message), case_(c), detail_(std::move(detail))
{
}

VideoExporter::ExportError VideoExporter::ExportError::exportFailed(std::string detail)
{
    const std::string message = "Export failed: " + detail;
    return ExportError(Case::exportFailed, std::move(detail), message);
}

VideoExporter::ExportError VideoExporter::ExportError::noClips()
{
    return ExportError(Case::noClips, {}, "There are no rendered clips to export.");
}

VideoExporter::ExportError VideoExporter::ExportError::trackSetupFailed()
{
    return ExportError(Case::trackSetupFailed, {}, "Could not assemble the video tracks.");
}

VideoExporter::ExportError VideoExporter::ExportError::sessionSetupFailed()
{
    return ExportError(Case::sessionSetupFailed, {}, "Could not create the export session.");
}

// ---------------------------------------------------------------- the export

using namespace exportdetail;
using ffmpeg::InputPtr;
using ffmpeg::errorText;

namespace {

void stopIfRequested(const std::stop_token& stop)
{
    if (stop.stop_requested())
        throw ExportError::exportFailed("cancelled");
}

// Removes the partly written movie unless it was renamed into place.
class TemporaryOutput {
public:
    explicit TemporaryOutput(fs::path path) : path_(std::move(path)) {}
    ~TemporaryOutput()
    {
        if (!kept_) {
            std::error_code ignored;
            fs::remove(path_, ignored);
        }
    }
    TemporaryOutput(const TemporaryOutput&) = delete;
    TemporaryOutput& operator=(const TemporaryOutput&) = delete;

    const fs::path& path() const { return path_; }
    void keep() { kept_ = true; }

private:
    fs::path path_;
    bool kept_ = false;
};

// Calls back with the current fraction at once and then every 0.2 s until stopped.
class ProgressReporter {
public:
    ProgressReporter(const VideoExporter::ProgressCallback& callback, const std::atomic<double>& fraction)
    {
        if (!callback) return;
        thread_ = std::jthread([&callback, &fraction](std::stop_token stop) {
            std::mutex mutex;
            std::condition_variable_any wake;
            while (!stop.stop_requested()) {
                callback(fraction.load());
                std::unique_lock lock(mutex);
                wake.wait_for(lock, stop, std::chrono::milliseconds(200), [] { return false; });
            }
        });
    }
    void stop()
    {
        if (thread_.joinable()) {
            thread_.request_stop();
            thread_.join();
        }
    }

private:
    std::jthread thread_;
};

} // namespace

fs::path VideoExporter::exportVideo(const std::vector<fs::path>& clipFiles, const std::optional<fs::path>& audio,
                                    const ExportSettings& settings, const fs::path& output, std::stop_token stop,
                                    const ProgressCallback& onProgress) const
{
    if (clipFiles.empty()) throw ExportError::noClips();

    std::vector<Clip> clips;
    std::int64_t videoUs = 0;
    for (const fs::path& file : clipFiles) {
        stopIfRequested(stop);
        if (auto clip = openClip(file)) {
            videoUs += microseconds(clip->duration, clip->video->time_base);
            clips.push_back(std::move(*clip));
        }
    }
    // Nothing but audio-only files would otherwise give a movie without a picture.
    if (clips.empty()) throw ExportError::noClips();

    InputPtr song;
    AVStream* songStream = nullptr;
    std::error_code ignored;
    if (audio && settings.includeOriginalAudio && fs::exists(*audio, ignored)) {
        song = openInput(*audio, "audio file");
        for (unsigned i = 0; i < song->nb_streams && !songStream; ++i)
            if (song->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) songStream = song->streams[i];
        if (!songStream) song.reset(); // no sound in it: the movie is silent
    }

    const fs::path folder = output.parent_path();
    if (!folder.empty()) fs::create_directories(folder);
    stopIfRequested(stop);

    // Built beside the destination so the final rename stays within one file system.
    TemporaryOutput temp(files::temporarySibling(output, ".part"));
    Output out(temp.path(), settings.container);

    std::unique_ptr<Source> video;
    if (canCopy(clips, settings.container))
        video = makeCopiedVideo(clips, out);
    else
        video = makeEncodedVideo(clips, out, settings.container);

    std::unique_ptr<Source> sound;
    if (song) sound = makeSongAudio(std::move(song), songStream, *audio, out, settings.container, videoUs);

    int err = avio_open(&out.get()->pb, temp.path().c_str(), AVIO_FLAG_WRITE);
    if (err < 0) fail("could not write to " + folder.string() + " (" + errorText(err) + ")");
    AVDictionary* options = nullptr;
    av_dict_set(&options, "movflags", "+faststart", 0);
    err = avformat_write_header(out.get(), &options);
    av_dict_free(&options);
    if (err < 0) fail("could not start the movie (" + errorText(err) + ")");

    std::atomic<double> fraction{0.0};
    ProgressReporter reporter(onProgress, fraction);
    const double total = static_cast<double>(std::max<std::int64_t>(videoUs, 1));

    while (!video->done() || (sound && !sound->done())) {
        stopIfRequested(stop);
        const bool takeVideo = !video->done() && (!sound || sound->done() || video->positionUs() <= sound->positionUs());
        (takeVideo ? *video : *sound).step();
        std::int64_t position = video->done() ? videoUs : video->positionUs();
        if (sound && !sound->done()) position = std::min(position, sound->positionUs());
        fraction.store(std::clamp(static_cast<double>(position) / total, 0.0, 1.0));
    }
    stopIfRequested(stop);

    err = av_write_trailer(out.get());
    if (err < 0) fail("could not finish the movie (" + errorText(err) + ")");
    err = avio_closep(&out.get()->pb);
    if (err < 0) fail("could not finish the movie (" + errorText(err) + ")");

    std::error_code renameError;
    fs::rename(temp.path(), output, renameError);
    if (renameError) fail("could not replace " + output.filename().string() + " (" + renameError.message() + ")");
    temp.keep();

    reporter.stop();
    if (onProgress) onProgress(1.0);
    return output;
}

} // namespace vl
