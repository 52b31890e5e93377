#include "pipeline/PipelineServices.h"

#include "media/transcription/SystemTranscriber.h"

namespace vl {

const PipelineServices& PipelineServices::standard()
{
    // Built once per process, on first use.
    static const PipelineServices services = [] {
        PipelineServices s;
        s.transcriber = std::make_shared<SystemTranscriber>(); // Whisper "base", then on-device speech
        return s;
    }();
    return services;
}

} // namespace vl
