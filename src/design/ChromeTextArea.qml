import QtQuick
import QtQuick.Templates as T
import Verseloom.Design

// A multi-line text field in the input chrome. It grows with its text; callers bound it
// with Layout.minimumHeight / maximumHeight when a line range matters. The outline
// grows with it while the 9 px margins stay.
T.TextArea {
    id: area

    leftPadding: 12
    rightPadding: 12
    topPadding: 9
    bottomPadding: 9
    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            contentWidth + leftPadding + rightPadding, 120)
    implicitHeight: contentHeight + topPadding + bottomPadding

    wrapMode: TextEdit.Wrap
    color: Theme.cream
    placeholderTextColor: Theme.muted
    selectionColor: Theme.faded(Theme.lime, 0.45)
    selectedTextColor: Theme.cream

    background: ChromeBackground {}

    Text {
        x: area.leftPadding
        y: area.topPadding
        width: area.width - area.leftPadding - area.rightPadding
        text: area.placeholderText
        font: area.font
        color: area.placeholderTextColor
        wrapMode: Text.Wrap
        visible: !area.length && !area.preeditText
    }
}
