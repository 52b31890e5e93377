import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Installer

ColumnLayout {
    id: page

    required property InstallerController controller
    readonly property InstallerModel model: controller.model

    spacing: 16

    Rectangle {
        Layout.fillWidth: true
        implicitHeight: row.implicitHeight + 32
        radius: 12
        color: Theme.faded(Theme.lime, 0.06)
        border.color: Theme.faded(Theme.lime, 0.35)
        border.width: 1

        RowLayout {
            id: row
            anchors.fill: parent
            anchors.margins: 16
            spacing: 12

            Icon {
                name: "checkmark.seal.fill"
                size: 30
                color: Theme.lime
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 3
                Text {
                    text: "Verseloom is installed."
                    font.pixelSize: 16
                    font.bold: true
                    color: Theme.cream
                }
                Text {
                    objectName: "installedTo"
                    Layout.fillWidth: true
                    text: page.controller.installedToText
                    elide: Text.ElideRight
                    font.pixelSize: 12
                    color: Theme.muted
                }
            }
        }
    }

    Text {
        objectName: "whisperSummary"
        Layout.fillWidth: true
        text: page.model.whisperSummary
        wrapMode: Text.Wrap
        font.pixelSize: 12
        color: Theme.muted
    }
}
