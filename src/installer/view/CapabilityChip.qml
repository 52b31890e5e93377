import QtQuick
import Verseloom.Design

// A small outlined capsule: a symbol and a word, both muted. Given less than its natural
// width, the word is cut with an ellipsis.
Rectangle {
    id: chip

    property string icon
    property string text

    implicitWidth: label.x + label.implicitWidth + 8
    implicitHeight: Math.max(glyph.height, label.implicitHeight) + 10
    radius: height / 2
    color: "transparent"
    border.color: Theme.glowSoft
    border.width: 1

    Icon {
        id: glyph
        x: 8
        width: 8
        height: 8
        anchors.verticalCenter: parent.verticalCenter
        name: chip.icon
        size: 8
        color: Theme.muted
    }

    Text {
        id: label
        objectName: "chipText"
        x: glyph.x + glyph.width + 5
        width: Math.max(0, chip.width - x - 8)
        anchors.verticalCenter: parent.verticalCenter
        text: chip.text
        elide: Text.ElideRight
        font.pixelSize: 9
        font.weight: Font.DemiBold
        color: Theme.muted
    }
}
