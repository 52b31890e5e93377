#include "media/transcription/SystemTranscriber.h"

#include "media/transcription/SpeechTranscriber.h"
#include "media/transcription/TranscriptionError.h"
#include "model/Cancellation.h"

namespace vl {

namespace {

const std::string speechName = SpeechTranscriber::displayName;

void send(const TranscriptionProgress& onProgress, const std::string& text)
{
    if (onProgress)
        onProgress(text);
}

} // namespace

SystemTranscriber::SystemTranscriber()
    : SystemTranscriber(LocalWhisperTranscriber("base"), std::make_shared<SpeechTranscriber>())
{
}

SystemTranscriber::SystemTranscriber(LocalWhisperTranscriber local, std::shared_ptr<const Transcriber> speech)
    : local_(std::move(local)), speech_(std::move(speech))
{
}

const Transcriber* SystemTranscriber::bestEngine() const
{
    if (local_.isAvailable())
        return &local_;
    if (speech_->isAvailable())
        return speech_.get();
    return nullptr;
}

std::string SystemTranscriber::name() const
{
    const Transcriber* engine = bestEngine();
    return engine ? engine->name() : "None";
}

bool SystemTranscriber::isAvailable() const
{
    return bestEngine() != nullptr;
}

TranscriptionResult SystemTranscriber::transcribe(const std::filesystem::path& audioFile,
                                                  const TranscriptionProgress& onProgress,
                                                  std::stop_token stop) const
{
    // The full lookup may wait on `which`; we are on a worker here, so let it.
    const bool whisperFound = local_.whisperExecutable(stop).has_value();
    if (!whisperFound && !speech_->isAvailable())
        throw TranscriptionError::noEngineAvailable();

    // The engines get no progress callback: only this one reports what runs.
    if (whisperFound) {
        send(onProgress, "Transcribing with Local Whisper");
        try {
            return local_.transcribe(audioFile, {}, stop);
        } catch (const Cancelled&) {
            throw; // a stopped run stops; it does not fall back
        } catch (const std::exception& error) {
            if (!speech_->isAvailable())
                throw;
            send(onProgress, "Local Whisper failed (" + std::string(error.what()) + "); falling back to "
                                 + speechName);
            throwIfCancelled(stop);
            if (!speech_->isAvailable())
                throw TranscriptionError::noEngineAvailable();
        }
    } else if (!speech_->isAvailable()) {
        throw TranscriptionError::noEngineAvailable();
    }
    send(onProgress, "Transcribing with " + speechName);
    return speech_->transcribe(audioFile, {}, stop);
}

} // namespace vl
