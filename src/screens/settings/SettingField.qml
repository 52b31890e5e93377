import QtQuick
import QtQuick.Layouts
import Verseloom.Design

// One advanced setting: its kicker over a text field. The field shows `value` and
// reports only what the user types (see EditableText); `editingFinished` is the
// field's own (Return, or leaving it), typed into or not.
ColumnLayout {
    id: setting

    property string label
    property string placeholder
    property string value

    signal edited(string text)
    signal editingFinished()

    Layout.fillWidth: true
    spacing: 6

    Kicker { text: setting.label }
    ChromeTextField {
        id: field
        objectName: "field"
        Layout.fillWidth: true
        placeholderText: setting.placeholder
        EditableText.value: setting.value
        EditableText.onEdited: text => setting.edited(text)
        onEditingFinished: setting.editingFinished()
    }
}
