import QtQuick
import Verseloom.Design

// Icon and text side by side, centred in the button; either may be absent.
Item {
    id: label

    property string text
    property string symbol
    property color color
    property font font

    implicitWidth: row.implicitWidth
    implicitHeight: row.implicitHeight

    Row {
        id: row
        anchors.centerIn: parent
        spacing: 6

        Icon {
            anchors.verticalCenter: parent.verticalCenter
            visible: label.symbol !== ""
            name: label.symbol
            color: label.color
            size: label.font.pixelSize
        }

        Text {
            anchors.verticalCenter: parent.verticalCenter
            visible: label.text !== ""
            text: label.text
            color: label.color
            font: label.font
        }
    }
}
