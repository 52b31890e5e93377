import QtQuick
import Verseloom.Design

// A small outlined capsule: a symbol and a few words, both muted. Given less than its
// natural width, the words wrap onto more lines; only a word longer than the whole
// chip is cut, with an ellipsis.
Rectangle {
    id: chip

    property string icon
    property string text

    // The words on one line, and the narrowest the chip can be without cutting a word:
    // measured apart from the label, whose own implicit width follows the width it
    // wraps in. One pixel spare keeps a width's rounding from wrapping a line that fits.
    implicitWidth: label.x + Math.ceil(metrics.advanceWidth(text)) + 9
    readonly property real minimumWidth: label.x + Math.ceil(longestWord()) + 9

    function longestWord() {
        return text.split(/\s+/).reduce((widest, word) => Math.max(widest, metrics.advanceWidth(word)), 0)
    }
    implicitHeight: Math.max(glyph.height, label.contentHeight) + 10
    radius: Math.min(height / 2, 12)
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

    FontMetrics {
        id: metrics
        font: label.font
    }

    Text {
        id: label
        objectName: "chipText"
        x: glyph.x + glyph.width + 5
        width: Math.max(0, chip.width - x - 8)
        anchors.verticalCenter: parent.verticalCenter
        text: chip.text
        wrapMode: Text.WordWrap
        maximumLineCount: 3
        elide: Text.ElideRight
        font.pixelSize: 9
        font.weight: Font.DemiBold
        color: Theme.muted
    }
}
