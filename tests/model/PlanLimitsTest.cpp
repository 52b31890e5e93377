#include "model/PlanLimits.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <optional>
#include <string>

using namespace vl;

namespace {

// Three ordinary chunks, within any song longer than 30 s.
PlanParser::Parsed ordinaryPlan()
{
    PlanParser::Parsed parsed;
    parsed.plan.motif = "kites";
    parsed.plan.rawJSON = "{}";
    for (int i = 0; i < 3; ++i) {
        StoryboardChunk chunk;
        chunk.chunkNumber = i + 1;
        chunk.start = i * 10.0;
        chunk.end = i * 10.0 + 10.0;
        chunk.imagePrompt = "a kite over the sea";
        parsed.chunks.push_back(chunk);
    }
    return parsed;
}

std::optional<std::string> refusal(const PlanParser::Parsed& parsed, std::optional<double> songSeconds)
{
    try {
        checkPlanLimits(parsed, songSeconds);
        return std::nullopt;
    } catch (const PlanLimitError& e) {
        return std::string(e.what());
    }
}

} // namespace

TEST(PlanLimits, EachBoundRefusesJustPastItsLimit)
{
    const std::string longText(kMaxPlanTextBytes + 1, 'x');
    struct Case {
        const char* name;
        std::function<void(PlanParser::Parsed&)> change;
        std::optional<double> songSeconds;
        std::optional<std::string> refusal; // none: accepted
    };
    const Case cases[] = {
        {"an ordinary plan", [](auto&) {}, 180.0, std::nullopt},
        {"texts right at the limit", [](auto& p) { p.chunks[0].videoPrompt.assign(kMaxPlanTextBytes, 'x'); }, 180.0,
         std::nullopt},
        {"a long art direction", [&](auto& p) { p.plan.artDirectionStatement = longText; }, 180.0,
         "That plan's art direction is longer than 8192 bytes."},
        {"an element with a long prompt",
         [&](auto& p) { p.plan.elements = {PlanElement{"kite", "prop", "red", longText, {}, {}}}; }, 180.0,
         "That plan's element \"kite\" prompt is longer than 8192 bytes."},
        {"too many elements", [](auto& p) { p.plan.elements.resize(kMaxPlanElements + 1); }, 180.0,
         "That plan has 201 elements; a plan may have at most 200."},
        {"too many palette names", [](auto& p) { p.plan.palette.assign(kMaxPlanListItems + 1, "teal"); }, 180.0,
         "That plan's palette has 257 entries; at most 256 are allowed."},
        {"a chunk using too many elements",
         [](auto& p) { p.chunks[1].elementIdsUsed.assign(kMaxPlanListItems + 1, "kite"); }, 180.0,
         "That plan's chunk 2 element list has 257 entries; at most 256 are allowed."},
        {"the plan kept is too large", [](auto& p) { p.plan.rawJSON.assign(kMaxPlanBytes + 1, ' '); }, 180.0,
         "That plan is larger than 8 MB."},
        {"a time that is no number", [](auto& p) { p.chunks[2].end = std::nan(""); }, 180.0,
         "That plan's chunk 3 is timed at no number, outside the song (0 to 180 s)."},
        {"an infinite time", [](auto& p) { p.chunks[2].end = INFINITY; }, 180.0,
         "That plan's chunk 3 is timed at inf s, outside the song (0 to 180 s)."},
        {"an end within the slack past the song", [](auto& p) { p.chunks[2].end = 180 + kPlanTimeSlackSeconds; },
         180.0, std::nullopt},
        {"an end past the slack", [](auto& p) { p.chunks[2].end = 180 + kPlanTimeSlackSeconds + 1; }, 180.0,
         "That plan's chunk 3 is timed at 211 s, outside the song (0 to 180 s)."},
        {"no song: hours are still a song", [](auto& p) { p.chunks[2].end = 3 * 3600; }, std::nullopt,
         std::nullopt},
        {"no song: past the longest song", [](auto& p) { p.chunks[2].end = kMaxPlanSeconds + 1; }, std::nullopt,
         "That plan's chunk 3 is timed at 14401 s, outside 0 to 14400 s."},
    };
    for (const auto& c : cases) {
        PlanParser::Parsed parsed = ordinaryPlan();
        c.change(parsed);
        EXPECT_EQ(refusal(parsed, c.songSeconds), c.refusal) << c.name;
    }
}
