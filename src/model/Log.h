#pragma once

#include <string_view>

namespace vl {

// One line to the system log (standard error, which the journal collects),
// tagged with the component: "[Transcription] fal transcription failed (...)".
void logLine(std::string_view tag, std::string_view message);

} // namespace vl
