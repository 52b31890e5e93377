import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Screens

// Describe a change to one chunk's frame in words, watch the edit run, and step
// through the frame's versions. Everything it decides comes from FrameEditSheetModel.
//
//   FrameEditSheet { id: editSheet; store: store; chunkID: id }   editSheet.open()
Sheet {
    id: sheet

    property QtObject store
    property string chunkID
    readonly property FrameEditSheetModel sheetModel: FrameEditSheetModel {
        store: sheet.store
        chunkID: sheet.chunkID
    }

    title: "Edit frame"
    onVisibleChanged: {
        if (visible) {
            sheetModel.begin();
            instruction.area.forceActiveFocus();
        }
    }

    Item {
        implicitWidth: 460
        implicitHeight: column.implicitHeight + 44

        ColumnLayout {
            id: column
            x: 22
            y: 22
            width: parent.width - 44
            spacing: 16

            RowLayout {
                Layout.fillWidth: true
                ColumnLayout {
                    spacing: 2
                    Kicker { text: "Edit frame" }
                    Text {
                        text: "Describe the change"
                        font.family: "Anton"
                        font.pixelSize: 22
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

            // 9:16, at most 300 high, centred in the column.
            FrameImageView {
                objectName: "frameImage"
                visible: sheet.sheetModel.chunkExists
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredHeight: Math.min(300, column.width / 0.5625)
                Layout.preferredWidth: Layout.preferredHeight * 0.5625
                hasFrame: sheet.sheetModel.hasFrame
                localPath: sheet.sheetModel.localPath
                remoteURL: sheet.sheetModel.remoteURL
                fallbackText: sheet.sheetModel.renderedText
                accepted: sheet.sheetModel.hasFrame

                // The whole request, on as many lines as it takes.
                Rectangle {
                    objectName: "lastEditTag"
                    visible: sheet.sheetModel.lastEditText !== ""
                    anchors.left: parent.left
                    anchors.bottom: parent.bottom
                    anchors.margins: 8
                    width: Math.min(tag.implicitWidth, parent.width - 16 - 12) + 12
                    height: tag.height + 12
                    radius: 6
                    color: Qt.rgba(0, 0, 0, 0.5)
                    Text {
                        id: tag
                        objectName: "lastEditText"
                        x: 6
                        y: 6
                        width: parent.width - 12
                        text: sheet.sheetModel.lastEditText
                        font.pixelSize: 10
                        font.weight: Font.DemiBold
                        color: Theme.cream
                        wrapMode: Text.Wrap
                    }
                }
            }

            RowLayout {
                visible: sheet.sheetModel.chunkExists
                Layout.fillWidth: true
                spacing: 10

                // One line to three, then it scrolls; the model decides what Return does.
                ScrollingTextArea {
                    id: instruction
                    area.objectName: "instructionField"
                    Layout.fillWidth: true
                    maximumLines: 3
                    placeholderText: "e.g. make the sky sunset orange, fix the sign spelling"
                    font.pixelSize: 13
                    value: sheet.sheetModel.text
                    onEdited: text => sheet.sheetModel.text = text
                    returnHandler: modifiers => sheet.sheetModel.returnPressed(modifiers)
                }

                PrimaryButton {
                    objectName: "sendButton"
                    Layout.preferredWidth: 52
                    symbol: sheet.sheetModel.busy ? "" : "paperplane.fill"
                    font.pixelSize: 14
                    font.bold: true
                    styleEnabled: sheet.sheetModel.canSend
                    enabled: sheet.sheetModel.canSend
                    onClicked: sheet.sheetModel.send()

                    Spinner {
                        objectName: "sendSpinner"
                        anchors.centerIn: parent
                        width: 16
                        height: 16
                        lineWidth: 2
                        color: Qt.rgba(7 / 255, 17 / 255, 13 / 255, 1)
                        visible: sheet.sheetModel.busy
                    }
                }
            }

            ProgressMeter {
                objectName: "progressMeter"
                visible: sheet.sheetModel.chunkExists && sheet.sheetModel.showsMeter
                Layout.fillWidth: true
                value: sheet.sheetModel.progress
                tint: Theme.lime
            }

            RowLayout {
                visible: sheet.sheetModel.chunkExists
                Layout.fillWidth: true
                spacing: 10

                SecondaryButton {
                    objectName: "undoButton"
                    text: "Undo"
                    symbol: "arrow.uturn.backward"
                    enabled: sheet.sheetModel.canUndo
                    opacity: enabled ? 1 : 0.4
                    onClicked: sheet.sheetModel.undo()
                }
                SecondaryButton {
                    objectName: "redoButton"
                    text: "Redo"
                    symbol: "arrow.uturn.forward"
                    enabled: sheet.sheetModel.canRedo
                    opacity: enabled ? 1 : 0.4
                    onClicked: sheet.sheetModel.redo()
                }
                Item { Layout.fillWidth: true }
                Text {
                    objectName: "versionLabel"
                    text: sheet.sheetModel.versionLabel
                    font.pixelSize: 10
                    color: Theme.muted
                }
            }
        }
    }

    Shortcut {
        sequences: ["Ctrl+Return", "Ctrl+Enter"]
        enabled: sheet.visible
        onActivated: sheet.sheetModel.send()
    }
}
