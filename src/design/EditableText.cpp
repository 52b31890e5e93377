#include "design/EditableText.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMetaMethod>
#include <QMetaProperty>
#include <QMouseEvent>

#include <utility>

namespace vl::design {

namespace {

qsizetype utf8Bytes(const QString& text) { return text.toUtf8().size(); }

// The text a key press would insert; nothing for keys that delete, move or command.
QString typedText(const QKeyEvent& key)
{
    if (key.key() == Qt::Key_Return || key.key() == Qt::Key_Enter)
        return QStringLiteral("\n");
    const QString text = key.text();
    if (!text.isEmpty() && (text.at(0).isPrint() || text.at(0) == QLatin1Char('\t')))
        return text;
    return {};
}

ClipboardTextReader& clipboardReader()
{
    static ClipboardTextReader reader;
    return reader;
}

PastedText pastedText(std::size_t maxBytes)
{
    if (const ClipboardTextReader& reader = clipboardReader())
        return reader(maxBytes);
    return {QGuiApplication::clipboard()->text(), false};
}

} // namespace

ClipboardTextReader EditableTextAttached::setClipboardReader(ClipboardTextReader reader)
{
    return std::exchange(clipboardReader(), std::move(reader));
}

EditableTextAttached::EditableTextAttached(QObject* control)
    : QObject(control), control_(control)
{
    if (!control)
        return;
    // TextInput, TextEdit and the controls built on them all announce `textChanged`.
    const QMetaObject* meta = control->metaObject();
    const int signal = meta->indexOfSignal("textChanged()");
    const int slot = metaObject()->indexOfMethod("controlTextChanged()");
    if (signal >= 0 && slot >= 0)
        connect(control, meta->method(signal), this, metaObject()->method(slot));
}

QString EditableTextAttached::controlText() const
{
    return control_ ? control_->property("text").toString() : QString();
}

bool EditableTextAttached::controlHasFocus() const
{
    return control_ && control_->property("activeFocus").toBool();
}

void EditableTextAttached::setValue(const QString& value)
{
    if (value == value_)
        return;
    value_ = value;
    if (control_ && controlText() != value_) {
        showing_ = true;
        control_->setProperty("text", value_);
        showing_ = false;
    }
    emit valueChanged();
}

void EditableTextAttached::controlTextChanged()
{
    // Only the user changes a focused control's text; everything else (showing the
    // value, the control settling its document as it completes) is not an edit.
    if (showing_ || !controlHasFocus())
        return;
    emit edited(controlText());
}

void EditableTextAttached::setMaximumBytes(int bytes)
{
    if (bytes == maximumBytes_)
        return;
    // Only a limited control has its input looked at.
    if (control_ && maximumBytes_ <= 0 && bytes > 0)
        control_->installEventFilter(this);
    else if (control_ && maximumBytes_ > 0 && bytes <= 0)
        control_->removeEventFilter(this);
    maximumBytes_ = bytes;
    emit maximumBytesChanged();
}

bool EditableTextAttached::fits(const QString& incoming, bool replacesSelection) const
{
    if (maximumBytes_ <= 0 || !control_ || incoming.isEmpty())
        return true;
    // Cheap before exact: the UTF-8 of a text is at most three bytes per UTF-16 unit.
    const QString current = control_->property("text").toString();
    if (3 * (current.size() + incoming.size()) <= maximumBytes_)
        return true;
    if (incoming.size() > maximumBytes_)
        return false; // every UTF-16 unit is at least one byte
    const QString selected = replacesSelection ? control_->property("selectedText").toString() : QString();
    return utf8Bytes(current) - utf8Bytes(selected) + utf8Bytes(incoming) <= maximumBytes_;
}

bool EditableTextAttached::pasteIntoControl(const QString& text)
{
    if (control_->property("readOnly").toBool())
        return false;
    const int start = control_->property("selectionStart").toInt();
    const int end = control_->property("selectionEnd").toInt();
    if (end > start && !QMetaObject::invokeMethod(control_, "remove", Q_ARG(int, start), Q_ARG(int, end)))
        return false;
    return text.isEmpty() || QMetaObject::invokeMethod(control_, "insert", Q_ARG(int, start), Q_ARG(QString, text));
}

bool EditableTextAttached::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != control_ || maximumBytes_ <= 0)
        return false;
    QString incoming;
    bool replacesSelection = true;
    switch (event->type()) {
    case QEvent::KeyPress: {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (!key->matches(QKeySequence::Paste)) {
            incoming = typedText(*key);
            break;
        }
        // A paste larger than the whole limit can never fit: nothing of it is fetched.
        PastedText pasted = pastedText(static_cast<std::size_t>(maximumBytes_));
        if (pasted.tooLarge || !fits(pasted.text)) {
            event->accept();
            emit refused();
            return true;
        }
        // The text is read already: put in place here, as the control's own paste
        // would, instead of letting it fetch the copy a second time.
        if (!pasteIntoControl(pasted.text))
            return false;
        event->accept();
        return true;
    }
    case QEvent::MouseButtonRelease: {
        // On X11 the middle button pastes the selection where it is released.
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::MiddleButton && QGuiApplication::clipboard()->supportsSelection()) {
            incoming = QGuiApplication::clipboard()->text(QClipboard::Selection);
            replacesSelection = false;
        }
        break;
    }
    case QEvent::InputMethod:
        incoming = static_cast<QInputMethodEvent*>(event)->commitString();
        break;
    default:
        return false;
    }
    if (fits(incoming, replacesSelection))
        return false;
    event->accept();
    emit refused();
    return true;
}

} // namespace vl::design
