#pragma once

#include "media/transcription/SpeechRecognizer.h"
#include "media/transcription/Transcriber.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <stop_token>
#include <vector>

namespace vl {

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
