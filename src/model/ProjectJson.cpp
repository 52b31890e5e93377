#include "model/ProjectJson.h"

#include "model/ProjectFields.h"

#include <string>

// The tree writer: records as json::Json values.

namespace vl {

using json::Json;

namespace {

Json tree(const std::string& v, std::string_view) { return v; }
Json tree(const Uuid& v, std::string_view) { return v.text(); }
Json tree(Date v, std::string_view) { return formatIsoDate(v); }
Json tree(double v, std::string_view key) { return json::finite(v, key); }
Json tree(std::int64_t v, std::string_view) { return v; }
Json tree(bool v, std::string_view) { return v; }
Json tree(LyricsSource v, std::string_view) { return std::string(rawValue(v)); }
Json tree(ExportResolution v, std::string_view) { return std::string(rawValue(v)); }
Json tree(ExportContainer v, std::string_view) { return std::string(rawValue(v)); }
template <typename T> Json tree(const std::vector<T>& list, std::string_view key);
template <fields::IsRecord R> Json tree(const R& record, std::string_view key);

class TreeWriter {
public:
    Json object = Json::object();

    template <typename T> void field(std::string_view key, const T& value)
    {
        object.get_ref<Json::object_t&>().emplace_hint(object.get_ref<Json::object_t&>().end(), std::string(key),
                                                       tree(value, key));
    }
    template <typename T> void optional(std::string_view key, const std::optional<T>& value)
    {
        if (value) field(key, *value);
    }
};

template <typename T> Json tree(const std::vector<T>& list, std::string_view key)
{
    Json out = Json::array();
    out.get_ref<Json::array_t&>().reserve(list.size());
    for (const auto& item : list) out.push_back(tree(item, key));
    return out;
}

template <fields::IsRecord R> Json tree(const R& record, std::string_view)
{
    TreeWriter w;
    fields::list(w, record);
    return std::move(w.object);
}

} // namespace

Json toJson(const TranscriptSegment& segment) { return tree(segment, "transcript segment"); }
Json toJson(const PlanElement& element) { return tree(element, "plan element"); }
Json toJson(const StoryboardPlan& plan) { return tree(plan, "plan"); }
Json toJson(const ReviewChecklist& review) { return tree(review, "review"); }
Json toJson(const GeneratedFrame& frame) { return tree(frame, "frame"); }
Json toJson(const StoryboardChunk& chunk) { return tree(chunk, "chunk"); }
Json toJson(const CharacterReference& character) { return tree(character, "character"); }
Json toJson(const StyleGuidance& style) { return tree(style, "style"); }
Json toJson(const DepthFlowSettings& motion) { return tree(motion, "motion"); }
Json toJson(const ExportSettings& exportSettings) { return tree(exportSettings, "export"); }
Json toJson(const Project& project) { return tree(project, "project"); }

} // namespace vl
