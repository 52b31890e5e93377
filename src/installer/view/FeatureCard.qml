import QtQuick
import QtQuick.Layouts
import Verseloom.Design

// One thing the installer sets up, on the welcome page.
Rectangle {
    id: card

    property string icon
    property string title
    property string detail

    implicitHeight: row.implicitHeight + 28
    radius: 12
    color: Qt.rgba(1, 1, 1, 0.035)
    border.color: Theme.glowSoft
    border.width: 1

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.margins: 14
        spacing: 12

        Item {
            Layout.preferredWidth: 30
            Layout.preferredHeight: 20
            Icon {
                anchors.centerIn: parent
                name: card.icon
                size: 16
                color: Theme.amber
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            spacing: 2
            Text {
                text: card.title
                font.pixelSize: 14
                font.weight: Font.DemiBold
                color: Theme.cream
            }
            Text {
                Layout.fillWidth: true
                text: card.detail
                wrapMode: Text.Wrap
                font.pixelSize: 12
                color: Theme.muted
            }
        }
    }
}
