import QtQuick
import QtQuick.Templates as T
import Verseloom.Design

// The quiet alternative ("Not Now", "Replace…"): cream text on a faint veil with a
// hairline outline. Dims while pressed; no other states.
T.Button {
    id: control

    property string symbol

    leftPadding: 16
    rightPadding: 16
    topPadding: 0
    bottomPadding: 0
    implicitWidth: implicitContentWidth + leftPadding + rightPadding
    implicitHeight: Math.max(34, implicitContentHeight + topPadding + bottomPadding)

    font.pixelSize: 13
    font.bold: true

    opacity: down ? 0.8 : 1

    contentItem: ButtonLabel {
        text: control.text
        symbol: control.symbol
        color: Theme.cream
        font: control.font
    }

    background: Rectangle {
        objectName: "fill"
        implicitHeight: 34
        radius: 8
        color: Qt.rgba(247 / 255, 236 / 255, 210 / 255, 0.05)
        border.color: Theme.glow
        border.width: 1
    }
}
