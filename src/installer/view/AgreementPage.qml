import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Installer

// A document in a scrolling box, shown exactly as written, and the checkbox that must be
// ticked before Continue opens.
ColumnLayout {
    id: page

    property string document
    property bool accepted: false
    property string label
    property int boxHeight: 260
    signal acceptanceChanged(bool accepted)

    spacing: 14

    Rectangle {
        objectName: "documentBox"
        Layout.fillWidth: true
        Layout.preferredHeight: page.boxHeight
        radius: 12
        color: Qt.rgba(0, 0, 0, 0.25)
        border.color: Theme.glowSoft
        border.width: 1

        Flickable {
            id: scroller
            anchors.fill: parent
            anchors.margins: 1
            clip: true
            contentWidth: width
            contentHeight: documentText.implicitHeight
            boundsBehavior: Flickable.StopAtBounds
            ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

            Text {
                id: documentText
                objectName: "documentText"
                width: scroller.width
                padding: 14
                text: page.document
                textFormat: Text.PlainText
                wrapMode: Text.Wrap
                font.pointSize: TextSize.points(12.5)
                color: Theme.faded(Theme.cream, 0.82)
            }
        }
    }

    AcceptanceBox {
        objectName: "acceptance"
        text: page.label
        checked: page.accepted
        onToggled: page.acceptanceChanged(checked)
    }
}
