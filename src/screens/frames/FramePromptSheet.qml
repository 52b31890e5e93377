import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Screens

// Rewrite one chunk's image prompt: save it, or save it and regenerate the frame.
// The text is taken once when the sheet opens; closing with the x discards it.
//
//   FramePromptSheet { id: promptSheet; store: store; chunkID: id }   promptSheet.open()
Sheet {
    id: sheet

    property QtObject store
    property string chunkID
    readonly property FramePromptSheetModel sheetModel: FramePromptSheetModel {
        store: sheet.store
        chunkID: sheet.chunkID
        onCloseRequested: sheet.close()
    }

    title: "Edit image prompt"
    onVisibleChanged: {
        if (visible) {
            sheetModel.load();
            editor.forceActiveFocus();
        }
    }

    Item {
        implicitWidth: 520
        implicitHeight: column.implicitHeight + 40

        ColumnLayout {
            id: column
            x: 20
            y: 20
            width: parent.width - 40
            spacing: 14

            RowLayout {
                Layout.fillWidth: true
                ColumnLayout {
                    spacing: 2
                    Kicker { text: "Edit image prompt" }
                    Text {
                        text: "Regenerate from a new prompt"
                        font.family: "Anton"
                        font.pixelSize: 20
                        color: Theme.cream
                    }
                }
                Item { Layout.fillWidth: true }
                SecondaryButton {
                    objectName: "closeButton"
                    symbol: "xmark"
                    font.pixelSize: 12
                    onClicked: sheet.close()
                }
            }

            Rectangle {
                Layout.fillWidth: true
                Layout.preferredHeight: 200
                radius: 8
                color: Qt.rgba(1, 1, 1, 0.05)
                border.color: Theme.glow
                border.width: 1

                ScrollView {
                    anchors.fill: parent
                    anchors.margins: 8
                    clip: true

                    TextArea {
                        id: editor
                        objectName: "promptEditor"
                        background: null
                        padding: 0
                        wrapMode: TextEdit.Wrap
                        font.pixelSize: 13
                        color: Theme.cream
                        selectionColor: Theme.faded(Theme.lime, 0.45)
                        selectedTextColor: Theme.cream
                        EditableText.value: sheet.sheetModel.text
                        EditableText.onEdited: text => sheet.sheetModel.text = text
                    }
                }
            }

            RowLayout {
                Layout.fillWidth: true
                SecondaryButton {
                    objectName: "saveButton"
                    text: "Save"
                    onClicked: sheet.sheetModel.save()
                }
                Item { Layout.fillWidth: true }
                PrimaryButton {
                    objectName: "regenerateButton"
                    text: "Save & regenerate"
                    symbol: "arrow.clockwise"
                    styleEnabled: sheet.sheetModel.canRegenerate
                    enabled: sheet.sheetModel.canRegenerate
                    onClicked: sheet.sheetModel.saveAndRegenerate()
                }
            }
        }
    }
}
