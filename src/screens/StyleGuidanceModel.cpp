#include "screens/StyleGuidanceModel.h"

#include "pipeline/FramePrompt.h"

namespace vl::screens {

StyleGuidanceModel::StyleGuidanceModel(QObject* parent)
    : ScreenModel(parent)
{
}

StyleGuidanceModel::StyleGuidanceModel(ScreenServices& services, QObject* parent)
    : ScreenModel(parent)
{
    setServices(&services);
}

StoryboardChunk StyleGuidanceModel::sampleChunk()
{
    StoryboardChunk chunk;
    chunk.index = 0;
    chunk.chunkNumber = 1;
    chunk.start = 0;
    chunk.end = 4;
    chunk.lyricExcerpt = "City lights are burning low";
    chunk.renderedText = "City lights are burning low";
    chunk.surface = "a hand-painted marker sign";
    return chunk;
}

bool StyleGuidanceModel::refresh()
{
    State next;
    if (const ProjectStore* s = store()) {
        const Project& p = s->project();
        const StyleGuidance& style = p.style;
        next.paletteName = QString::fromStdString(style.paletteName);
        next.mood = QString::fromStdString(style.mood);
        next.medium = QString::fromStdString(style.medium);
        next.continuityNotes = QString::fromStdString(style.continuityNotes);
        next.negativePrompts = QString::fromStdString(style.negativePrompts);
        // The prompt the store builds for the first chunk, without the character part.
        static const StoryboardChunk sample = sampleChunk();
        const StoryboardChunk& chunk = p.chunks.empty() ? sample : p.chunks.front();
        next.preview = QString::fromStdString(framePrompt(chunk, style, nullptr));
    }
    if (next == state_)
        return false;
    state_ = std::move(next);
    return true;
}

void StyleGuidanceModel::setField(std::string StyleGuidance::*field, const QString& text)
{
    ProjectStore* s = store();
    const std::string value = text.toStdString();
    if (!s || s->project().style.*field == value)
        return;
    s->editProject([&](Project& p) {
        p.style.*field = value;
        p.updatedAt = currentDate();
    });
}

void StyleGuidanceModel::setPaletteName(const QString& text) { setField(&StyleGuidance::paletteName, text); }
void StyleGuidanceModel::setMood(const QString& text) { setField(&StyleGuidance::mood, text); }
void StyleGuidanceModel::setMedium(const QString& text) { setField(&StyleGuidance::medium, text); }
void StyleGuidanceModel::setContinuityNotes(const QString& text) { setField(&StyleGuidance::continuityNotes, text); }
void StyleGuidanceModel::setNegativePrompts(const QString& text) { setField(&StyleGuidance::negativePrompts, text); }

} // namespace vl::screens
