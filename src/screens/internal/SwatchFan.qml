pragma ComponentBehavior: Bound

import QtQuick
import Verseloom.Design

// The plan's colour scheme as a small fan of tilted bars pivoting on one bottom point.
// `swatches` holds {color, angle} entries, already cut to the first seven and angled.
Item {
    id: fan
    objectName: "swatchFan"

    property var swatches: []

    implicitWidth: 15
    implicitHeight: 66
    Accessible.role: Accessible.Graphic
    Accessible.name: "Color scheme"

    Repeater {
        objectName: "swatches"
        model: fan.swatches
        delegate: Item {
            id: swatch
            required property var modelData
            required property int index
            objectName: "swatch" + index
            readonly property real angle: modelData.angle

            x: 0
            y: (fan.height - height) / 2
            width: 15
            height: 46
            transform: Rotation { origin.x: 7.5; origin.y: 46; angle: swatch.angle }

            // Shadow: black at 0.3, blurred by 2, one down.
            SoftShadow {
                color: Qt.rgba(0, 0, 0, 0.3)
                cornerRadius: 3
                blur: 2
                offsetY: 1
            }
            Rectangle {
                anchors.fill: parent
                radius: 3
                color: swatch.modelData.color
                border.color: Theme.glow
                border.width: 0.75
            }
        }
    }
}
