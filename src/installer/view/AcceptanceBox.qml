import QtQuick
import QtQuick.Templates as T
import Verseloom.Design

// The agreement pages' checkbox: a lime check when ticked, the label in cream.
T.CheckBox {
    id: box

    spacing: 8
    padding: 2
    implicitWidth: implicitIndicatorWidth + spacing + implicitContentWidth + leftPadding + rightPadding
    implicitHeight: Math.max(implicitIndicatorHeight, implicitContentHeight) + topPadding + bottomPadding
    font.pixelSize: 13
    font.weight: Font.Medium

    indicator: Item {
        x: box.leftPadding
        y: (box.height - height) / 2
        implicitWidth: 18
        implicitHeight: 18

        Rectangle {
            anchors.fill: parent
            anchors.margins: 1
            radius: 4
            color: box.checked ? "transparent" : Theme.faded(Theme.night, 0.6)
            border.color: box.checked ? "transparent" : Theme.glow
            border.width: 1
        }

        Icon {
            objectName: "check"
            anchors.centerIn: parent
            visible: box.checked
            name: "checkmark.square.fill"
            size: 18
            color: Theme.lime
        }
    }

    contentItem: Text {
        leftPadding: box.indicator.width + box.spacing
        verticalAlignment: Text.AlignVCenter
        text: box.text
        font: box.font
        color: Theme.cream
    }
}
