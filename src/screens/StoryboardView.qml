pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Screens

// The storyboard stage: planning, then the plan's elements, the counts with "Generate
// all frames", and one card per chunk.
ColumnLayout {
    id: storyboardView
    objectName: "storyboardView"
    spacing: 20

    StoryboardModel {
        id: storyboard
        services: ScreenServices
    }

    Item {
        Layout.fillWidth: true
        implicitHeight: header.implicitHeight

        SurfaceHeader {
            id: header
            width: parent.width
            kicker: "Step 4 · Storyboard"
            title: "Plan the frames."
            subtitle: "The planner turns the transcript and your character into an art-direction plan: recurring elements, and a prompt for every frame."
        }
        SwatchFan {
            anchors.top: parent.top
            anchors.topMargin: 2
            anchors.right: parent.right
            visible: storyboard.swatches.length > 0
            swatches: storyboard.swatches
        }
    }

    // ---- Without chunks ---------------------------------------------------------------
    Panel {
        objectName: "emptyStoryboard"
        Layout.fillWidth: true
        visible: !storyboard.hasChunks
        padding: 16

        ColumnLayout {
            spacing: 12
            Item { Layout.preferredHeight: 8 }
            Icon { Layout.alignment: Qt.AlignHCenter; name: "rectangle.grid.1x2"; size: 30; color: Theme.amber }
            Text {
                objectName: "emptyTitle"
                Layout.alignment: Qt.AlignHCenter
                text: storyboard.emptyTitle
                font.pixelSize: 15
                font.bold: true
                color: Theme.cream
            }
            Text {
                Layout.alignment: Qt.AlignHCenter
                visible: !storyboard.hasUsableCharacter
                text: "The plan is generated from your character's reference image."
                font.pixelSize: 12
                color: Theme.muted
            }
            SecondaryButton {
                objectName: "goToCharactersButton"
                Layout.alignment: Qt.AlignHCenter
                visible: !storyboard.hasUsableCharacter
                text: "Go to Characters"
                onClicked: storyboard.goToCharacters()
            }
            PrimaryButton {
                objectName: "planButton"
                Layout.alignment: Qt.AlignHCenter
                visible: storyboard.hasUsableCharacter
                text: "Plan storyboard"
                enabled: storyboard.canPlan && !storyboard.busy
                styleEnabled: enabled
                onClicked: storyboard.plan()
            }
            Item { Layout.preferredHeight: 8 }
        }
    }

    // ---- With chunks -----------------------------------------------------------------
    Panel {
        id: elementsPanel
        objectName: "elementsPanel"
        Layout.fillWidth: true
        visible: storyboard.hasChunks && storyboard.showsElements
        padding: 16

        ColumnLayout {
            spacing: 12
            RowLayout {
                Kicker {
                    objectName: "elementsTitle"
                    text: storyboard.elementsTitle
                }
                Item { Layout.fillWidth: true }
                SecondaryButton {
                    objectName: "renderElementsButton"
                    visible: storyboard.showsRenderButton
                    text: "Render elements"
                    symbol: "wand.and.stars"
                    enabled: !storyboard.busy
                    onClicked: storyboard.renderElements()
                }
            }
            // As many columns of at least 150 as the panel has room for, sharing its
            // width. The room comes from the panel, and the grid asks the layout for no
            // width of its own, so a change of columns never feeds back into it.
            Item {
                Layout.fillWidth: true
                implicitHeight: elementGrid.height

                Grid {
                    id: elementGrid
                    objectName: "elementGrid"
                    readonly property real offered: elementsPanel.availableWidth
                    readonly property real cellWidth: (offered - (columns - 1) * columnSpacing) / columns
                    columns: Math.max(1, Math.floor((offered + columnSpacing) / (150 + columnSpacing)))
                    columnSpacing: 12
                    rowSpacing: 12
                    Repeater {
                        model: ScreenServices.elements
                        delegate: ElementCard {
                            required property var model
                            width: elementGrid.cellWidth
                            elementID: model.elementID
                            continuityDescription: model.continuityDescription
                            imageSource: model.imageSource
                            isRemoteImage: model.isRemoteImage
                            placeholderSymbol: model.placeholderSymbol
                        }
                    }
                }
            }
        }
    }

    RowLayout {
        objectName: "countsRow"
        Layout.fillWidth: true
        visible: storyboard.hasChunks
        Text {
            objectName: "countsText"
            text: storyboard.countsText
            font.pixelSize: 11
            color: Theme.muted
        }
        Item { Layout.fillWidth: true }
        PrimaryButton {
            objectName: "generateAllButton"
            text: "Generate all frames"
            symbol: "sparkles"
            enabled: !storyboard.busy
            styleEnabled: enabled
            onClicked: storyboard.generateAllFrames()
        }
    }

    ColumnLayout {
        objectName: "chunkList"
        Layout.fillWidth: true
        visible: storyboard.hasChunks
        spacing: 10
        Repeater {
            objectName: "chunkCards"
            model: ScreenServices.chunks
            delegate: ChunkCard {
                required property int index
                objectName: "chunkCard" + index
                Layout.fillWidth: true
                busy: storyboard.busy
                onGenerateRequested: (chunkID) => storyboard.generateFrame(chunkID)
            }
        }
    }
}
