#pragma once

#include "pipeline/PipelineConfig.h"

#include <memory>

namespace vl {

class Transcriber;
class MotionRenderer;
class VideoExporter;

// The store's exchangeable engines and its workflow configuration.
struct PipelineServices {
    std::shared_ptr<Transcriber> transcriber;
    std::shared_ptr<MotionRenderer> motion;
    std::shared_ptr<VideoExporter> exporter;
    PipelineConfig config;

    // The application's bundle: Whisper ("base") falling back to on-device speech,
    // GPU parallax falling back to the 2D renderer, the FFmpeg exporter. Built once.
    static const PipelineServices& standard();
};

} // namespace vl
