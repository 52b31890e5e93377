import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Installer

ColumnLayout {
    id: page

    required property InstallerModel model

    spacing: 18

    PageSentence {
        text: "Verseloom always installs in " + page.model.destination + ". Your generated videos use the separate save location selected later in this setup."
    }

    Panel {
        Layout.fillWidth: true
        padding: 16

        RowLayout {
            spacing: 14

            Icon {
                name: "app.badge"
                size: 24
                color: Theme.amber
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 4
                Kicker { text: "Application install location" }
                Text {
                    objectName: "destinationText"
                    Layout.fillWidth: true
                    text: page.model.installFolder
                    elide: Text.ElideMiddle
                    font.family: "monospace"
                    font.pixelSize: 13
                    font.weight: Font.Medium
                    color: Theme.cream
                }
            }

            StatusChip {
                text: "Required"
                intent: Intent.Good
            }
        }
    }

    RowLayout {
        Layout.fillWidth: true
        spacing: 10

        Icon {
            Layout.alignment: Qt.AlignTop
            Layout.topMargin: 1
            name: "lock.shield"
            size: 13
            color: Theme.lime
        }

        Text {
            Layout.fillWidth: true
            text: "The system may request administrator authorization when the installer copies the app into " + page.model.destination + ". This does not change your generation save folder."
            wrapMode: Text.Wrap
            font.pixelSize: 12
            color: Theme.muted
        }
    }
}
