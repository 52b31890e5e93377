#pragma once

#include "model/IsoDate.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace vl {

// What the saved-projects list shows of one project.
struct ProjectSummary {
    std::string title;        // as stored; empty when the document has none
    std::size_t framed = 0;   // chunks that have a frame
    std::size_t total = 0;    // chunks
    Date updatedAt;           // the time of reading when the document has none

    friend bool operator==(const ProjectSummary&, const ProjectSummary&) = default;
};

// Reads only those fields from "project.json" bytes, in one pass that keeps nothing
// else, so listing many large projects costs neither their records nor their JSON
// trees. Throws json::DecodeError when the bytes are no JSON object, nest deeper than
// json::kMaxDepth, or hold one of the fields read in a form the full reader refuses;
// a wrong field it does not read is found when the project is opened.
ProjectSummary decodeProjectSummary(std::string_view bytes);

} // namespace vl
