import QtQuick
import Verseloom.Design

// A small capsule label whose text, fill and outline take the colour of its intent:
//   StatusChip { text: "Ready"; intent: Intent.Good }
Rectangle {
    id: chip

    property string text
    property int intent: Intent.Neutral
    readonly property color intentColor: Theme.intentColor(intent)

    implicitWidth: label.implicitWidth + 16
    implicitHeight: label.implicitHeight + 8
    radius: height / 2
    color: Theme.faded(intentColor, 0.12)
    border.color: Theme.faded(intentColor, 0.4)
    border.width: 1

    Text {
        id: label
        objectName: "label"
        anchors.centerIn: parent
        text: chip.text
        color: chip.intentColor
        font.capitalization: Font.AllUppercase
        // 9.5 in the design; font pixel sizes are whole numbers here.
        font.pixelSize: 10
        font.bold: true
        font.letterSpacing: 0.6
    }
}
