#include "pipeline/ClipPlan.h"

#include "model/Files.h"
#include "model/Json.h"
#include "model/Log.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <mutex>
#include <random>

namespace fs = std::filesystem;

namespace vl {

namespace {

double uniform(const RandomSource& random, double low, double high)
{
    // A scripted source may hand back anything; keep the draw inside its range.
    double u = random();
    if (!(u >= 0))
        u = 0;
    if (u > 1)
        u = 1;
    return low + u * (high - low);
}

bool coin(const RandomSource& random) { return uniform(random, 0, 1) < 0.5; }

// One lock for every manifest: the motion step and an export may both be
// recording clips of the same project at once.
std::mutex& manifestMutex()
{
    static std::mutex mutex;
    return mutex;
}

// Chunks by index, ties in list order: how the motion step and the export lay them out.
std::vector<std::size_t> layoutOrder(const std::vector<StoryboardChunk>& chunks)
{
    std::vector<std::size_t> order(chunks.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return chunks[a].index < chunks[b].index; });
    return order;
}

std::vector<ClipSpan> timesInOrder(const std::vector<StoryboardChunk>& chunks, const std::vector<std::size_t>& order)
{
    std::vector<ClipSpan> times;
    times.reserve(order.size());
    for (std::size_t i : order)
        times.push_back({chunks[i].start, chunks[i].end});
    return times;
}

// Values worked out in layout order, put back in the list's own order.
template <typename T>
std::vector<T> inListOrder(const std::vector<std::size_t>& order, const std::vector<T>& laidOut)
{
    std::vector<T> values(order.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        values[order[k]] = laidOut[k];
    return values;
}

// One manifest entry; nothing for a damaged one, so that clip is simply made again.
std::optional<ClipSource> entrySource(const json::Json& entry)
{
    if (!entry.is_object())
        return std::nullopt;
    try {
        const json::ObjectReader r(entry, "clip");
        ClipSource s;
        s.imagePath = r.string("imagePath");
        const std::int64_t bytes = r.integer("imageBytes");
        if (bytes < 0)
            return std::nullopt;
        s.imageBytes = static_cast<std::uintmax_t>(bytes);
        s.imageModified = r.integer("imageModified");
        s.width = r.integer("width");
        s.height = r.integer("height");
        s.frames = r.integer("frames");
        // Older entries have no rate; 0 never matches a clip's, so such a clip is made again.
        s.fps = r.integerOr("fps", 0);
        return s;
    } catch (const std::exception&) {
        return std::nullopt;
    }
}

json::Json readManifest(const std::filesystem::path& file)
{
    std::error_code ec;
    if (!std::filesystem::exists(file, ec))
        return json::Json::object();
    try {
        json::Json document = json::parse(files::readAll(file));
        if (document.is_object() && document.contains("clips") && document["clips"].is_object())
            return document;
    } catch (const std::exception& e) {
        logLine("Motion", std::string("clip manifest unreadable, clips will be made again: ") + e.what());
    }
    return json::Json::object();
}

constexpr std::string_view kClipExtension = ".mov";

// The chunk a file name belongs to when it is exactly a name clipFileName gives.
std::optional<Uuid> clipChunkID(std::string_view name)
{
    if (!name.ends_with(kClipExtension))
        return std::nullopt;
    const std::string_view stem = name.substr(0, name.size() - kClipExtension.size());
    const auto id = Uuid::parse(stem);
    if (!id || id->text() != stem)
        return std::nullopt; // another spelling of an id is no name of ours
    return id;
}

} // namespace

RandomSource systemRandomSource()
{
    return [] {
        thread_local std::mt19937_64 engine{std::random_device{}()};
        return std::uniform_real_distribution<double>(0.0, 1.0)(engine);
    };
}

std::vector<ClipSpan> clipSpans(const std::vector<ClipSpan>& chunkTimes, double songSeconds)
{
    const bool songKnown = std::isfinite(songSeconds) && songSeconds > 0;
    std::vector<ClipSpan> spans;
    spans.reserve(chunkTimes.size());
    double cursor = 0;
    for (std::size_t i = 0; i < chunkTimes.size(); ++i) {
        double boundary = i + 1 < chunkTimes.size() ? chunkTimes[i + 1].start : chunkTimes[i].end;
        if (std::isnan(boundary))
            boundary = cursor;
        boundary = songKnown ? std::min(boundary, songSeconds)
                             : std::min(boundary, cursor + kMaxClipSecondsUnknownSong);
        const double end = std::max(boundary, cursor + kMinClipSeconds);
        spans.push_back({cursor, end});
        cursor = end;
    }
    return spans;
}

std::vector<ClipSpan> clipSpansOf(const std::vector<StoryboardChunk>& chunks, double songSeconds)
{
    const std::vector<std::size_t> order = layoutOrder(chunks);
    return inListOrder(order, clipSpans(timesInOrder(chunks, order), songSeconds));
}

std::vector<std::int64_t> clipFrameCounts(const std::vector<double>& seconds, std::int64_t fps)
{
    std::vector<std::int64_t> frames;
    frames.reserve(seconds.size());
    double total = 0;
    std::int64_t framesSoFar = 0;
    for (double s : seconds) {
        total += s;
        const std::int64_t end = std::llround(total * static_cast<double>(fps));
        frames.push_back(std::max<std::int64_t>(end - framesSoFar, 1));
        framesSoFar += frames.back();
    }
    return frames;
}

std::vector<std::int64_t> sequenceClipFrames(const std::vector<ClipSpan>& chunkTimes, double songSeconds)
{
    std::vector<double> seconds;
    seconds.reserve(chunkTimes.size());
    for (const ClipSpan& span : clipSpans(chunkTimes, songSeconds))
        seconds.push_back(span.seconds());
    return clipFrameCounts(seconds);
}

std::vector<std::int64_t> clipFramesOf(const std::vector<StoryboardChunk>& chunks, double songSeconds)
{
    const std::vector<std::size_t> order = layoutOrder(chunks);
    return inListOrder(order, sequenceClipFrames(timesInOrder(chunks, order), songSeconds));
}

std::vector<ClipSpan> videoPlacesOf(const std::vector<StoryboardChunk>& chunks, double songSeconds)
{
    const std::vector<std::size_t> order = layoutOrder(chunks);
    const auto frames = sequenceClipFrames(timesInOrder(chunks, order), songSeconds);
    std::vector<ClipSpan> places;
    places.reserve(frames.size());
    const auto seconds = [](std::int64_t f) { return static_cast<double>(f) / static_cast<double>(kClipFps); };
    std::int64_t before = 0;
    for (std::int64_t f : frames) {
        places.push_back({seconds(before), seconds(before + f)});
        before += f;
    }
    return inListOrder(order, places);
}

double videoSecondsOf(const std::vector<StoryboardChunk>& chunks, double songSeconds)
{
    double end = 0;
    for (const ClipSpan& place : videoPlacesOf(chunks, songSeconds))
        end = std::max(end, place.end);
    return end;
}

void checkClipLength(std::int64_t chunkNumber, std::int64_t frames)
{
    if (frames <= maxClipFrames(kClipFps))
        return;
    const auto minutes = [](double s) { return std::to_string(static_cast<long long>(std::ceil(s / 60))); };
    throw ClipTooLongError("Chunk " + std::to_string(chunkNumber) + " would stay on screen for "
                           + minutes(static_cast<double>(frames) / kClipFps) + " minutes, and one clip can last at most "
                           + minutes(kMaxClipSeconds) + " minutes.");
}

double secondsForFrames(std::int64_t frames, std::int64_t fps)
{
    // Renderers truncate seconds x rate; a hair over the exact value keeps the
    // product from landing just below a whole frame.
    return (static_cast<double>(frames) + 1e-6) / static_cast<double>(fps);
}

ClipMotion drawClipMotion(PixelSize size, double durationSeconds, const RandomSource& random,
                          const std::optional<ClipMotion>& previous)
{
    ClipMotion m;
    m.width = size.width;
    m.height = size.height;
    m.fps = kClipFps;
    m.durationSeconds = durationSeconds;
    const double a = uniform(random, 0.12, 0.26);
    const double b = uniform(random, 0.04, 0.12);
    const double sx = coin(random) ? 1.0 : -1.0;
    const double sy = coin(random) ? 1.0 : -1.0;
    m.offsetStart = {-a * sx, -b * sy};
    m.offsetEnd = {a * sx, b * sy};
    m.parallaxHeight = uniform(random, 0.22, 0.34);
    m.steady = uniform(random, 0.25, 0.40);
    const double z = uniform(random, 1.0, 1.03);
    const double d = uniform(random, 0.05, 0.10);
    // Consecutive clips alternate between pushing in and pulling out.
    const bool zoomIn = previous ? !(previous->zoomEnd > previous->zoomStart) : coin(random);
    m.zoomStart = zoomIn ? z : z + d;
    m.zoomEnd = zoomIn ? z + d : z;
    return m;
}

ClipMotion clipTiming(PixelSize size, std::int64_t frames)
{
    ClipMotion m;
    m.width = size.width;
    m.height = size.height;
    m.fps = kClipFps;
    m.durationSeconds = secondsForFrames(frames);
    return m;
}

std::optional<ClipSource> ClipSource::of(const std::filesystem::path& image, const ClipMotion& motion)
{
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(image, ec);
    if (ec)
        return std::nullopt;
    const auto modified = std::filesystem::last_write_time(image, ec);
    if (ec)
        return std::nullopt;
    ClipSource source;
    source.imagePath = image.string();
    source.imageBytes = bytes;
    source.imageModified = static_cast<std::int64_t>(modified.time_since_epoch().count());
    source.width = motion.width;
    source.height = motion.height;
    source.frames = frameCount(motion);
    source.fps = effectiveRate(motion);
    return source;
}

ClipManifest::ClipManifest(std::filesystem::path clipsFolder)
    : folder_(std::move(clipsFolder))
{
}

std::optional<ClipSource> ClipManifest::source(const Uuid& chunkID) const
{
    std::lock_guard lock(manifestMutex());
    const json::Json document = readManifest(file());
    if (!document.contains("clips"))
        return std::nullopt;
    const auto& clips = document["clips"];
    const auto entry = clips.find(chunkID.text());
    if (entry == clips.end())
        return std::nullopt;
    return entrySource(*entry);
}

void ClipManifest::forgetUnless(const std::function<bool(const Uuid&)>& keep) const
{
    std::lock_guard lock(manifestMutex());
    json::Json document = readManifest(file());
    if (!document.contains("clips"))
        return;
    json::Json& clips = document["clips"];
    bool changed = false;
    for (auto entry = clips.begin(); entry != clips.end();) {
        const auto id = Uuid::parse(entry.key());
        if (id && !keep(*id)) {
            entry = clips.erase(entry);
            changed = true;
        } else {
            ++entry;
        }
    }
    if (changed)
        files::writeAtomically(file(), json::dump(document, 2));
}

std::map<Uuid, ClipSource> ClipManifest::sources() const
{
    std::map<Uuid, ClipSource> all;
    std::lock_guard lock(manifestMutex());
    const json::Json document = readManifest(file());
    if (!document.contains("clips"))
        return all;
    for (const auto& [key, entry] : document["clips"].items()) {
        const auto id = Uuid::parse(key);
        if (!id)
            continue;
        if (auto s = entrySource(entry))
            all.emplace(*id, std::move(*s));
    }
    return all;
}

void ClipManifest::record(const Uuid& chunkID, const ClipSource& source) const
{
    std::lock_guard lock(manifestMutex());
    json::Json document = readManifest(file());
    if (!document.contains("clips"))
        document["clips"] = json::Json::object();
    document["clips"][chunkID.text()] = {
        {"imagePath", source.imagePath},
        {"imageBytes", static_cast<std::int64_t>(source.imageBytes)},
        {"imageModified", source.imageModified},
        {"width", source.width},
        {"height", source.height},
        {"frames", source.frames},
        {"fps", source.fps},
    };
    std::filesystem::create_directories(folder_);
    files::writeAtomically(file(), json::dump(document, 2));
}

bool clipIsCurrent(const std::filesystem::path& clip, const std::optional<ClipSource>& now,
                   const std::optional<ClipSource>& recorded)
{
    if (!now || recorded != now)
        return false;
    // An empty file is no clip, whatever the manifest says.
    std::error_code ec;
    const auto bytes = std::filesystem::file_size(clip, ec);
    return !ec && bytes > 0;
}

std::string clipFileName(const Uuid& chunkID)
{
    return chunkID.text() + std::string(kClipExtension);
}

int removeUnusedClips(const fs::path& clipsFolder, const std::set<Uuid>& chunkIDs,
                      const std::set<std::string>& recordedNames)
{
    const int removed = files::removePlainFilesIf(clipsFolder, [&](const fs::path& path) {
        const std::string name = path.filename().string();
        const auto id = clipChunkID(name);
        return id && chunkIDs.count(*id) == 0 && recordedNames.count(name) == 0;
    });
    // Entries of clips that are gone, unless their chunk is still there to make them again.
    ClipManifest(clipsFolder).forgetUnless([&](const Uuid& id) {
        std::error_code statusError;
        return chunkIDs.count(id) > 0 || fs::exists(fs::symlink_status(clipsFolder / clipFileName(id), statusError));
    });
    return removed;
}

} // namespace vl
