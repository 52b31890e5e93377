#include "model/Storyboard.h"

#include "model/Text.h"

namespace vl {

bool PlanElement::isRendered() const
{
    if (!imageRemoteURL)
        return false;
    const std::string lower = text::asciiLower(*imageRemoteURL);
    for (const std::string_view scheme : {std::string_view("https://"), std::string_view("http://")})
        if (lower.size() > scheme.size() && lower.compare(0, scheme.size(), scheme) == 0)
            return true;
    return false;
}

void StoryboardChunk::setFrame(GeneratedFrame newFrame)
{
    if (frame)
        undoStack.push_back(std::move(*frame));
    redoStack.clear();
    frame = std::move(newFrame);
}

void StoryboardChunk::undo()
{
    if (undoStack.empty())
        return;
    GeneratedFrame previous = std::move(undoStack.back());
    undoStack.pop_back();
    if (frame)
        redoStack.push_back(std::move(*frame));
    frame = std::move(previous);
}

void StoryboardChunk::redo()
{
    if (redoStack.empty())
        return;
    GeneratedFrame next = std::move(redoStack.back());
    redoStack.pop_back();
    if (frame)
        undoStack.push_back(std::move(*frame));
    frame = std::move(next);
}

} // namespace vl
