import QtQuick
import QtQuick.Templates as T
import Verseloom.Design

// The installer's glowing call to action: ink on a lime-to-amber gradient with an amber
// glow. `styleEnabled` is the look only; the caller decides `enabled`.
T.Button {
    id: control

    property bool styleEnabled: true
    property string symbol
    readonly property color ink: Qt.rgba(26 / 255, 18 / 255, 6 / 255, 1)

    leftPadding: 22
    rightPadding: 22
    topPadding: 0
    bottomPadding: 0
    implicitWidth: implicitContentWidth + leftPadding + rightPadding
    implicitHeight: Math.max(44, implicitContentHeight)

    font.pixelSize: 14
    font.weight: Font.ExtraBold

    opacity: down ? 0.9 : 1
    scale: down ? 0.98 : 1
    Behavior on opacity { NumberAnimation { duration: 120; easing.type: Easing.OutQuad } }
    Behavior on scale { NumberAnimation { duration: 120; easing.type: Easing.OutQuad } }

    contentItem: CallLabel {
        text: control.text
        symbol: control.symbol
        color: control.ink
        font: control.font
    }

    background: Item {
        implicitHeight: 44

        SoftShadow {
            color: Theme.faded(Theme.amber, 0.4)
            cornerRadius: 12
            blur: 18
            offsetY: 8
            visible: control.styleEnabled
        }

        Rectangle {
            objectName: "fill"
            anchors.fill: parent
            radius: 12
            visible: !control.styleEnabled
            color: Theme.faded(Theme.lime, 0.3)
        }

        Rectangle {
            objectName: "glowingFill"
            anchors.fill: parent
            radius: 12
            visible: control.styleEnabled
            gradient: Gradient {
                GradientStop { position: 0; color: Theme.lime }
                GradientStop { position: 1; color: Theme.amber }
            }
        }
    }

    // Icon and text side by side, centred in the button. Its own component: the row it
    // measures needs an id, which the button's deferred contentItem must not hold.
    component CallLabel: Item {
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
            spacing: 7

            Icon {
                anchors.verticalCenter: parent.verticalCenter
                visible: label.symbol !== ""
                name: label.symbol
                color: label.color
                size: 15
            }

            Text {
                objectName: "label"
                anchors.verticalCenter: parent.verticalCenter
                text: label.text
                color: label.color
                font: label.font
            }
        }
    }
}
