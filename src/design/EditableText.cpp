#include "design/EditableText.h"

#include <QMetaMethod>
#include <QMetaProperty>

namespace vl::design {

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

} // namespace vl::design
