#pragma once

#include "media/transcription/Transcriber.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <stop_token>
#include <thread>
#include <string_view>
#include <vector>

namespace vl {

// PocketSphinx with its model loaded. Feed it 16 kHz mono samples of one
// recording, then take the recognised words with their times. The recording is
// cut into utterances at its pauses, and a few decoders of their own work on
// those utterances side by side; the words come out the same whatever their number.
class SpeechRecognizer {
public:
    static constexpr int sampleRate = 16000;

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

// The recogniser that runs on this machine: PocketSphinx with its en-us model.
class SpeechTranscriber : public Transcriber {
public:
    static constexpr const char* displayName = "On-device Speech";
    static constexpr std::size_t wordsPerLine = 6;

    static std::filesystem::path defaultModelFolder();

    explicit SpeechTranscriber(std::filesystem::path modelFolder = defaultModelFolder());

    const std::filesystem::path& modelFolder() const { return modelFolder_; }

    std::string name() const override { return displayName; }
    // The model files are there; nothing else (such as the locale) matters.
    bool isAvailable() const override;
    TranscriptionResult transcribe(const std::filesystem::path& audioFile, const TranscriptionProgress& onProgress,
                                   std::stop_token stop) const override;

    // The words of a recording, as the recogniser timed them. `onAudio` hears the
    // fraction of the recording read so far, once the model is loaded.
    std::vector<TimedChunk> recognizeWords(const std::filesystem::path& audioFile, std::stop_token stop,
                                           double* duration = nullptr,
                                           const std::function<void(double)>& onAudio = {}) const;

    // Keeps the recogniser's times when they look real, else spreads the words evenly.
    static std::vector<TimedChunk> repairTimings(std::vector<TimedChunk> words, double duration);
    static std::vector<TimedChunk> groupIntoLines(const std::vector<TimedChunk>& words, std::size_t wordsPerLine);

private:
    std::filesystem::path modelFolder_;
};

} // namespace vl
