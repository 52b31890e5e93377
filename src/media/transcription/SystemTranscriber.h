#pragma once

#include "media/transcription/LocalWhisperTranscriber.h"
#include "media/transcription/Transcriber.h"

#include <memory>

namespace vl {

// The engine the application holds: Local Whisper when a Whisper executable is
// installed, else on-device speech, with a fallback from the first to the second.
class SystemTranscriber : public Transcriber {
public:
    // Whisper with the "base" model, and the on-device recogniser.
    SystemTranscriber();
    SystemTranscriber(LocalWhisperTranscriber local, std::shared_ptr<const Transcriber> speech);

    const LocalWhisperTranscriber& local() const { return local_; }
    const Transcriber& speech() const { return *speech_; }

    // The chosen engine's name, or "None".
    std::string name() const override;
    bool isAvailable() const override;
    TranscriptionResult transcribe(const std::filesystem::path& audioFile, const TranscriptionProgress& onProgress,
                                   std::stop_token stop) const override;

    // The engine transcribe() would pick now, or none; never waits on a child process.
    const Transcriber* bestEngine() const;

private:
    LocalWhisperTranscriber local_;
    std::shared_ptr<const Transcriber> speech_;
};

} // namespace vl
