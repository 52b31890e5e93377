#pragma once

#include "media/transcription/TimedChunk.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <stop_token>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

namespace vl {

// PocketSphinx with its model loaded. Feed it 16 kHz mono samples of one
// recording, then take the recognised words with their times. The recording is
// cut into utterances at its pauses, and a few decoders of their own work on
// those utterances side by side; the words come out the same whatever their number.
class SpeechRecognizer {
public:
    static constexpr int sampleRate = 16000;

    // The model's files are all in `modelFolder`.
    static bool modelPresent(const std::filesystem::path& modelFolder);

    // Decoders used when none are asked for: a few, as the machine's cores allow.
    static std::size_t defaultDecoderCount();

    // Loads the model once per decoder; throws TranscriptionError::noEngineAvailable
    // when it cannot. The loads take seconds and cannot be interrupted, so a stop
    // request ends the wait for them at once (vl::Cancelled) and leaves them to
    // finish and free themselves in the background.
    explicit SpeechRecognizer(const std::filesystem::path& modelFolder, std::size_t decoders = defaultDecoderCount(),
                              std::stop_token stop = {});
    ~SpeechRecognizer();
    SpeechRecognizer(const SpeechRecognizer&) = delete;
    SpeechRecognizer& operator=(const SpeechRecognizer&) = delete;

    // May wait while the decoders catch up; a stop request ends the wait with vl::Cancelled.
    void feed(std::span<const std::int16_t> samples, std::stop_token stop = {});
    // Ends the recording and returns its words in order, fillers and silences left
    // out, timed from the first sample fed. Call it once.
    std::vector<TimedChunk> finish(std::stop_token stop = {});

    // The dictionary word behind a recogniser token: "" for fillers and silences,
    // the word without its "(2)" pronunciation mark otherwise.
    static std::string wordForToken(std::string_view token);

    // Model loads still running, including those a stopped recogniser left behind.
    static std::size_t loadsInFlight();

private:
    struct Decoder;
    struct Splitter;
    struct Shared;
    std::unique_ptr<Shared> shared_;
    std::unique_ptr<Splitter> splitter_;
    std::vector<std::jthread> workers_;
};

} // namespace vl
