#pragma once

#include "model/Json.h"
#include "model/Project.h"
#include "model/ProjectSettings.h"
#include "model/Storyboard.h"

#include <optional>

namespace vl {

// JSON form of the project document and its records. Keys are the field names.
//
// Writing leaves absent optional values out (never null) and throws
// json::EncodeError for a non-finite number, which JSON cannot hold.
//
// Reading throws json::DecodeError. Project, StoryboardPlan and StoryboardChunk are
// tolerant: a missing or null key takes its default, but a present value of the
// wrong type still fails. Every other record requires each non-optional key.

json::Json toJson(const TranscriptSegment& segment);
json::Json toJson(const PlanElement& element);
json::Json toJson(const StoryboardPlan& plan);
json::Json toJson(const ReviewChecklist& review);
json::Json toJson(const GeneratedFrame& frame);
json::Json toJson(const StoryboardChunk& chunk);
json::Json toJson(const CharacterReference& character);
json::Json toJson(const StyleGuidance& style);
json::Json toJson(const DepthFlowSettings& motion);
json::Json toJson(const ExportSettings& exportSettings);
json::Json toJson(const Project& project);

// The same document as json::dump(toJson(project), 2), keys sorted at every level,
// written straight from the records: saving is the hot path of autosave.
std::string toIndentedJsonText(const Project& project);

TranscriptSegment readTranscriptSegment(const json::Json& value);
PlanElement readPlanElement(const json::Json& value);
StoryboardPlan readStoryboardPlan(const json::Json& value);
ReviewChecklist readReviewChecklist(const json::Json& value);
GeneratedFrame readGeneratedFrame(const json::Json& value);
StoryboardChunk readStoryboardChunk(const json::Json& value);
CharacterReference readCharacterReference(const json::Json& value);
StyleGuidance readStyleGuidance(const json::Json& value);
DepthFlowSettings readDepthFlowSettings(const json::Json& value);
ExportSettings readExportSettings(const json::Json& value);

// A document without an id gets `idWhenMissing` when given (the id of the folder
// it was read from), else a new random one.
Project readProject(const json::Json& value, std::optional<Uuid> idWhenMissing = std::nullopt);

} // namespace vl
