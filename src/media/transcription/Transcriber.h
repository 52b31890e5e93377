#pragma once

#include "media/transcription/TimedChunk.h"

#include <filesystem>
#include <functional>
#include <stop_token>
#include <string>
#include <vector>

namespace vl {

struct TranscriptionResult {
    std::string text;                 // the whole transcript
    std::vector<TimedChunk> segments; // in the order the engine produced them
    std::string engineLabel;          // left empty by every engine; the caller records its own

    friend bool operator==(const TranscriptionResult&, const TranscriptionResult&) = default;
};

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
