// Export speed: 45 portrait clips of 4 s at 1080x1920 and a 3-minute song, as MP4
// (stream copy) and MOV (ProRes), against the ffmpeg command line's concat demuxer.
#include "BenchReport.h"
#include "media/export/VideoExporter.h"
#include "model/Files.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

// A command that fails takes no time worth comparing: it ends the benchmark.
void run(const std::string& command)
{
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

template <typename F>
double seconds(F&& f)
{
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

void measure(vl::bench::Report& report)
{
    constexpr int kClips = 45;
    constexpr double kClipSeconds = 4.0;
    const double videoSeconds = kClips * kClipSeconds;

    vl::files::TemporaryDirectory dir("bench-export");
    const fs::path& d = dir.path();

    // Three different pictures, encoded alike (as one renderer would), repeated to 45 clips.
    const char* sources[] = {"testsrc2=", "testsrc=", "gradients=speed=0.05:"};
    std::vector<fs::path> clips;
    for (int i = 0; i < 3; ++i) {
        const fs::path clip = d / ("source" + std::to_string(i) + ".mp4");
        run("ffmpeg -nostdin -v error -y -f lavfi -i " + std::string(sources[i])
            + "size=1080x1920:rate=30 -t 4 -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p '" + clip.string()
            + "'");
    }
    std::ofstream list(d / "list.txt");
    for (int i = 0; i < kClips; ++i) {
        const fs::path clip = d / ("clip" + std::to_string(i) + ".mp4");
        fs::copy_file(d / ("source" + std::to_string(i % 3) + ".mp4"), clip);
        clips.push_back(clip);
        list << "file '" << clip.string() << "'\n";
    }
    list.close();
    const fs::path song = d / "song.mp3";
    run("ffmpeg -nostdin -v error -y -f lavfi -i \"aevalsrc=0.3*sin(2*PI*220*t)|0.3*sin(2*PI*330*t):s=44100:d=180\" "
        "-c:a libmp3lame -b:a 192k '" + song.string() + "'");

    vl::VideoExporter exporter;
    vl::ExportSettings mp4;
    vl::ExportSettings mov;
    mov.container = vl::ExportContainer::mov;

    // Best of two runs each, so both sides read warm files.
    double ours = 1e9;
    double reference = 1e9;
    for (int round = 0; round < 2; ++round) {
        ours = std::min(ours, seconds([&] { exporter.exportVideo(clips, song, mp4, d / "ours.mp4"); }));
        reference = std::min(reference, seconds([&] {
            run("ffmpeg -nostdin -v error -y -f concat -safe 0 -i '" + (d / "list.txt").string() + "' -i '"
                + song.string() + "' -map 0:v -map 1:a -c:v copy -c:a aac -b:a 256k -shortest "
                "-movflags +faststart '" + (d / "reference.mp4").string() + "'");
        }));
    }
    report.figure("mp4_s", ours, "s", 3);
    report.figure("mp4_x_realtime", videoSeconds / ours, "x", 1);
    report.figure("mp4_vs_ffmpeg_concat", ours / reference, "ratio");
    fs::remove(d / "ours.mp4");
    fs::remove(d / "reference.mp4");

    // ProRes 422 HQ encodes far below real time at this size; its rate is taken on the
    // first nine clips (36 s) so the run stays within a few minutes.
    const std::vector<fs::path> movClips(clips.begin(), clips.begin() + 9);
    const double movTime = seconds([&] { exporter.exportVideo(movClips, song, mov, d / "ours.mov"); });
    report.figure("mov_x_realtime", static_cast<double>(movClips.size()) * kClipSeconds / movTime, "x");
}

} // namespace

int main()
{
    vl::bench::Report report("export");
    return report.run([&] { measure(report); });
}
