// Saving and loading a large project document against bare nlohmann-json work on
// the same bytes: prints save/load times and the two ratios.
#include "BenchReport.h"
#include "model/Files.h"
#include "model/MediaLibrary.h"
#include "model/ProjectJson.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <vector>

using namespace vl;

namespace {

GeneratedFrame frame(int chunk, int version)
{
    GeneratedFrame f;
    f.localPath = "/home/user/.local/share/Verseloom/projects/frames/chunk-" + std::to_string(chunk) + "_v"
                  + std::to_string(version) + ".png";
    f.remoteURL = "https://v3.fal.media/files/example/" + Uuid::random().text() + ".png";
    f.prompt = "Hand-painted marker lettering of the line on a rain-soaked harbour wall, chunk "
               + std::to_string(chunk) + ", vivid analog palette, expressive strokes";
    if (version % 2 == 1) f.editRequest = "make the letters brighter";
    f.motionClipPath = "/clips/" + std::to_string(chunk) + ".mp4";
    f.review = ReviewChecklist{true, true, version % 2 == 0, true, false};
    return f;
}

Project benchProject()
{
    Project p;
    p.title = "Benchmark Song";
    p.artist = "Bench";
    p.rawLyrics = std::string(4000, 'l');
    for (int i = 0; i < 500; ++i) {
        TranscriptSegment s;
        s.text = "lyric line number " + std::to_string(i);
        s.start = i * 2.0;
        s.end = i * 2.0 + 1.75;
        p.transcript.push_back(s);

        StoryboardChunk c;
        c.index = i;
        c.chunkNumber = i + 1;
        c.start = s.start;
        c.end = s.end;
        c.lyricExcerpt = s.text;
        c.renderedText = "LYRIC LINE " + std::to_string(i);
        c.surface = "a neon sign";
        c.elementIdsUsed = {"pier", "boat"};
        c.imagePrompt = "An image prompt for chunk " + std::to_string(i);
        c.videoPrompt = "slow drift";
        for (int v = 0; v < 4; ++v) c.setFrame(frame(i, v)); // a frame and three on the undo stack
        p.chunks.push_back(std::move(c));
    }
    return p;
}

double millis(const std::function<void()>& work, int runs)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        times.push_back(std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    return bench::medianOf(std::move(times));
}

} // namespace

int main()
{
    bench::Report report("model");
    return report.run([&] {
        files::TemporaryDirectory temp("bench-model");
        MemorySettings settings;
        const ProjectLibrary library(temp.path() / "projects", settings);
        const Project project = benchProject();
        library.save(project);
        const std::string bytes = files::readAll(library.library(project.id).projectFile());
        const json::Json document = toJson(project);
        // A load that finds nothing would time an early return.
        const auto loaded = library.loadLastProject();
        if (!loaded || loaded->chunks.size() != project.chunks.size())
            throw std::runtime_error("the saved project did not load back");

        constexpr int runs = 31;
        std::size_t sink = 0;
        const double saveMs = millis([&] { library.save(project); }, runs);
        const double dumpMs = millis([&] { sink += document.dump(2).size(); }, runs);
        const double loadMs = millis([&] { sink += library.loadLastProject()->chunks.size(); }, runs);
        const double parseMs = millis([&] { sink += nlohmann::json::parse(bytes).size(); }, runs);

        report.figure("save_ms", saveMs, "ms");
        report.figure("load_ms", loadMs, "ms");
        report.figure("load_vs_parse", loadMs / parseMs, "ratio");
        report.figure("save_vs_dump", saveMs / dumpMs, "ratio");
        std::fprintf(stderr, "(document %zu bytes, parse %.2f ms, dump %.2f ms, %zu)\n", bytes.size(), parseMs, dumpMs,
                     sink);
    });
}
