#include "model/Storyboard.h"

namespace vl {

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
