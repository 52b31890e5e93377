#include "pipeline/ClipPlan.h"

#include "model/Files.h"
#include "model/Json.h"
#include "model/Log.h"

#include <algorithm>
#include <cmath>
#include <numeric>
#include <mutex>
#include <random>

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
    std::vector<std::size_t> order(chunks.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return chunks[a].index < chunks[b].index; });
    std::vector<ClipSpan> times;
    times.reserve(chunks.size());
    for (std::size_t i : order)
        times.push_back({chunks[i].start, chunks[i].end});
    const std::vector<ClipSpan> laidOut = clipSpans(times, songSeconds);
    std::vector<ClipSpan> spans(chunks.size());
    for (std::size_t k = 0; k < order.size(); ++k)
        spans[order[k]] = laidOut[k];
    return spans;
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
    if (entry == clips.end() || !entry->is_object())
        return std::nullopt;
    try {
        const json::ObjectReader r(*entry, "clip");
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
        return s;
    } catch (const std::exception&) {
        return std::nullopt; // a damaged entry only means the clip is made again
    }
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
    };
    std::filesystem::create_directories(folder_);
    files::writeAtomically(file(), json::dump(document, 2));
}

} // namespace vl
