pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Screens

// The third stage: the concept line, the characters with their reference pictures, the
// choice of the one the video is built around, and the step to the storyboard.
ColumnLayout {
    id: characterView
    objectName: "characterManagerView"
    spacing: 20

    CharacterManagerModel {
        id: cast
        services: ScreenServices
    }

    // The workspace keeps the page built; chosen again, the new character's name starts
    // empty, as on a new page.
    function startAfresh() { cast.newName = ""; }

    SurfaceHeader {
        Layout.fillWidth: true
        kicker: "Step 3 · Characters"
        title: "Cast the character."
        subtitle: "Add the recurring subject and a reference image. The plan is generated around this character, so set it up before the storyboard."
    }

    Panel {
        Layout.fillWidth: true
        padding: 16
        ColumnLayout {
            spacing: 8
            Kicker { text: "Concept guidance (optional)" }
            ScrollingTextArea {
                area.objectName: "conceptField"
                Layout.fillWidth: true
                maximumLines: 3
                placeholderText: "e.g. 80s neon, moody, mirrorball light-play"
                font.pixelSize: 13
                value: cast.conceptPrompt
                onEdited: text => cast.conceptPrompt = text
            }
            Text {
                text: "Sent to the planner as style guidance to steer the art direction."
                font.pixelSize: 10
                color: Theme.muted
            }
        }
    }

    Panel {
        Layout.fillWidth: true
        padding: 16
        RowLayout {
            ChromeTextField {
                objectName: "newNameField"
                Layout.fillWidth: true
                placeholderText: "New character name"
                EditableText.value: cast.newName
                EditableText.onEdited: text => cast.newName = text
            }
            PrimaryButton {
                objectName: "addButton"
                text: "Add"
                enabled: cast.canAdd
                styleEnabled: cast.canAdd
                onClicked: cast.add()
            }
        }
    }

    Panel {
        objectName: "noCharacters"
        Layout.fillWidth: true
        visible: !cast.hasCharacters
        padding: 16
        Text {
            topPadding: 16
            bottomPadding: 16
            horizontalAlignment: Text.AlignHCenter
            wrapMode: Text.Wrap
            text: "No characters yet. Add one and give it a reference image to keep the subject consistent across the video."
            font.pixelSize: 12
            color: Theme.muted
        }
    }

    Text {
        visible: cast.hasCharacters
        text: "Only one character is used for the video. Check the one to build the plan around."
        font.pixelSize: 10
        color: Theme.muted
    }

    Repeater {
        objectName: "characterCards"
        model: ScreenServices.characters
        delegate: CharacterCard { castModel: cast }
    }

    PrimaryButton {
        objectName: "storyboardButton"
        visible: cast.hasCharacters && cast.showsStoryboardButton
        text: cast.storyboardButtonText
        symbol: cast.storyboardButtonSymbol
        enabled: cast.canGoToStoryboard
        styleEnabled: !cast.busy
        onClicked: cast.goToStoryboard()
    }

    // One character: the check box, the thumbnail, the name, notes and reference row.
    component CharacterCard: Item {
        id: card
        required property var model
        required property int index
        property CharacterManagerModel castModel

        objectName: "characterCard" + index
        Layout.fillWidth: true
        implicitHeight: cardPanel.implicitHeight

        Panel {
            id: cardPanel
            anchors.fill: parent
            padding: 16

            RowLayout {
                spacing: 12

                AbstractButton {
                    objectName: "primaryCheck"
                    Layout.alignment: Qt.AlignTop
                    implicitWidth: 20
                    implicitHeight: 20
                    ToolTip.visible: hovered
                    ToolTip.text: "Use this character for the video"
                    contentItem: Icon {
                        name: card.model.isPrimary ? "checkmark.square.fill" : "square"
                        size: 18
                        color: card.model.isPrimary ? Theme.lime : Theme.muted
                    }
                    onClicked: card.castModel.setPrimary(card.model.characterID)
                }

                CharacterThumb {
                    Layout.alignment: Qt.AlignTop
                    source: card.model.thumbnailSource
                    isProcessing: card.model.isProcessing
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    Layout.alignment: Qt.AlignTop
                    spacing: 10

                    RowLayout {
                        Icon { name: "person.crop.rectangle.stack"; size: 13; color: Theme.coral }
                        TextField {
                            objectName: "nameField"
                            Layout.fillWidth: true
                            placeholderText: "Name"
                            placeholderTextColor: Theme.muted
                            EditableText.value: card.model.name
                            EditableText.onEdited: text => card.model.name = text
                            font.pixelSize: 15
                            font.bold: true
                            color: Theme.cream
                            selectionColor: Theme.faded(Theme.lime, 0.45)
                            background: null
                            leftPadding: 0
                        }
                        StatusChip {
                            objectName: "activeChip"
                            visible: card.model.isPrimary
                            text: card.model.activeChipText
                            intent: Intent.Accent
                        }
                        SecondaryButton {
                            objectName: "deleteButton"
                            symbol: "trash"
                            ToolTip.visible: hovered
                            ToolTip.text: "Delete character"
                            onClicked: card.castModel.remove(card.model.characterID)
                        }
                    }

                    ColumnLayout {
                        spacing: 4
                        Kicker { text: "Consistency notes" }
                        ChromeTextField {
                            objectName: "notesField"
                            Layout.fillWidth: true
                            placeholderText: "e.g. platinum hair, magenta sunglasses, floral blazer"
                            font.pixelSize: 12
                            EditableText.value: card.model.notes
                            EditableText.onEdited: text => card.model.notes = text
                        }
                    }

                    RowLayout {
                        StatusChip {
                            objectName: "statusChip"
                            text: card.model.statusText
                            intent: card.model.statusIntent
                        }
                        Item { Layout.fillWidth: true }
                        SecondaryButton {
                            objectName: "referenceButton"
                            text: card.model.referenceButtonText
                            enabled: !card.model.isProcessing
                            onClicked: card.castModel.chooseReference(card.model.characterID)
                        }
                    }
                }
            }
        }

        // The active character's outline, over the whole card.
        Rectangle {
            objectName: "activeOutline"
            anchors.fill: parent
            radius: 10
            color: "transparent"
            border.width: 1.5
            border.color: card.model.isPrimary ? Theme.faded(Theme.lime, 0.5) : "transparent"
        }
    }

    component CharacterThumb: Item {
        id: thumb
        property string source
        property bool isProcessing

        implicitWidth: 72
        implicitHeight: 72

        Rectangle {
            objectName: "thumbnailPlaceholder"
            anchors.fill: parent
            radius: 8
            color: Theme.surface
            visible: picture.status !== Image.Ready
            Icon { anchors.centerIn: parent; name: "person.fill"; size: 22; color: Theme.muted }
        }
        RoundedPicture {
            id: picture
            objectName: "thumbnail"
            anchors.fill: parent
            radius: 8
            source: thumb.source
            cache: false
        }
        Rectangle {
            anchors.fill: parent
            radius: 8
            visible: thumb.isProcessing
            color: Qt.rgba(0, 0, 0, 0.45)
            BusyIndicator {
                anchors.centerIn: parent
                width: 20
                height: 20
                running: parent.visible
            }
        }
        Rectangle {
            anchors.fill: parent
            radius: 8
            color: "transparent"
            border.color: Theme.glow
            border.width: 1
        }
    }
}
