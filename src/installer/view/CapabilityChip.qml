import QtQuick
import Verseloom.Design

// A small outlined capsule: a symbol and a word, both muted.
Rectangle {
    id: chip

    property string icon
    property string text

    implicitWidth: row.implicitWidth + 16
    implicitHeight: row.implicitHeight + 10
    radius: height / 2
    color: "transparent"
    border.color: Theme.glowSoft
    border.width: 1

    Row {
        id: row
        anchors.centerIn: parent
        spacing: 5

        Icon {
            anchors.verticalCenter: parent.verticalCenter
            name: chip.icon
            size: 8
            color: Theme.muted
        }

        Text {
            anchors.verticalCenter: parent.verticalCenter
            text: chip.text
            font.pixelSize: 9
            font.weight: Font.DemiBold
            color: Theme.muted
        }
    }
}
