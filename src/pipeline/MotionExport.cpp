#include "pipeline/ProjectStore.h"

#include "media/AudioMetadata.h"
#include "media/export/VideoExporter.h"
#include "media/motion/MotionRenderer.h"
#include "model/Cancellation.h"
#include "model/Log.h"
#include "model/MediaLibrary.h"
#include "model/PipelineError.h"
#include "pipeline/ClipPlan.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace vl {

namespace fs = std::filesystem;

namespace {

using FrameSequence = std::vector<ProjectStore::FrameSequenceEntry>;

struct PlannedClip {
    Uuid chunkID;
    std::optional<Uuid> frameID; // the frame the clip is made from; none for a borrowed picture
    fs::path image;
    fs::path clip;
    ClipMotion motion;
};

// The song's length from the file itself; 0 when there is no song or it cannot be read.
double songSeconds(const std::string& audioPath)
{
    return knownSongSeconds(audioPath, "Motion").value_or(0);
}

// Every clip of the sequence with its move, in order: each as long as its chunk's
// span on screen, rounded on the running total, zoom alternating from clip to clip.
// A clip longer than a renderer makes is refused here, before any is rendered.
std::vector<PlannedClip> planClips(const FrameSequence& sequence, PixelSize size, double song,
                                   const fs::path& clipsFolder, const RandomSource& random)
{
    std::vector<ClipSpan> times;
    times.reserve(sequence.size());
    for (const auto& [chunk, image] : sequence)
        times.push_back({chunk.start, chunk.end});
    const auto frames = sequenceClipFrames(times, song);
    for (std::size_t i = 0; i < sequence.size(); ++i)
        checkClipLength(sequence[i].chunk.chunkNumber, frames[i]);

    std::vector<PlannedClip> planned;
    planned.reserve(sequence.size());
    std::optional<ClipMotion> previous;
    for (std::size_t i = 0; i < sequence.size(); ++i) {
        const auto& [chunk, image] = sequence[i];
        ClipMotion motion = drawClipMotion(size, secondsForFrames(frames[i]), random, previous);
        previous = motion;
        const std::optional<Uuid> frameID = chunk.frame ? std::optional<Uuid>(chunk.frame->id) : std::nullopt;
        planned.push_back({chunk.id, frameID, fs::path(image), clipsFolder / clipFileName(chunk.id), motion});
    }
    return planned;
}

// Notes a finished clip in the manifest; a manifest that cannot be written only
// means the clip is made again next time.
void recordSource(const ClipManifest& manifest, const Uuid& chunkID, const std::optional<ClipSource>& source)
{
    if (!source)
        return;
    try {
        manifest.record(chunkID, *source);
    } catch (const std::exception& e) {
        logLine("Motion", std::string("clip manifest not written: ") + e.what());
    }
}

// File names stop at 255 bytes, and the exporter's temporary sibling adds about 45
// to the final name: a title's base name keeps well below that.
constexpr std::size_t kExportBaseNameBytes = 150;

// Base name of the exported file: "/" becomes "-", then " " becomes "_"; a long
// title is cut after its last whole character that fits.
std::string exportBaseName(const std::string& title)
{
    if (title.empty())
        return "lyric-video";
    std::string base = title;
    for (char& c : base)
        if (c == '/')
            c = '-';
    for (char& c : base)
        if (c == ' ')
            c = '_';
    if (base.size() > kExportBaseNameBytes) {
        std::size_t cut = kExportBaseNameBytes;
        // Back up over continuation bytes to the start of the character that would be
        // split (at most three: no UTF-8 character is longer than four bytes).
        for (int i = 0; i < 3 && (static_cast<unsigned char>(base[cut]) & 0xC0) == 0x80; ++i)
            --cut;
        base.resize(cut);
    }
    return base;
}

} // namespace

fs::path ProjectStore::exportOutputPath() const
{
    const ExportSettings& settings = project_.exportSettings;
    const fs::path folder = settings.destinationFolder.empty() ? projectFolder(project_.id) / "exports"
                                                               : fs::path(settings.destinationFolder);
    return folder / (exportBaseName(project_.title) + "." + std::string(fileExtension(settings.container)));
}

void ProjectStore::setLastExportPath(fs::path path)
{
    lastExportPath_ = std::move(path);
}

// Records a written clip, on the main thread, on the frame it was made from, wherever
// that frame is in its chunk's history now (an undo may have moved it meanwhile). A
// chunk has one clip file: every other frame of the chunk that named it has lost its
// clip, so a frame brought back by undo counts as not rendered rather than showing
// the newer frame's motion. A removed chunk keeps only the file.
static void recordClipPath(ProjectStore& store, const Uuid& projectID, const Uuid& chunkID,
                           const std::optional<Uuid>& frameID, const fs::path& clip)
{
    store.workers().post([&store, projectID, chunkID, frameID, clip] {
        if (store.project().id != projectID)
            return;
        // However it ends, the clips on disk are looked at again once this one is recorded
        // (the song, if it could not be read, is tried again once the run ends).
        struct Recheck {
            ProjectStore& store;
            ~Recheck() { store.recheckClips(); }
        } recheck{store};
        const StoryboardChunk* chunk = store.project().chunk(chunkID);
        if (!chunk)
            return;
        const std::string path = clip.string();
        const auto touched = [&](const GeneratedFrame& f) { return f.id == frameID || f.motionClipPath == path; };
        const bool anyTouched = (chunk->frame && touched(*chunk->frame))
            || std::any_of(chunk->undoStack.begin(), chunk->undoStack.end(), touched)
            || std::any_of(chunk->redoStack.begin(), chunk->redoStack.end(), touched);
        if (!anyTouched)
            return;
        store.editProject([&](Project& p) {
            StoryboardChunk& c = *p.chunk(chunkID);
            const auto record = [&](GeneratedFrame& f) {
                if (f.id == frameID)
                    f.motionClipPath = path;
                else if (f.motionClipPath == path)
                    f.motionClipPath.reset();
            };
            if (c.frame)
                record(*c.frame);
            for (GeneratedFrame& f : c.undoStack)
                record(f);
            for (GeneratedFrame& f : c.redoStack)
                record(f);
        });
    });
}

void ProjectStore::runOnClips(std::string label, Work work)
{
    ++clipRuns_;
    run(std::move(label), Workers::Pool::cpu, std::move(work), {}, [this] {
        // The run read the song itself: one this thread could not read before is tried again.
        if (songUnread_) {
            songUnread_.reset();
            recheckClips();
        }
        if (--clipRuns_ == 0) {
            dropUnusedClips();
            releaseMemoryAfterClipRuns();
        }
    });
}

void ProjectStore::releaseMemoryAfterClipRuns()
{
    // Off the window's thread: trimming walks every arena the render's threads used.
    workers_.start(
        Workers::Pool::quick,
        [release = context_.releaseMemory](std::stop_token) -> ApplyFn {
            if (release)
                release();
            else
                releaseFreedMemory();
            return {};
        },
        [](JobOutcome) {});
}

void ProjectStore::dropUnusedClips()
{
    // A run may be writing a clip, or about to hand one to the exporter: the last run
    // to end looks again.
    if (clipRuns_ > 0)
        return;
    std::set<Uuid> chunkIDs;
    std::set<std::string> recordedNames;
    for (const StoryboardChunk& c : project_.chunks) {
        chunkIDs.insert(c.id);
        const auto note = [&](const GeneratedFrame& f) {
            if (f.motionClipPath)
                recordedNames.insert(fs::path(*f.motionClipPath).filename().string());
        };
        if (c.frame)
            note(*c.frame);
        for (const GeneratedFrame& f : c.undoStack)
            note(f);
        for (const GeneratedFrame& f : c.redoStack)
            note(f);
    }
    // Here, as the leftovers of killed writes are: a listing of one folder, and no run
    // can start or record a clip meanwhile.
    try {
        const fs::path clips = projectFolder(project_.id) / "clips";
        if (const int removed = removeUnusedClips(clips, chunkIDs, recordedNames); removed > 0)
            logLine("Motion", std::to_string(removed) + " clips no chunk uses any more were removed");
    } catch (const std::exception& e) {
        logLine("Motion", std::string("unused clips not removed: ") + e.what());
    }
}

void ProjectStore::renderMotion()
{
    FrameSequence sequence = frameImageSequence();
    const PixelSize size = clipSize(project_.exportSettings.resolution);
    const Uuid projectID = project_.id;
    const fs::path clips = projectFolder(projectID) / "clips";
    const std::string audio = project_.audioPath;
    RandomSource random = context_.random ? context_.random : systemRandomSource();
    std::shared_ptr<MotionRenderer> renderer = services_.motion;

    runOnClips("Rendering motion", [=, this](RunReporter& r) -> ApplyFn {
        if (sequence.empty())
            throw PipelineError(PipelineError::notReviewed);
        if (!renderer)
            throw std::logic_error("No motion renderer is set up.");
        const auto planned = planClips(sequence, size, songSeconds(audio), clips, random);
        const ClipManifest manifest(clips);
        const double n = static_cast<double>(planned.size());
        for (std::size_t i = 0; i < planned.size(); ++i) {
            throwIfCancelled(r.stop());
            const PlannedClip& c = planned[i];
            // Taken before the render: an image replaced meanwhile must not pass for this clip's source.
            const auto source = ClipSource::of(c.image, c.motion);
            const double done = static_cast<double>(i);
            renderer->render(
                c.image, c.motion, c.clip, [&r, done, n](double p) { r.progress((p + done) / n); }, r.stop());
            recordSource(manifest, c.chunkID, source);
            recordClipPath(*this, projectID, c.chunkID, c.frameID, c.clip);
        }
        return [this] { editProject([](Project& p) { p.updatedAt = currentDate(); }); };
    });
}

void ProjectStore::exportVideo(std::function<void(const fs::path&)> onExported)
{
    // One frame anywhere is enough to export; no review state is consulted.
    const bool exportable = !project_.chunks.empty() && project_.framedCount() > 0;
    FrameSequence sequence = exportable ? frameImageSequence() : FrameSequence{};
    const PixelSize size = clipSize(project_.exportSettings.resolution);
    const Uuid projectID = project_.id;
    const fs::path root = projectFolder(projectID);
    const fs::path clips = root / "clips";
    const ExportSettings settings = project_.exportSettings;
    const fs::path output = exportOutputPath();
    const std::string audioPath = project_.audioPath;
    const std::optional<fs::path> audio = audioPath.empty() ? std::nullopt : std::optional<fs::path>(audioPath);
    RandomSource random = context_.random ? context_.random : systemRandomSource();
    std::shared_ptr<MotionRenderer> renderer = services_.motion;
    std::shared_ptr<VideoExporter> exporter = services_.exporter;

    runOnClips("Exporting video", [=, this](RunReporter& r) -> ApplyFn {
        if (sequence.empty())
            throw PipelineError(PipelineError::notReviewed);
        if (!renderer || !exporter)
            throw std::logic_error("No motion renderer or exporter is set up.");
        // Moves are drawn for every clip, reused or not, so the zoom still alternates.
        const auto planned = planClips(sequence, size, songSeconds(audioPath), clips, random);
        const ClipManifest manifest(clips);
        std::vector<fs::path> list;
        list.reserve(planned.size());
        for (const PlannedClip& c : planned) {
            throwIfCancelled(r.stop());
            const auto source = ClipSource::of(c.image, c.motion);
            // A clip is only as good as what it was made from: a frame regenerated,
            // edited or imported since, another size or another length makes it again.
            if (vl::clipIsCurrent(c.clip, source, manifest.source(c.chunkID))) {
                list.push_back(c.clip);
                continue;
            }
            renderer->render(c.image, c.motion, c.clip, {}, r.stop());
            recordSource(manifest, c.chunkID, source);
            recordClipPath(*this, projectID, c.chunkID, c.frameID, c.clip);
            list.push_back(c.clip);
        }
        fs::path written;
        try {
            written = exporter->exportVideo(list, audio, settings, output, r.stop(),
                                            [&r](double fraction) { r.progress(fraction); });
        } catch (const VideoExporter::ExportError&) {
            throwIfCancelled(r.stop()); // a stop is no failure to report
            throw;
        }
        return [this, written, onExported] {
            editProject([](Project& p) { p.updatedAt = currentDate(); });
            setLastExportPath(written);
            if (onExported)
                onExported(written);
        };
    });
}

// ---- Which recorded clips are current --------------------------------------------

ProjectStore::ExpectedClips ProjectStore::expectedClips(const std::vector<StoryboardChunk>& chunks, PixelSize size,
                                                        double songSeconds, const fs::path& clipsFolder)
{
    ExpectedClips expected;
    const auto claims = [](const StoryboardChunk& c) { return c.frame && c.frame->motionClipPath; };
    if (std::none_of(chunks.begin(), chunks.end(), claims))
        return expected;
    // Frames as the motion step and the export count them. A frameless chunk's clip is
    // shown nowhere, so only framed chunks are asked about.
    const std::vector<std::int64_t> frames = clipFramesOf(chunks, songSeconds);
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        const StoryboardChunk& c = chunks[i];
        if (!claims(c))
            continue;
        const std::string clip = (clipsFolder / clipFileName(c.id)).string();
        // A recorded path other than the chunk's clip file is no clip the export would use.
        if (*c.frame->motionClipPath != clip)
            continue;
        expected.emplace(c.id, ExpectedClip{clip, c.frame->localPath, size, frames[i]});
    }
    return expected;
}

std::optional<double> ProjectStore::songLengthNow() const
{
    if (project_.audioPath.empty())
        return 0.0;
    if (songLength_ && songLength_->first == project_.audioPath)
        return songLength_->second;
    if (songUnread_ == project_.audioPath)
        return 0.0; // unknown for now; read again at the next look at the clips
    return std::nullopt;
}

double ProjectStore::songLength() const
{
    return songLengthNow().value_or(0);
}

void ProjectStore::readSongLength()
{
    const std::string audio = project_.audioPath;
    if (songLengthNow() || songReading_ == audio)
        return;
    songReading_ = audio;
    workers_.start(
        Workers::Pool::quick,
        [this, audio](std::stop_token) -> ApplyFn {
            const double seconds = songSeconds(audio);
            return [this, audio, seconds] {
                // Only a length that was read is kept: a song on a drive not mounted
                // yet is read again later, not taken as unknown for the whole session.
                if (seconds > 0) {
                    songLength_ = {audio, seconds};
                    if (songUnread_ == audio)
                        songUnread_.reset();
                } else {
                    songUnread_ = audio;
                }
            };
        },
        [this, audio](JobOutcome outcome) {
            if (songReading_ == audio)
                songReading_.reset();
            if (outcome.apply)
                outcome.apply();
            else
                songUnread_ = audio;
            if (audio == project_.audioPath) {
                emit songLengthChanged();
                updateCurrentClips();
            }
        });
}

std::optional<ProjectStore::ExpectedClips> ProjectStore::expectedClipsNow() const
{
    const bool anyClaim = std::any_of(project_.chunks.begin(), project_.chunks.end(),
                                      [](const StoryboardChunk& c) { return c.frame && c.frame->motionClipPath; });
    if (!anyClaim)
        return ExpectedClips{};
    const std::optional<double> song = songLengthNow();
    if (!song)
        return std::nullopt; // read on the next check
    return expectedClips(project_.chunks, clipSize(project_.exportSettings.resolution), *song,
                         projectFolder(project_.id) / "clips");
}

void ProjectStore::updateCurrentClips()
{
    // The screens lay the video out with the song's length too, clips or not.
    if (!songLengthNow())
        readSongLength();
    const std::optional<ExpectedClips> expected = expectedClipsNow();
    // Without the song's length the check waits for its reading, which comes back here.
    if (expected && expected != clipsAsked_)
        recheckClips();
    std::set<Uuid> current;
    if (expected && confirmedProject_ == project_.id) {
        for (const auto& [id, clip] : *expected) {
            const auto confirmed = confirmedClips_.find(id);
            if (confirmed != confirmedClips_.end() && confirmed->second == clip)
                current.insert(id);
        }
    }
    if (current != currentClips_) {
        currentClips_ = std::move(current);
        emit currentClipsChanged();
    }
}

void ProjectStore::recheckClips()
{
    if (clipCheckRunning_)
        clipCheckAgain_ = true; // one more once this one is done, with the project as it is then
    else
        startClipCheck();
}

void ProjectStore::startClipCheck()
{
    clipCheckRunning_ = true;
    clipCheckAgain_ = false;
    clipsAsked_ = expectedClipsNow();
    const Uuid projectID = project_.id;
    if (!clipsAsked_) {
        // The song's length is not known yet; its reading asks for the check again.
        clipCheckRunning_ = false;
        readSongLength();
        return;
    }
    if (clipsAsked_->empty()) {
        // No frame names its chunk's clip: nothing to read.
        clipCheckRunning_ = false;
        confirmedClips_.clear();
        confirmedProject_ = projectID;
        return;
    }
    const fs::path clips = projectFolder(projectID) / "clips";
    workers_.start(
        Workers::Pool::quick,
        [this, projectID, clips, expected = *clipsAsked_](std::stop_token stop) -> ApplyFn {
            ExpectedClips confirmed;
            const std::map<Uuid, ClipSource> recorded = ClipManifest(clips).sources();
            for (const auto& [id, clip] : expected) {
                throwIfCancelled(stop);
                const auto entry = recorded.find(id);
                if (entry == recorded.end())
                    continue;
                const auto now = ClipSource::of(clip.imagePath, clipTiming(clip.size, clip.frames));
                if (vl::clipIsCurrent(clip.clip, now, entry->second))
                    confirmed.emplace(id, clip);
            }
            return [this, projectID, confirmed = std::move(confirmed)]() mutable {
                if (project_.id != projectID)
                    return;
                confirmedClips_ = std::move(confirmed);
                confirmedProject_ = projectID;
            };
        },
        [this](JobOutcome outcome) {
            clipCheckRunning_ = false;
            if (outcome.apply)
                outcome.apply(); // a failed check confirms nothing; its inputs stay asked, so it is not repeated
            if (clipCheckAgain_)
                startClipCheck();
            updateCurrentClips();
        });
}

} // namespace vl
