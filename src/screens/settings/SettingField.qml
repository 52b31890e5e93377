import QtQuick
import QtQuick.Layouts
import Verseloom.Design

// One advanced setting: its kicker over a text field. The field shows `value`, reports
// every edit, and reports the text to commit when editing finishes (Return or leaving
// the field); a value the commit changes is shown.
ColumnLayout {
    id: setting

    property string label
    property string placeholder
    property string value

    signal edited(string text)
    signal committed(string text)

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
        onEditingFinished: setting.committed(text)
    }
}
