// Transcoding a song for transcription, against the ffmpeg command line doing
// the same conversion on the same file in the same run.

#include "media/AudioTools.h"
#include "model/Files.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>

namespace {

double bestSeconds(int runs, const std::function<void()>& work)
{
    double best = 1e30;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

bool sh(const std::string& line) { return std::system((line + " >/dev/null 2>&1").c_str()) == 0; }

} // namespace

int main()
{
    vl::files::TemporaryDirectory folder("bench-audio");
    const auto song = folder.path() / "song.mp3";
    // Three minutes of 44.1 kHz stereo: a chord with a little noise, as an MP3 like most songs.
    if (!sh("ffmpeg -nostdin -y -v error -f lavfi -i \"aevalsrc=0.3*sin(220*2*PI*t)+0.2*sin(331*2*PI*t)+0.05*random(0)"
            "|0.3*sin(277*2*PI*t)+0.2*sin(440*2*PI*t)+0.05*random(1):s=44100:d=180\" -c:a libmp3lame -b:a 192k '"
            + song.string() + "'")) {
        std::fprintf(stderr, "could not make the test song with ffmpeg\n");
        return 1;
    }
    const auto cliOut = folder.path() / "cli.m4a";
    const std::string cli = "ffmpeg -nostdin -y -v error -i '" + song.string()
                            + "' -vn -ac 1 -ar 16000 -c:a aac -b:a 32k '" + cliOut.string() + "'";

    const double ours = bestSeconds(3, [&] {
        const auto out = vl::AudioTools::compressForTranscription(song);
        std::filesystem::remove(out);
    });
    const double reference = bestSeconds(3, [&] { sh(cli); });

    std::printf("BENCH audio.transcode_s %.3f s\n", ours);
    std::printf("BENCH audio.transcode_ffmpeg_cli_s %.3f s\n", reference);
    std::printf("BENCH audio.transcode_vs_ffmpeg_cli %.2f ratio\n", ours / reference);
    return 0;
}
