// Transcoding a song for transcription, against the ffmpeg command line doing
// the same conversion on the same file in the same run.

#include "BenchReport.h"
#include "media/AudioTools.h"
#include "model/Files.h"

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <string>

namespace {

bool sh(const std::string& line) { return std::system((line + " >/dev/null 2>&1").c_str()) == 0; }

} // namespace

int main()
{
    vl::bench::Report report("audio");
    return report.run([&] {
        vl::files::TemporaryDirectory folder("bench-audio");
        const auto song = folder.path() / "song.mp3";
        // Three minutes of 44.1 kHz stereo: a chord with a little noise, as an MP3 like most songs.
        if (!sh("ffmpeg -nostdin -y -v error -f lavfi -i \"aevalsrc=0.3*sin(220*2*PI*t)+0.2*sin(331*2*PI*t)+0.05*random(0)"
                "|0.3*sin(277*2*PI*t)+0.2*sin(440*2*PI*t)+0.05*random(1):s=44100:d=180\" -c:a libmp3lame -b:a 192k '"
                + song.string() + "'"))
            throw std::runtime_error("could not make the test song with ffmpeg");
        const auto cliOut = folder.path() / "cli.m4a";
        const std::string cli = "ffmpeg -nostdin -y -v error -i '" + song.string()
                                + "' -vn -ac 1 -ar 16000 -c:a aac -b:a 32k '" + cliOut.string() + "'";

        const double ours = vl::bench::bestSeconds(3, [&] {
            const auto out = vl::AudioTools::compressForTranscription(song);
            std::filesystem::remove(out);
        });
        // A command line that fails returns at once: its time would be no reference.
        bool referenceRan = true;
        const double reference = vl::bench::bestSeconds(3, [&] { referenceRan = sh(cli) && referenceRan; });

        report.figure("transcode_s", ours, "s", 3);
        if (!referenceRan)
            throw std::runtime_error("the ffmpeg command line failed, so there is no reference");
        report.figure("transcode_ffmpeg_cli_s", reference, "s", 3);
        report.figure("transcode_vs_ffmpeg_cli", ours / reference, "ratio");
    });
}
