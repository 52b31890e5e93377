#include "screens/frames/FramePromptSheetModel.h"

namespace vl::screens {

FramePromptSheetModel::FramePromptSheetModel(QObject* parent) : ChunkSheetModel(parent) {}

void FramePromptSheetModel::setText(const QString& text)
{
    if (text_ == text)
        return;
    text_ = text;
    emit textChanged();
}

void FramePromptSheetModel::load()
{
    const auto* c = chunk();
    setText(c ? QString::fromStdString(c->imagePrompt) : QString());
}

void FramePromptSheetModel::writePrompt(const Uuid& id)
{
    store()->setImagePrompt(text_.toStdString(), id);
}

void FramePromptSheetModel::save()
{
    if (const auto id = chunkUuid(); id && store())
        writePrompt(*id);
    emit closeRequested();
}

void FramePromptSheetModel::saveAndRegenerate()
{
    const auto id = chunkUuid();
    if (!id || !store() || !canRegenerate())
        return;
    // The prompt is stored before the frame is asked for, so the request carries it.
    writePrompt(*id);
    QPointer<ProjectStore> target = store();
    emit closeRequested();
    if (target)
        target->generateFrame(*id);
}

} // namespace vl::screens
