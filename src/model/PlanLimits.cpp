#include "model/PlanLimits.h"

#include "model/Files.h"
#include "model/Text.h"

#include <charconv>
#include <cmath>
#include <string_view>

namespace vl {

namespace {

// "184.5", "1e+308", "nan": the time as the plan gave it.
std::string secondsText(double value)
{
    if (std::isnan(value))
        return "no number";
    char buffer[64];
    const auto [end, error] = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, 6);
    return error == std::errc() ? std::string(buffer, end) + " s" : std::string("?");
}

[[noreturn]] void refuse(const std::string& sentence)
{
    throw PlanLimitError(sentence);
}

void checkText(std::string_view text, const std::string& where)
{
    if (text.size() > kMaxPlanTextBytes)
        refuse("That plan's " + where + " is longer than " + std::to_string(kMaxPlanTextBytes) + " bytes.");
}

void checkList(std::size_t count, const std::string& where)
{
    if (count > kMaxPlanListItems)
        refuse("That plan's " + where + " has " + std::to_string(count) + " entries; at most "
               + std::to_string(kMaxPlanListItems) + " are allowed.");
}

} // namespace

void checkPlanLimits(const PlanParser::Parsed& parsed, std::optional<double> songSeconds)
{
    const StoryboardPlan& plan = parsed.plan;
    if (plan.rawJSON.size() > kMaxPlanBytes)
        refuse("That plan is larger than " + files::megabytesText(kMaxPlanBytes) + ".");
    if (parsed.chunks.size() > kMaxPlanChunks)
        refuse("That plan has " + std::to_string(parsed.chunks.size()) + " chunks; a plan may have at most "
               + std::to_string(kMaxPlanChunks) + ".");
    if (plan.elements.size() > kMaxPlanElements)
        refuse("That plan has " + std::to_string(plan.elements.size()) + " elements; a plan may have at most "
               + std::to_string(kMaxPlanElements) + ".");

    checkText(plan.artDirectionStatement, "art direction");
    checkText(plan.motif, "motif");
    checkText(plan.storyline, "storyline");
    checkText(plan.emotionalArc, "emotional arc");
    checkText(plan.visualAnchor, "visual anchor");
    checkList(plan.palette.size(), "palette");
    for (const auto& name : plan.palette)
        checkText(name, "palette");
    checkList(plan.colorScheme.size(), "colour scheme"); // its entries are 4 or 7 characters
    for (const PlanElement& element : plan.elements) {
        checkText(element.id, "element id");
        const std::string where = "element \"" + text::cutToCharacters(element.id, 40) + "\"";
        checkText(element.type, where + " type");
        checkText(element.continuityDescription, where + " description");
        checkText(element.textToImagePrompt, where + " prompt");
    }

    const bool songKnown = songSeconds && std::isfinite(*songSeconds) && *songSeconds > 0;
    const double latest = songKnown ? *songSeconds + kPlanTimeSlackSeconds : kMaxPlanSeconds;
    for (const StoryboardChunk& chunk : parsed.chunks) {
        const std::string where = "chunk " + std::to_string(chunk.chunkNumber);
        for (const double time : {chunk.start, chunk.end}) {
            // Written so that NaN fails too.
            if (!(time >= 0 && time <= latest))
                refuse("That plan's " + where + " is timed at " + secondsText(time) + ", outside "
                       + (songKnown ? "the song (0 to " + secondsText(*songSeconds) + ")."
                                    : "0 to " + secondsText(kMaxPlanSeconds) + "."));
        }
        checkText(chunk.lyricExcerpt, where + " lyric excerpt");
        checkText(chunk.renderedText, where + " rendered text");
        checkText(chunk.imagePrompt, where + " image prompt");
        checkText(chunk.videoPrompt, where + " video prompt");
        checkList(chunk.elementIdsUsed.size(), where + " element list");
        for (const auto& id : chunk.elementIdsUsed)
            checkText(id, where + " element list");
    }
}

} // namespace vl
