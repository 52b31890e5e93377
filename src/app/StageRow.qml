import QtQuick
import QtQuick.Layouts
import Verseloom.Design

// One sidebar row: symbol, label, status dot. The whole rounded rectangle takes the
// tap, the empty middle included; the list decides what a tap does.
Rectangle {
    id: row

    property string label
    property string symbol
    property color dotColor
    property bool isSelected
    signal tapped()

    implicitHeight: content.implicitHeight + 18
    radius: 8
    color: isSelected ? Theme.faded(Theme.lime, 0.12) : "transparent"
    border.width: 1
    border.color: isSelected ? Theme.glow : "transparent"

    RowLayout {
        id: content
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 12
        anchors.topMargin: 9
        anchors.bottomMargin: 9
        spacing: 11

        Item {
            Layout.preferredWidth: 20
            Layout.preferredHeight: 16
            Icon {
                anchors.centerIn: parent
                name: row.symbol
                size: 13
                color: row.isSelected ? Theme.lime : Theme.faded(Theme.cream, 0.85)
            }
        }
        Text {
            objectName: "stageLabel"
            text: row.label
            color: Theme.cream
            font.pixelSize: 13
            font.weight: row.isSelected ? Font.ExtraBold : Font.Medium
        }
        Item { Layout.fillWidth: true }
        Rectangle {
            objectName: "statusDot"
            Layout.preferredWidth: 7
            Layout.preferredHeight: 7
            radius: 3.5
            color: row.dotColor
        }
    }

    MouseArea {
        anchors.fill: parent
        onClicked: row.tapped()
    }
}
