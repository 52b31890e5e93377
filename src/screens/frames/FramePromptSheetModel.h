#pragma once

#include "screens/frames/ChunkSheetModel.h"

namespace vl::screens {

// The prompt sheet: a private copy of the chunk's image prompt, taken once when the
// sheet opens. Nothing reaches the project until one of the two saves.
class FramePromptSheetModel : public vl::screens::ChunkSheetModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(bool canRegenerate READ canRegenerate NOTIFY stateChanged)

public:
    explicit FramePromptSheetModel(QObject* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);
    bool canRegenerate() const { return !busy(); }

    // Takes the chunk's prompt into the editor (empty when there is no such chunk).
    Q_INVOKABLE void load();
    // Stores the text exactly as edited, then asks to be closed.
    Q_INVOKABLE void save();
    // Stores the text, asks to be closed, then regenerates the frame from it.
    Q_INVOKABLE void saveAndRegenerate();

signals:
    void textChanged();
    void closeRequested();

private:
    void writePrompt(const Uuid& id);

    QString text_;
};

} // namespace vl::screens
