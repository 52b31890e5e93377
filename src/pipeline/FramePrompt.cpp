#include "pipeline/FramePrompt.h"

#include <vector>

namespace vl {

std::string framePrompt(const StoryboardChunk& chunk, const StyleGuidance& style,
                        const CharacterReference* character)
{
    // Values go in verbatim: what the user typed is what the model reads.
    std::vector<std::string> sentences;
    sentences.push_back(style.mood + ". Medium: " + style.medium + ".");
    const std::string surface = chunk.surface.empty() ? "a believable physical surface in the scene" : chunk.surface;
    sentences.push_back("The exact text \"" + chunk.renderedText + "\" is physically present on " + surface
                        + ", spelled correctly and clearly legible.");
    if (character) {
        std::string featuring = "Featuring " + character->name + ", consistent with the provided reference.";
        if (!character->notes.empty())
            featuring += " " + character->notes;
        sentences.push_back(std::move(featuring));
    }
    if (!style.continuityNotes.empty())
        sentences.push_back("Continuity: " + style.continuityNotes);
    sentences.push_back("Palette: " + style.paletteName + ".");

    std::string prompt;
    for (const auto& sentence : sentences) {
        if (!prompt.empty())
            prompt += ' ';
        prompt += sentence;
    }
    return prompt;
}

} // namespace vl
