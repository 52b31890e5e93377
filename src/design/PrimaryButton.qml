import QtQuick
import QtQuick.Templates as T
import Verseloom.Design

// The lime call to action. `styleEnabled` only changes the look (a faded lime with no
// glow); whether the button reacts is `enabled`, which the screen sets on its own:
//   PrimaryButton { text: "Export"; symbol: "square.and.arrow.up"
//                   styleEnabled: ready; enabled: ready }
T.Button {
    id: control

    property bool styleEnabled: true
    property string symbol

    leftPadding: 18
    rightPadding: 18
    topPadding: 0
    bottomPadding: 0
    implicitWidth: implicitContentWidth + leftPadding + rightPadding
    implicitHeight: Math.max(34, implicitContentHeight + topPadding + bottomPadding)

    font.pixelSize: 13
    font.weight: Font.ExtraBold

    opacity: down ? 0.85 : 1
    scale: down ? 0.98 : 1
    Behavior on opacity { NumberAnimation { duration: 120; easing.type: Easing.OutQuad } }
    Behavior on scale { NumberAnimation { duration: 120; easing.type: Easing.OutQuad } }

    contentItem: ButtonLabel {
        text: control.text
        symbol: control.symbol
        color: Qt.rgba(7 / 255, 17 / 255, 13 / 255, 1)
        font: control.font
    }

    background: Item {
        implicitHeight: 34

        SoftShadow {
            objectName: "shadow"
            color: Theme.faded(Theme.lime, control.styleEnabled ? 0.35 : 0)
            cornerRadius: 8
            blur: 18
            offsetY: 8
            visible: control.styleEnabled
        }

        Rectangle {
            objectName: "fill"
            anchors.fill: parent
            radius: 8
            color: control.styleEnabled ? Theme.lime : Theme.faded(Theme.lime, 0.35)
        }
    }
}
