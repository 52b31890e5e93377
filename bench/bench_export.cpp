// Export speed: 45 portrait clips of 4 s at 1080x1920 and a 3-minute song, as MP4
// (stream copy) and MOV (ProRes), against the ffmpeg command line's concat demuxer.
#include "media/export/VideoExporter.h"
#include "model/Files.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

namespace {

bool run(const std::string& command)
{
    if (std::system(command.c_str()) != 0) {
        std::fprintf(stderr, "bench_export: failed: %s\n", command.c_str());
        return false;
    }
    return true;
}

template <typename F>
double seconds(F&& f)
{
    const auto start = Clock::now();
    f();
    return std::chrono::duration<double>(Clock::now() - start).count();
}

} // namespace

int main()
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
        if (!run("ffmpeg -nostdin -v error -y -f lavfi -i " + std::string(sources[i])
                 + "size=1080x1920:rate=30 -t 4 -c:v libx264 -preset veryfast -crf 18 -pix_fmt yuv420p '"
                 + clip.string() + "'"))
            return 1;
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
    if (!run("ffmpeg -nostdin -v error -y -f lavfi -i \"aevalsrc=0.3*sin(2*PI*220*t)|0.3*sin(2*PI*330*t):s=44100:d=180\" "
             "-c:a libmp3lame -b:a 192k '" + song.string() + "'"))
        return 1;

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
    std::printf("BENCH export.mp4_s %.3f s\n", ours);
    std::printf("BENCH export.mp4_x_realtime %.1f x\n", videoSeconds / ours);
    std::printf("BENCH export.mp4_vs_ffmpeg_concat %.2f ratio\n", ours / reference);
    std::fflush(stdout);
    fs::remove(d / "ours.mp4");
    fs::remove(d / "reference.mp4");

    // ProRes 422 HQ encodes far below real time at this size; its rate is taken on the
    // first nine clips (36 s) so the run stays within a few minutes.
    const std::vector<fs::path> movClips(clips.begin(), clips.begin() + 9);
    const double movTime = seconds([&] { exporter.exportVideo(movClips, song, mov, d / "ours.mov"); });
    std::printf("BENCH export.mov_x_realtime %.2f x\n", movClips.size() * kClipSeconds / movTime);
    return 0;
}
