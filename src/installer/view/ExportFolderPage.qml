import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Installer

ColumnLayout {
    id: page

    required property InstallerController controller

    spacing: 18

    PageSentence {
        text: "Choose where completed videos should be saved. You can change this later in the app."
    }

    Panel {
        Layout.fillWidth: true
        padding: 16

        ColumnLayout {
            spacing: 14

            Kicker { text: "Generation save folder" }

            RowLayout {
                Layout.fillWidth: true
                spacing: 12

                Icon {
                    name: "folder"
                    size: 20
                    color: Theme.amber
                }

                Text {
                    objectName: "exportFolderText"
                    Layout.fillWidth: true
                    text: page.controller.exportFolderText
                    wrapMode: Text.WrapAnywhere
                    maximumLineCount: 2
                    elide: Text.ElideRight
                    font.family: "monospace"
                    font.pixelSize: 11
                    font.weight: Font.Medium
                    color: Theme.cream
                }
            }

            Row {
                spacing: 8

                PrimaryButton {
                    objectName: "chooseFolderButton"
                    text: "Choose Folder"
                    onClicked: page.controller.chooseExportFolder()
                }

                SecondaryButton {
                    objectName: "useDefaultButton"
                    text: "Use Default"
                    onClicked: page.controller.useDefaultExportFolder()
                }
            }
        }
    }
}
