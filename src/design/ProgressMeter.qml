import QtQuick
import Verseloom.Design

// A thin bar: a soft track with a `tint` fill covering `value` (0…1) of the width.
// Out-of-range values are clamped; a value that is not a number shows a full bar.
Item {
    id: meter

    property real value: 0
    property color tint: Theme.lime
    readonly property real fraction: isNaN(value) ? 1 : Math.max(0, Math.min(1, value))

    implicitWidth: 160
    implicitHeight: 8

    Rectangle {
        objectName: "track"
        anchors.fill: parent
        radius: height / 2
        color: Theme.glowSoft
    }

    Rectangle {
        objectName: "fill"
        height: parent.height
        width: parent.width * meter.fraction
        radius: height / 2
        color: meter.tint
    }
}
