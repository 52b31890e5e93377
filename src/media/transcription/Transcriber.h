#pragma once

#include "media/transcription/TranscriptionResult.h"

#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace vl {

// Receives short status texts such as "Transcribing with Local Whisper".
using TranscriptionProgress = std::function<void(const std::string&)>;

// A speech-to-text engine. transcribe() blocks; run it on a worker. name() and
// isAvailable() never wait on a child process, so a screen may ask them directly.
class Transcriber {
public:
    virtual ~Transcriber() = default;

    virtual std::string name() const = 0;
    virtual bool isAvailable() const = 0;

    // Throws TranscriptionError, the platform's own error, or vl::Cancelled.
    virtual TranscriptionResult transcribe(const std::filesystem::path& audioFile,
                                           const TranscriptionProgress& onProgress,
                                           std::stop_token stop) const = 0;
};

} // namespace vl
