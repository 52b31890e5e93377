#include "pipeline/PipelineServices.h"

#include "media/export/VideoExporter.h"
#include "media/motion/ParallaxRenderer.h"
#include "media/transcription/SystemTranscriber.h"

namespace vl {

const PipelineServices& PipelineServices::standard()
{
    // Built once per process, on first use.
    static const PipelineServices services = [] {
        PipelineServices s;
        s.transcriber = std::make_shared<SystemTranscriber>(); // Whisper "base", then on-device speech
        s.motion = std::make_shared<ParallaxRenderer>(); // its fallback is the 2D renderer
        s.exporter = std::make_shared<VideoExporter>();
        return s;
    }();
    return services;
}

} // namespace vl
