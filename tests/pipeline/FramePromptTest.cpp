#include "pipeline/FramePrompt.h"

#include <gtest/gtest.h>

using namespace vl;

namespace {

StoryboardChunk chunkWith(std::string text, std::string surface = {})
{
    StoryboardChunk chunk;
    chunk.renderedText = std::move(text);
    chunk.surface = std::move(surface);
    return chunk;
}

} // namespace

TEST(FramePrompt, WorkedExample)
{
    EXPECT_EQ(framePrompt(chunkWith("ON THE ROOF"), StyleGuidance{}, nullptr),
              "Vivid, analog, expressive. Medium: Hand-painted marker on physical surfaces. The exact text "
              "\"ON THE ROOF\" is physically present on a believable physical surface in the scene, spelled "
              "correctly and clearly legible. Palette: Acid & Coral.");
}

TEST(FramePrompt, OptionalSentencesAndVerbatimValues)
{
    StyleGuidance style;
    style.mood = "";
    style.medium = "";
    style.paletteName = "Dusk";
    style.continuityNotes = " ";
    CharacterReference noNotes;
    noNotes.name = "Ada";
    CharacterReference withNotes = noNotes;
    withNotes.notes = "red jacket";

    struct Case {
        const char* name;
        StoryboardChunk chunk;
        const CharacterReference* character;
        std::string expected;
    };
    const Case cases[] = {
        {"blank surface kept, blank notes still a sentence", chunkWith("", " "), nullptr,
         ". Medium: . The exact text \"\" is physically present on  , spelled correctly and clearly legible. "
         "Continuity:   Palette: Dusk."},
        {"character without notes", chunkWith("HI", "a wall"), &noNotes,
         ". Medium: . The exact text \"HI\" is physically present on a wall, spelled correctly and clearly "
         "legible. Featuring Ada, consistent with the provided reference. Continuity:   Palette: Dusk."},
        {"character with notes", chunkWith("HI", "a wall"), &withNotes,
         ". Medium: . The exact text \"HI\" is physically present on a wall, spelled correctly and clearly "
         "legible. Featuring Ada, consistent with the provided reference. red jacket Continuity:   Palette: Dusk."},
    };
    for (const auto& c : cases)
        EXPECT_EQ(framePrompt(c.chunk, style, c.character), c.expected) << c.name;

    style.continuityNotes.clear();
    const std::string noContinuity = framePrompt(chunkWith("X"), style, nullptr);
    EXPECT_EQ(noContinuity.find("Continuity"), std::string::npos);
    EXPECT_EQ(noContinuity.find("  "), std::string::npos);
}
