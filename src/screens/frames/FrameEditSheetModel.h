#pragma once

#include "screens/frames/ChunkSheetModel.h"

namespace vl::screens {

// "Version 3 · 1 redo": the shown frame counts one more than the versions behind it;
// the versions ahead are named only when there are any.
QString versionLabel(std::size_t undoCount, std::size_t redoCount);

// The frame edit sheet: the instruction being typed, whether it can be sent, the
// version steps and the edit's progress. Sending passes the text as typed to the
// store, which trims it; the field is cleared only when the edit left no error. The
// text lives as long as one showing of the sheet.
class FrameEditSheetModel : public vl::screens::ChunkSheetModel {
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString text READ text WRITE setText NOTIFY textChanged)
    Q_PROPERTY(bool canSend READ canSend NOTIFY canSendChanged)
    Q_PROPERTY(bool canUndo READ canUndo NOTIFY stateChanged)
    Q_PROPERTY(bool canRedo READ canRedo NOTIFY stateChanged)
    Q_PROPERTY(QString versionLabel READ versionText NOTIFY stateChanged)

public:
    explicit FrameEditSheetModel(QObject* parent = nullptr);

    QString text() const { return text_; }
    void setText(const QString& text);
    bool canSend() const;
    bool canUndo() const;
    bool canRedo() const;
    QString versionText() const;

    // The sheet is shown again: the instruction starts empty, whatever an earlier
    // showing left in it, and an edit sent from an earlier showing no longer clears it.
    Q_INVOKABLE void begin();
    Q_INVOKABLE void send();
    // Return in the instruction field: plain Return (or Enter) sends, as a field's
    // submit does, and is taken; with Shift or Alt it is left to the field, which
    // starts a new line. `modifiers` are the key event's Qt::KeyboardModifiers.
    Q_INVOKABLE bool returnPressed(int modifiers);
    Q_INVOKABLE void undo();
    Q_INVOKABLE void redo();

signals:
    void textChanged();
    void canSendChanged();

private:
    QString text_;
    int showing_ = 0;
};

} // namespace vl::screens
