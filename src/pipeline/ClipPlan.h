#pragma once

// How the motion step and the export decide each clip: its camera move, its
// length in frames, and whether a clip already on disk still fits.

#include "media/motion/ClipMotion.h"
#include "model/ProjectSettings.h"
#include "model/Storyboard.h"
#include "model/Uuid.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

namespace vl {

// Uniform values in [0, 1]; every range and coin of a clip's move is drawn from it.
using RandomSource = std::function<double()>;

// The system's generator, one per thread, seeded from the device.
RandomSource systemRandomSource();

inline constexpr std::int64_t kClipFps = 30;
// The shortest clip, whatever the chunk's timing says.
inline constexpr double kMinClipSeconds = 0.5;
// The longest clip when the song's own length is unknown: no lyric passage runs
// this long, and an end time typed wrong in a plan must not become hours of video.
inline constexpr double kMaxClipSecondsUnknownSong = 180;

// Where one chunk's picture is on screen in the video, in seconds from its start.
struct ClipSpan {
    double start = 0;
    double end = 0;

    double seconds() const { return end - start; }
    friend bool operator==(const ClipSpan&, const ClipSpan&) = default;
};

// The chunks' spans on screen, for chunks given as their own (start, end) in the
// order their clips are laid end to end. Each clip runs until the next chunk starts
// (the first from 0, so it covers the intro too; the last until its own end), so
// every picture appears when its passage does: a pause between chunks stays on the
// earlier picture and an overlap is cut. No span is shorter than half a second; a
// span pushed on by that gives the time back from the next one. Boundaries stop at
// the song's end; with the song's length unknown (`songSeconds` 0 or less, or not
// finite), no span is longer than kMaxClipSecondsUnknownSong. A time that is no
// number counts as "no later than the span's start".
std::vector<ClipSpan> clipSpans(const std::vector<ClipSpan>& chunkTimes, double songSeconds);

// The same for a project's chunks, laid out by index (ties in list order) as the
// motion step and the export lay them; the spans come back in the list's own order.
std::vector<ClipSpan> clipSpansOf(const std::vector<StoryboardChunk>& chunks, double songSeconds);

// Whole frames per clip, rounded on the running total of the clip lengths so the
// clips laid end to end stay within half a frame of where the song is.
std::vector<std::int64_t> clipFrameCounts(const std::vector<double>& seconds, std::int64_t fps = kClipFps);

// Each clip's frames for chunks given as their own (start, end) in layout order: its
// span on screen (clipSpans), rounded on the running total (clipFrameCounts).
std::vector<std::int64_t> sequenceClipFrames(const std::vector<ClipSpan>& chunkTimes, double songSeconds);

// The same for a project's chunks laid out by index (ties in list order), answered in
// the list's own order.
std::vector<std::int64_t> clipFramesOf(const std::vector<StoryboardChunk>& chunks, double songSeconds);

// Where each chunk's clip sits in the finished video, for a project's chunks laid out
// by index (ties in list order), answered in the list's own order: the clips' whole
// frames (clipFramesOf) laid end to end, exactly as the export writes them.
std::vector<ClipSpan> videoPlacesOf(const std::vector<StoryboardChunk>& chunks, double songSeconds);

// The finished video's length for a project's chunks: the one answer the screens and
// the export share. `songSeconds` is the song's known length (0 when unknown).
double videoSecondsOf(const std::vector<StoryboardChunk>& chunks, double songSeconds);

// A clip longer than a renderer makes (kMaxClipSeconds); what() names the chunk.
class ClipTooLongError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Throws ClipTooLongError when the clip of chunk number `chunkNumber`, `frames` long,
// is longer than a renderer makes.
void checkClipLength(std::int64_t chunkNumber, std::int64_t frames);

// A clip length in seconds that the renderers turn into exactly `frames` frames.
double secondsForFrames(std::int64_t frames, std::int64_t fps = kClipFps);

// Draws one clip's move: pan amplitudes, their signs, parallax, steadiness, base
// zoom and step, then (for the first clip only) the zoom direction; later clips
// zoom the opposite way from `previous`.
ClipMotion drawClipMotion(PixelSize size, double durationSeconds, const RandomSource& random,
                          const std::optional<ClipMotion>& previous);

// A clip's size, rate and length with no move drawn: enough to say what it is made from.
ClipMotion clipTiming(PixelSize size, std::int64_t frames);

// What a clip on disk was made from. A clip is reused only when the frame image
// (path, byte size, modification time), the size, the frame count and the rate all
// match, so a new, edited or imported frame, a changed resolution or changed timing
// renders the clip again. (The move is drawn afresh for every clip and is no input.)
struct ClipSource {
    std::string imagePath;
    std::uintmax_t imageBytes = 0;
    std::int64_t imageModified = 0; // file time ticks
    std::int64_t width = 0;
    std::int64_t height = 0;
    std::int64_t frames = 0;
    std::int64_t fps = 0;

    // The source as the image stands now; nothing when the image cannot be read.
    static std::optional<ClipSource> of(const std::filesystem::path& image, const ClipMotion& motion);

    friend bool operator==(const ClipSource&, const ClipSource&) = default;
};

// "manifest.json" in a project's clips folder: what each clip was made from, by
// chunk id. Reads and writes are serialised across threads; a missing or
// unreadable manifest reads as empty, so its clips are simply made again.
class ClipManifest {
public:
    explicit ClipManifest(std::filesystem::path clipsFolder);

    std::optional<ClipSource> source(const Uuid& chunkID) const;
    // Drops the entries of the chunks `keep` says no to (one read and, when something
    // went, one atomic write).
    void forgetUnless(const std::function<bool(const Uuid&)>& keep) const;
    // Every readable entry, from one read of the file.
    std::map<Uuid, ClipSource> sources() const;
    // Records the source of a clip just written (read, change, atomic write).
    void record(const Uuid& chunkID, const ClipSource& source) const;

    std::filesystem::path file() const { return folder_ / "manifest.json"; }

private:
    std::filesystem::path folder_;
};

// The one rule for whether the clip file at `clip` can stand for a clip made from
// `now` (the source as it stands, nothing when its picture cannot be read): the
// file is there and holds something, and `recorded` (its manifest entry) is `now`.
// The export reuses exactly such clips, and the screens count and play only them.
bool clipIsCurrent(const std::filesystem::path& clip, const std::optional<ClipSource>& now,
                   const std::optional<ClipSource>& recorded);

// The file name the motion step and the export give a chunk's clip.
std::string clipFileName(const Uuid& chunkID);

// Removes from a project's clips folder the clips nothing uses any more, and their
// manifest entries. A file goes only when all of these hold: it is a plain file (no
// link, no folder) named exactly as a clip is named (clipFileName), its chunk is not
// in `chunkIDs`, and no recorded clip path has its name (`recordedNames`). Nothing
// else in the folder is touched. Call it only while no run writes clips. Returns how
// many files went.
int removeUnusedClips(const std::filesystem::path& clipsFolder, const std::set<Uuid>& chunkIDs,
                      const std::set<std::string>& recordedNames);

} // namespace vl
