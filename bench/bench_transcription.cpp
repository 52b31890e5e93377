// On-device speech speed: about 30 s of espeak-ng speech through the recogniser.
// Prints the real-time factor (recognition time over audio length, the model
// load left out) and the model load time.

#include "BenchReport.h"
#include "media/AudioDecoder.h"
#include "media/transcription/ChildProcess.h"
#include "media/transcription/SpeechTranscriber.h"
#include "model/Files.h"

#include <chrono>
#include <cstdio>
#include <stdexcept>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

const char* const passage =
    "The river runs along the valley where the old mill stands. Every morning the baker opens "
    "his door and the smell of bread fills the street. Children walk to school past the green "
    "fence, and the dog at the corner barks at every bicycle. In the afternoon the sky turns grey "
    "and a light rain falls on the roofs. By evening the clouds are gone, the lamps come on one "
    "by one, and the town settles into a quiet night while the river keeps on running to the sea.";

} // namespace

int main()
{
    vl::bench::Report report("transcription");
    return report.run([&] {
        vl::files::TemporaryDirectory folder("bench-transcription");
        const auto audio = folder.path() / "speech.wav";
        const auto made = vl::runChildProcess("/usr/bin/espeak-ng",
                                              {"-v", "en-us", "-s", "150", "-w", audio.string(), passage}, {});
        if (made.exitStatus != 0)
            throw std::runtime_error("espeak-ng failed");

        auto start = Clock::now();
        vl::SpeechRecognizer recognizer(vl::SpeechTranscriber::defaultModelFolder());
        const double loadSeconds = secondsSince(start);

        std::size_t samples = 0;
        start = Clock::now();
        vl::decodeAudio(audio, vl::SpeechRecognizer::sampleRate, {}, [&](std::span<const std::int16_t> block) {
            recognizer.feed(block);
            samples += block.size();
        });
        const auto words = recognizer.finish();
        const double processSeconds = secondsSince(start);
        const double audioSeconds = static_cast<double>(samples) / vl::SpeechRecognizer::sampleRate;

        std::printf("# %.1f s of speech, %zu words recognised\n", audioSeconds, words.size());
        // No speech, or a recogniser that heard none of it, is no speed of recognition.
        if (samples == 0 || words.empty())
            throw std::runtime_error("the recogniser was given no speech or recognised no word");
        report.figure("speech_rtf", processSeconds / audioSeconds, "ratio", 3);
        report.figure("model_load_s", loadSeconds, "s", 3);
    });
}
