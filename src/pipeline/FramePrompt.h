#pragma once

#include "model/ProjectSettings.h"
#include "model/Storyboard.h"

#include <string>

namespace vl {

// The text-to-image prompt for a chunk without a prompt of its own: the mood and
// medium, the exact words on their surface, the character, continuity and palette.
std::string framePrompt(const StoryboardChunk& chunk, const StyleGuidance& style,
                        const CharacterReference* character);

} // namespace vl
