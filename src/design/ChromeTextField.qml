import QtQuick
import QtQuick.Templates as T
import Verseloom.Design

// A one-line text field in the input chrome; set echoMode: TextInput.Password for a
// masked field. Height is the text's height plus 18; width comes from the layout.
T.TextField {
    id: field

    leftPadding: 12
    rightPadding: 12
    topPadding: 9
    bottomPadding: 9
    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            contentWidth + leftPadding + rightPadding, 120)
    implicitHeight: contentHeight + topPadding + bottomPadding

    color: Theme.cream
    placeholderTextColor: Theme.muted
    selectionColor: Theme.faded(Theme.lime, 0.45)
    selectedTextColor: Theme.cream
    verticalAlignment: TextInput.AlignVCenter

    background: ChromeBackground {}

    Text {
        x: field.leftPadding
        y: field.topPadding
        width: field.width - field.leftPadding - field.rightPadding
        height: field.height - field.topPadding - field.bottomPadding
        text: field.placeholderText
        font: field.font
        color: field.placeholderTextColor
        verticalAlignment: field.verticalAlignment
        elide: Text.ElideRight
        visible: !field.length && !field.preeditText
    }
}
