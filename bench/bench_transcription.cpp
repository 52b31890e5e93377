// On-device speech speed: about 30 s of espeak-ng speech through the recogniser.
// Prints the real-time factor (recognition time over audio length, the model
// load left out) and the model load time.

#include "media/AudioDecoder.h"
#include "media/transcription/ChildProcess.h"
#include "media/transcription/SpeechTranscriber.h"
#include "model/Files.h"

#include <chrono>
#include <cstdio>
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
    vl::files::TemporaryDirectory folder("bench-transcription");
    const auto audio = folder.path() / "speech.wav";
    const auto made = vl::runChildProcess("/usr/bin/espeak-ng",
                                          {"-v", "en-us", "-s", "150", "-w", audio.string(), passage}, {});
    if (made.exitStatus != 0) {
        std::fprintf(stderr, "espeak-ng failed\n");
        return 1;
    }

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
    std::printf("BENCH transcription.speech_rtf %.3f ratio\n", processSeconds / audioSeconds);
    std::printf("BENCH transcription.model_load_s %.3f s\n", loadSeconds);
    return 0;
}
