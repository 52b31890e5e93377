#include "media/transcription/TranscriptionError.h"

namespace vl {

namespace {

std::string messageFor(TranscriptionError::Case c, const std::string& detail)
{
    switch (c) {
    case TranscriptionError::Case::failed:
        return "Transcription failed: " + detail;
    case TranscriptionError::Case::noEngineAvailable:
        return "No transcription engine available. Install Whisper, or install the speech model "
               "package pocketsphinx-en-us.";
    case TranscriptionError::Case::notAuthorized:
        return "The on-device speech model is missing. Install the speech model package "
               "pocketsphinx-en-us.";
    }
    return {};
}

} // namespace

TranscriptionError::TranscriptionError(Case c, std::string detail)
    : case_(c), detail_(std::move(detail)), message_(messageFor(case_, detail_))
{
}

} // namespace vl
