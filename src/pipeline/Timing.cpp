#include "pipeline/ProjectStore.h"

#include "cloud/FalEndpoints.h"
#include "media/AudioMetadata.h"
#include "media/AudioTools.h"
#include "media/transcription/FalTranscript.h"
#include "media/transcription/Transcriber.h"
#include "media/transcription/TranscriptionError.h"
#include "model/Cancellation.h"
#include "model/Files.h"
#include "model/Log.h"
#include "model/PipelineError.h"
#include "model/Text.h"
#include "pipeline/LocalFilePath.h"

#include <algorithm>

namespace vl {

namespace {

constexpr const char* kLogTag = "Transcription";

std::string joinLines(const std::vector<TranscriptSegment>& segments)
{
    std::string joined;
    for (const auto& segment : segments) {
        if (!joined.empty())
            joined += '\n';
        joined += segment.text;
    }
    return joined;
}

} // namespace

// ---- Audio import ---------------------------------------------------------------

void ProjectStore::importAudio(const std::filesystem::path& file)
{
    setLastError(std::nullopt);
    const long long importID = ++latestImport_;
    const Uuid projectID = project_.id;
    workers_.start(
        Workers::Pool::quick,
        [this, file](std::stop_token) -> ApplyFn {
            AudioMetadata tags;
            try {
                tags = AudioMetadata::load(file);
            } catch (const std::exception&) {
                tags = {};
            }
            // No sound that can be read (not audio, empty, a folder, a header that
            // claims what the file does not hold): say so now and keep the project,
            // rather than time and export a song that is not there.
            if (!(tags.duration > 0))
                return [this] { setLastError(std::string(PipelineError::message(PipelineError::unreadableSong))); };
            return [this, file, tags = std::move(tags)] {
                editProject([&](Project& p) {
                    p.audioPath = file.string();
                    if (tags.title)
                        p.title = *tags.title;
                    if (tags.artist)
                        p.artist = *tags.artist;
                    // Timing and chunks belonged to the previous song.
                    p.transcript.clear();
                    p.chunks.clear();
                    if (tags.lyrics && !text::trimWhitespaceAndNewlines(*tags.lyrics).empty()) {
                        p.rawLyrics = *tags.lyrics;
                        p.lyricsSource = LyricsSource::embeddedUnverified;
                    } else {
                        p.rawLyrics.clear();
                        p.lyricsSource.reset();
                    }
                    p.updatedAt = currentDate();
                });
                if (tags.lyricsCut && tags.lyrics)
                    setLastError(std::string(PipelineError::message(PipelineError::lyricsCutFromSong)));
                startTiming(file);
            };
        },
        [this, importID, projectID](JobOutcome outcome) {
            // Tag reads finish in any order: only the import chosen last counts, and
            // only in the project it was chosen for.
            if (importID != latestImport_ || project_.id != projectID || !outcome.apply)
                return;
            outcome.apply();
        });
}

// ---- The automatic timing run -------------------------------------------------------

void ProjectStore::startTiming(const std::filesystem::path& file)
{
    if (timingStop_)
        timingStop_->request_stop();
    clearTimingQueueText();
    const long long run = ++timingRun_;
    setTimingInProgress(true);
    const Uuid projectID = project_.id;
    const std::string audioPath = file.string();

    timingStop_ = workers_.start(
        Workers::Pool::network,
        [this, file, run](std::stop_token stop) -> ApplyFn {
            TranscriptionResult result = transcribeForTiming(file, stop, [this, run](std::optional<long long> position) {
                workers_.post([this, run, position] { showTimingQueuePosition(run, position); });
            });
            auto segments = AudioTools::segments(result.segments);
            if (segments.empty())
                return {};
            return [this, segments = std::move(segments), label = std::move(result.engineLabel)] {
                editProject([&](Project& p) {
                    p.transcript = segments;
                    p.transcriptionEngine = label.empty() ? std::nullopt : std::optional<std::string>(label);
                    // Lyrics of only blanks are still the user's lyrics.
                    if (p.rawLyrics.empty()) {
                        p.rawLyrics = joinLines(segments);
                        p.lyricsSource = LyricsSource::transcribed;
                    }
                    p.updatedAt = currentDate();
                });
            };
        },
        [this, run, projectID, audioPath](JobOutcome outcome) {
            // A superseded run neither writes nor ends the newer run's "in progress".
            if (run != timingRun_)
                return;
            const bool cancelled = timingStop_ && timingStop_->stop_requested();
            if (!outcome.error && outcome.apply && !cancelled && project_.id == projectID
                && project_.audioPath == audioPath)
                outcome.apply();
            clearTimingQueueText();
            setTimingInProgress(false);
        });
}

void ProjectStore::showTimingQueuePosition(long long run, std::optional<long long> position)
{
    if (run != timingRun_ || !position || *position <= 0)
        return;
    // A run of the wrapper owns the label while it lasts; the queue text of the
    // background run only fills an otherwise empty one.
    if (!runs_.empty())
        return;
    timingQueueText_ = "In queue (position " + std::to_string(*position) + ")";
    setRunningTask(timingQueueText_);
}

void ProjectStore::clearTimingQueueText()
{
    if (timingQueueText_ && runs_.empty() && runningTask_ == timingQueueText_)
        setRunningTask(std::nullopt);
    timingQueueText_.reset();
}

TranscriptionResult ProjectStore::transcribeForTiming(
    const std::filesystem::path& file, std::stop_token stop,
    const std::function<void(std::optional<long long>)>& onQueuePosition) const
{
    // The vendor gets a small speech-grade copy; if that cannot be made, the song itself.
    std::filesystem::path sent = file;
    try {
        sent = AudioTools::compressForTranscription(file, stop);
    } catch (const Cancelled&) {
        throw;
    } catch (const std::exception&) {
    }

    std::optional<TranscriptionResult> cloud;
    try {
        throwIfCancelled(stop);
        std::string bytes;
        try {
            bytes = files::readAll(sent);
        } catch (const std::exception&) {
            throw TranscriptionError::failed("Could not read the audio file.");
        }
        throwIfCancelled(stop);
        const std::string address = makeFalClient().upload(bytes, "song.m4a", "audio/mp4", stop);
        bytes.clear();
        throwIfCancelled(stop);
        const json::Json answer = makeFalClient().runTranscriptionWorkflow(
            services_.config.transcriptionWorkflow, address,
            [&](const FalClient::StatusUpdate& update) {
                if (onQueuePosition)
                    onQueuePosition(update.queuePosition);
            },
            stop);
        throwIfCancelled(stop);
        cloud = parseFalTranscript(answer);
        if (!cloud)
            logLine(kLogTag, "fal returned an unparseable response; falling back to the local engine.");
    } catch (const Cancelled&) {
        removeTranscriptionCopy(sent, file);
        throw;
    } catch (const std::exception& e) {
        removeTranscriptionCopy(sent, file);
        // A request that failed because the run was stopped ends the run quietly;
        // a stopped run never starts the local engine.
        throwIfCancelled(stop);
        logLine(kLogTag, std::string("fal transcription failed (") + e.what() + "); falling back to the local engine.");
    }
    removeTranscriptionCopy(sent, file);

    if (cloud)
        return {std::move(cloud->text), std::move(cloud->segments), std::string(kFalWebDomain)};

    throwIfCancelled(stop);
    const auto& engine = services_.transcriber;
    if (!engine || !engine->isAvailable())
        throw TranscriptionError::noEngineAvailable();
    TranscriptionResult local = engine->transcribe(file, {}, stop);
    throwIfCancelled(stop);
    // The name after the run: a fallback inside the engine changes it.
    local.engineLabel = engine->name();
    return local;
}

void ProjectStore::removeTranscriptionCopy(const std::filesystem::path& copy, const std::filesystem::path& source)
{
    if (copy == source)
        return;
    std::error_code ignored;
    std::filesystem::remove(copy, ignored);
}

// ---- Even alignment ------------------------------------------------------------------

void ProjectStore::alignTiming()
{
    alignTiming({});
}

void ProjectStore::alignTiming(std::function<void()> done)
{
    const std::string audioPath = project_.audioPath;
    const std::string lyrics = project_.rawLyrics;
    const bool hasTranscript = !project_.transcript.empty();
    run(
        "Aligning timing", Workers::Pool::quick,
        [this, audioPath, lyrics, hasTranscript](RunReporter& reporter) -> ApplyFn {
            if (audioPath.empty())
                throw PipelineError(PipelineError::missingAudio);
            if (hasTranscript)
                return {}; // an existing transcript is never replaced here
            const auto lines = text::lyricLines(lyrics);
            const bool anyWords = std::any_of(lines.begin(), lines.end(), [](const std::string& line) {
                return !text::trimSpaceSeparatorsAndTab(line).empty();
            });
            if (!anyWords)
                throw PipelineError(PipelineError::emptyLyrics);
            throwIfCancelled(reporter.stop());
            double duration = 0;
            try {
                duration = audioDuration(audioPath);
            } catch (const std::exception&) {
            }
            auto segments = AudioTools::evenlyTimedSegments(lines, {}, duration);
            return [this, segments = std::move(segments)] {
                editProject([&](Project& p) {
                    p.transcript = segments;
                    p.updatedAt = currentDate();
                });
            };
        },
        // Lines of lyrics that were replaced meanwhile, or of another song, are stale.
        [this, audioPath, lyrics] { return project_.audioPath == audioPath && project_.rawLyrics == lyrics; },
        std::move(done));
}

// ---- Operations on ids and files as text ------------------------------------------------

void ProjectStore::importAudioFile(const QString& pathOrURL)
{
    if (!pathOrURL.isEmpty())
        importAudio(localFilePath(pathOrURL));
}

} // namespace vl
