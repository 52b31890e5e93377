import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Support

// One chunk of the plan: its number and start, the text that must stand in the frame
// and the image prompt (both edited in place through the row), its chips, and its own
// Generate button. `model` is the chunk's row of `ScreenServices.chunks`.
Panel {
    id: card

    required property var model
    property bool busy

    signal generateRequested(string chunkID)

    padding: 16

    RowLayout {
        spacing: 16

        ColumnLayout {
            Layout.alignment: Qt.AlignTop
            spacing: 4
            Item {
                Layout.alignment: Qt.AlignHCenter
                implicitWidth: 40
                implicitHeight: 40
                Rectangle {
                    anchors.fill: parent
                    radius: width / 2
                    color: "transparent"
                    border.color: Theme.amber
                    border.width: 1
                }
                Text {
                    objectName: "chunkNumber"
                    anchors.centerIn: parent
                    text: card.model.chunkNumber
                    font.family: "Anton"
                    font.pixelSize: 18
                    color: Theme.amber
                }
            }
            Text {
                objectName: "chunkStart"
                Layout.alignment: Qt.AlignHCenter
                text: Format.minutesSeconds(card.model.start)
                font.pixelSize: 10
                font.weight: Font.Medium
                font.family: "monospace"
                color: Theme.muted
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignTop
            spacing: 8

            ColumnLayout {
                spacing: 3
                Kicker { text: "Rendered text" }
                TextField {
                    objectName: "renderedTextField"
                    Layout.fillWidth: true
                    placeholderText: "Text on the frame"
                    placeholderTextColor: Theme.muted
                    EditableText.value: card.model.renderedText
                    EditableText.onEdited: text => card.model.renderedText = text
                    font.pixelSize: 15
                    font.bold: true
                    color: Theme.cream
                    selectionColor: Theme.faded(Theme.lime, 0.45)
                    background: null
                    leftPadding: 0
                    rightPadding: 0
                    topPadding: 2
                    bottomPadding: 2
                }
            }

            Text {
                objectName: "lyricExcerpt"
                Layout.fillWidth: true
                visible: card.model.lyricExcerpt !== ""
                text: "\u201C" + card.model.lyricExcerpt + "\u201D"
                wrapMode: Text.Wrap
                font.pixelSize: 11
                color: Theme.muted
            }

            ColumnLayout {
                spacing: 3
                Kicker { text: "Image prompt" }
                // Grows with its text from one to four lines, then scrolls.
                ScrollView {
                    Layout.fillWidth: true
                    Layout.preferredHeight: Math.min(promptField.implicitHeight, 4 * promptField.lineHeight + 4)
                    TextArea {
                        id: promptField
                        objectName: "imagePromptField"
                        readonly property real lineHeight: fontMetrics.lineSpacing
                        placeholderText: "Frame prompt"
                        placeholderTextColor: Theme.muted
                        EditableText.value: card.model.imagePrompt
                        EditableText.onEdited: text => card.model.imagePrompt = text
                        wrapMode: TextEdit.Wrap
                        font.pixelSize: 12
                        color: Theme.cream
                        selectionColor: Theme.faded(Theme.lime, 0.45)
                        background: null
                        padding: 2
                        leftPadding: 0
                        FontMetrics { id: fontMetrics; font: promptField.font }
                    }
                }
            }

            Flow {
                objectName: "chips"
                Layout.fillWidth: true
                spacing: 8
                StatusChip {
                    objectName: "frameChip"
                    text: card.model.frameChipText
                    intent: card.model.frameChipIntent
                }
                StatusChip {
                    objectName: "characterChip"
                    visible: card.model.primaryCharacterInFrame
                    text: "Character"
                    intent: Intent.Accent
                }
                Repeater {
                    model: card.model.elementIdsUsed
                    delegate: StatusChip {
                        required property string modelData
                        text: modelData
                        intent: Intent.Neutral
                    }
                }
            }
        }

        SecondaryButton {
            objectName: "generateButton"
            Layout.alignment: Qt.AlignTop
            text: card.model.generateText
            symbol: "sparkles"
            enabled: !card.busy
            onClicked: card.generateRequested(card.model.chunkID)
        }
    }
}
