#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqmlregistration.h>

#include <cstddef>
#include <functional>

namespace vl::design {

// What a paste would bring into a limited control.
struct PastedText {
    QString text;
    bool tooLarge = false; // over the bytes asked for: none of it was fetched
};
// Reads the clipboard's text, fetching none of it when it is over `maxBytes` of UTF-8.
using ClipboardTextReader = std::function<PastedText(std::size_t maxBytes)>;

// How a text control shows a stored value and hands back only what the user typed.
// Showing is not editing: a text area normalises what it is given (CR LF and CR
// become LF, U+2028 and U+2029 line breaks, a no-break space a plain one), so a
// field that compared its text with the value and wrote back the difference would
// rewrite data nobody touched. `edited` fires only for a change the control makes
// while it has the keyboard focus and is not being given the value.
//
//   TextArea {
//       EditableText.value: model.imagePrompt
//       EditableText.onEdited: text => model.imagePrompt = text
//   }
//
// The control's own `text` must not be bound: the value is what the field shows.
//
// With `maximumBytes`, the control keeps within that many bytes of UTF-8: what would
// take it past them (a typed character, a paste from the clipboard or the selection,
// an input method's text) never reaches the control, and `refused` fires instead, so
// a clipboard of megabytes is never laid out. Deleting is always let through. The
// clipboard is read through the application's reader, which can learn another
// program's copy is too large without fetching it; Qt's clipboard would fetch it
// whole on the window's thread first.
class EditableTextAttached final : public QObject {
    Q_OBJECT
    QML_ANONYMOUS
    Q_PROPERTY(QString value READ value WRITE setValue NOTIFY valueChanged)
    Q_PROPERTY(int maximumBytes READ maximumBytes WRITE setMaximumBytes NOTIFY maximumBytesChanged)

public:
    explicit EditableTextAttached(QObject* control);

    QString value() const { return value_; }
    // A new value is shown unless the control already holds exactly that text, so
    // the echo of the user's own edit leaves the cursor where it is. The same value
    // again shows nothing: the control may hold it normalised.
    void setValue(const QString& value);

    // 0: no limit.
    int maximumBytes() const { return maximumBytes_; }
    void setMaximumBytes(int bytes);
    // Whether the control stays within the limit with `incoming` in place of its
    // selection (`replacesSelection`) or added to it.
    bool fits(const QString& incoming, bool replacesSelection = true) const;

    // The reader every limited control's paste goes through; returns the one it
    // replaces. Empty: Qt's clipboard.
    static ClipboardTextReader setClipboardReader(ClipboardTextReader reader);

signals:
    void valueChanged();
    void edited(const QString& text);
    void maximumBytesChanged();
    void refused();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private slots:
    void controlTextChanged();

private:
    QString controlText() const;
    bool controlHasFocus() const;
    // Puts `text` in place of the control's selection, as its paste does; false when
    // the control cannot take it (read-only, or no text control).
    bool pasteIntoControl(const QString& text);

    QPointer<QObject> control_;
    QString value_;
    bool showing_ = false;
    int maximumBytes_ = 0;
};

class EditableText : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("EditableText is an attached property of text controls.")
    QML_ATTACHED(vl::design::EditableTextAttached)

public:
    static EditableTextAttached* qmlAttachedProperties(QObject* control) { return new EditableTextAttached(control); }
};

} // namespace vl::design
