import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Installer

// One page in the sidebar's list: its symbol (a check once done) and short title. The
// current page wins over done: ink on the amber-to-lime gradient with an amber glow.
// Rows only show where the user is; they do not navigate.
Rectangle {
    id: row

    property string title
    property string symbol
    property bool isActive: false
    property bool isDone: false
    readonly property color ink: Qt.rgba(26 / 255, 18 / 255, 6 / 255, 1)

    implicitHeight: content.implicitHeight + 12
    radius: 12
    color: Qt.rgba(1, 1, 1, 0.03)
    border.color: isActive ? "transparent" : Theme.glowSoft
    border.width: 1

    SoftShadow {
        z: -1
        color: Theme.faded(Theme.amber, 0.35)
        cornerRadius: 12
        blur: 16
        offsetY: 6
        visible: row.isActive
    }

    Rectangle {
        objectName: "activeFill"
        anchors.fill: parent
        radius: parent.radius
        visible: row.isActive
        gradient: Gradient {
            orientation: Gradient.Horizontal
            GradientStop { position: 0; color: Theme.amber }
            GradientStop { position: 1; color: Theme.lime }
        }
    }

    RowLayout {
        id: content
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 12
        spacing: 8

        Item {
            Layout.preferredWidth: 20
            Layout.preferredHeight: 16

            Icon {
                objectName: "mark"
                anchors.centerIn: parent
                name: row.isDone ? "checkmark.circle.fill" : row.symbol
                size: 14
                color: row.isActive ? row.ink : (row.isDone ? Theme.lime : Theme.muted)
            }
        }

        Text {
            objectName: "title"
            Layout.fillWidth: true
            text: row.title
            elide: Text.ElideRight
            font.pointSize: TextSize.points(12.5)
            font.weight: row.isActive ? Font.Bold : Font.Medium
            color: row.isActive ? row.ink : Theme.faded(Theme.cream, 0.9)
        }
    }
}
