#pragma once

#include "model/Project.h"

#include <QColor>

#include <string_view>

namespace vl::app {

// What the sidebar and the stage area show for one stage (its label is vl::title(stage)).
struct StageInfo {
    PipelineStage stage;
    std::string_view systemImage;
    // One line on what the stage's screen does, shown until that screen exists.
    std::string_view description;
};

const StageInfo& stageInfo(PipelineStage stage);

// The colour of a sidebar row's status dot.
QColor statusDotColor(StageStatus status);

} // namespace vl::app
