#include "screens/frames/FrameEditSheetModel.h"

#include "model/Text.h"

namespace vl::screens {

QString versionLabel(std::size_t undoCount, std::size_t redoCount)
{
    QString label = QStringLiteral("Version %1").arg(undoCount + 1);
    if (redoCount > 0)
        label += QStringLiteral(" \u00B7 %1 redo").arg(redoCount);
    return label;
}

FrameEditSheetModel::FrameEditSheetModel(QObject* parent) : ChunkSheetModel(parent)
{
    connect(this, &ChunkSheetModel::stateChanged, this, &FrameEditSheetModel::canSendChanged);
}

void FrameEditSheetModel::setText(const QString& text)
{
    if (text_ == text)
        return;
    text_ = text;
    emit textChanged();
    emit canSendChanged();
}

bool FrameEditSheetModel::canSend() const
{
    // Line breaks count as content here: the store trims them and then does nothing,
    // which still clears the field.
    return chunk() && !busy() && !text::trimSpaceSeparatorsAndTab(text_.toStdString()).empty();
}

bool FrameEditSheetModel::canUndo() const
{
    const auto* c = chunk();
    return c && !c->undoStack.empty() && !busy();
}

bool FrameEditSheetModel::canRedo() const
{
    const auto* c = chunk();
    return c && !c->redoStack.empty() && !busy();
}

QString FrameEditSheetModel::versionText() const
{
    const auto* c = chunk();
    return c ? versionLabel(c->undoStack.size(), c->redoStack.size()) : QString();
}

bool FrameEditSheetModel::returnPressed(int modifiers)
{
    if (modifiers & (Qt::ShiftModifier | Qt::AltModifier))
        return false;
    send();
    return true;
}

void FrameEditSheetModel::begin()
{
    ++showing_;
    setText(QString());
}

void FrameEditSheetModel::send()
{
    const auto id = chunkUuid();
    if (!canSend() || !id)
        return;
    QPointer<FrameEditSheetModel> self(this);
    store()->editFrame(*id, text_.toStdString(), [self, showing = showing_] {
        // The sheet may have closed, or been shown again, while the edit ran.
        if (self && self->showing_ == showing && self->store() && !self->store()->lastError())
            self->setText(QString());
    });
}

void FrameEditSheetModel::undo()
{
    if (const auto id = chunkUuid(); id && canUndo())
        store()->undoFrameEdit(*id);
}

void FrameEditSheetModel::redo()
{
    if (const auto id = chunkUuid(); id && canRedo())
        store()->redoFrameEdit(*id);
}

} // namespace vl::screens
