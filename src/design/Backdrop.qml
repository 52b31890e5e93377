import QtQuick
import Verseloom.Design

// The full-window backdrop: a dark three-stop gradient with a coral glow above the top
// left and a lime glow at the top right. Put it first in a window or sheet and fill:
//   Backdrop { anchors.fill: parent }
Item {
    id: backdrop

    Rectangle {
        anchors.fill: parent
        gradient: Gradient {
            GradientStop { position: 0.0; color: Qt.rgba(2 / 255, 16 / 255, 15 / 255, 1) }
            GradientStop { position: 0.5; color: Qt.rgba(6 / 255, 24 / 255, 24 / 255, 1) }
            GradientStop { position: 1.0; color: Qt.rgba(2 / 255, 12 / 255, 12 / 255, 1) }
        }
    }

    RadialGlow {
        anchors.fill: parent
        color: Theme.faded(Theme.coral, 0.18)
        unitCenterX: 0.15
        unitCenterY: -0.05
        radius: 520
    }

    RadialGlow {
        anchors.fill: parent
        color: Theme.faded(Theme.lime, 0.12)
        unitCenterX: 0.9
        unitCenterY: 0
        radius: 460
    }
}
