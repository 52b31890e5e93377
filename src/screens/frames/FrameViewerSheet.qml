import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtQuick.Templates as T
import Verseloom.Design
import Verseloom.Screens

// One chunk's frame, large, with every action on it behind three window dots: close,
// the actions menu, full screen. The edit and prompt sheets open over it.
//
//   FrameViewerSheet { id: viewer; store: store; chunkID: id }   viewer.open()
Sheet {
    id: sheet

    property QtObject store
    property string chunkID
    readonly property FrameViewerSheetModel sheetModel: FrameViewerSheetModel {
        store: sheet.store
        chunkID: sheet.chunkID
        onCloseRequested: sheet.close()
    }

    title: sheetModel.windowTitle

    // A title-bar dot: a 12 px circle with a faint dark rim, the whole circle the target.
    component Dot: Rectangle {
        id: dot
        property string help
        signal tapped()
        width: 12
        height: 12
        radius: 6
        border.color: Qt.rgba(0, 0, 0, 0.15)
        border.width: 0.5
        MouseArea {
            id: area
            anchors.fill: parent
            hoverEnabled: true
            cursorShape: Qt.PointingHandCursor
            onClicked: dot.tapped()
        }
        ToolTip.visible: area.containsMouse
        ToolTip.delay: 600
        ToolTip.text: help
    }

    component ActionItem: MenuItem {
        id: item
        property string symbol
        property bool destructive: false
        readonly property color tint: destructive ? Theme.coral : Theme.cream
        contentItem: RowLayout {
            spacing: 8
            opacity: item.enabled ? 1 : 0.4
            Icon {
                name: item.symbol
                color: item.tint
                size: 13
            }
            Text {
                Layout.fillWidth: true
                text: item.text
                color: item.tint
                font.pixelSize: 13
            }
        }
        background: Rectangle {
            implicitWidth: 200
            implicitHeight: 28
            radius: 4
            color: item.highlighted && item.enabled ? Theme.faded(Theme.lime, 0.18) : "transparent"
        }
    }

    component DestructiveButton: T.Button {
        id: button
        leftPadding: 16
        rightPadding: 16
        implicitWidth: implicitContentWidth + leftPadding + rightPadding
        implicitHeight: 34
        opacity: !enabled ? 0.4 : down ? 0.85 : 1
        font.pixelSize: 13
        font.bold: true
        contentItem: Text {
            text: button.text
            font: button.font
            color: Theme.cream
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
        }
        background: Rectangle {
            radius: 8
            color: Theme.coral
        }
    }

    Item {
        implicitWidth: 420
        implicitHeight: column.implicitHeight + 36

        ColumnLayout {
            id: column
            objectName: "viewerColumn"
            x: 18
            y: 18
            width: parent.width - 36
            spacing: 14
            visible: sheet.sheetModel.chunkExists

            RowLayout {
                Layout.fillWidth: true
                spacing: 12

                Row {
                    objectName: "windowDots"
                    spacing: 8
                    Layout.alignment: Qt.AlignVCenter
                    Dot {
                        objectName: "closeDot"
                        color: "#FF5F57"
                        help: "Close"
                        onTapped: sheet.close()
                    }
                    Dot {
                        id: menuDot
                        objectName: "menuDot"
                        color: "#FEBC2E"
                        help: "Actions"
                        onTapped: actionsMenu.popup(menuDot, 0, menuDot.height + 6)
                    }
                    Dot {
                        objectName: "fullScreenDot"
                        color: "#28C840"
                        help: "Full screen"
                        onTapped: sheet.sheetModel.showFullScreen()
                    }
                }

                Item { Layout.fillWidth: true }

                ColumnLayout {
                    spacing: 1
                    Layout.maximumWidth: column.width - 100
                    Kicker {
                        objectName: "kicker"
                        Layout.alignment: Qt.AlignRight
                        text: sheet.sheetModel.kickerText
                    }
                    Text {
                        objectName: "lyric"
                        Layout.alignment: Qt.AlignRight
                        Layout.maximumWidth: column.width - 100
                        text: sheet.sheetModel.renderedText
                        font.pixelSize: 13
                        font.weight: Font.DemiBold
                        color: Theme.cream
                        elide: Text.ElideRight
                        maximumLineCount: 1
                    }
                }
            }

            // 9:16, at most 500 high, centred in the column.
            FrameImageView {
                objectName: "frameImage"
                Layout.alignment: Qt.AlignHCenter
                Layout.preferredHeight: Math.min(500, column.width / 0.5625)
                Layout.preferredWidth: Layout.preferredHeight * 0.5625
                hasFrame: sheet.sheetModel.hasFrame
                localPath: sheet.sheetModel.localPath
                remoteURL: sheet.sheetModel.remoteURL
                fallbackText: sheet.sheetModel.renderedText
                accepted: sheet.sheetModel.hasFrame
            }

            ProgressMeter {
                objectName: "progressMeter"
                visible: sheet.sheetModel.showsMeter
                Layout.fillWidth: true
                value: sheet.sheetModel.progress
                tint: Theme.lime
            }

            Text {
                objectName: "lastEdit"
                visible: text !== ""
                Layout.fillWidth: true
                text: sheet.sheetModel.lastEditText
                font.pixelSize: 11
                color: Theme.muted
                elide: Text.ElideRight
                maximumLineCount: 1
            }
        }

        Menu {
            id: actionsMenu
            objectName: "actionsMenu"
            padding: 4
            background: Rectangle {
                implicitWidth: 208
                color: Theme.surface
                border.color: Theme.glow
                border.width: 1
                radius: 6
            }

            ActionItem {
                objectName: "editItem"
                text: "Edit"
                symbol: "wand.and.stars"
                enabled: sheet.sheetModel.canEdit
                onTriggered: editSheet.open()
            }
            ActionItem {
                objectName: "editPromptItem"
                text: "Edit prompt"
                symbol: "text.cursor"
                onTriggered: promptSheet.open()
            }
            ActionItem {
                objectName: "regenerateImageItem"
                text: "Regenerate image"
                symbol: "arrow.clockwise"
                enabled: sheet.sheetModel.canRegenerateImage
                onTriggered: sheet.sheetModel.regenerateImage()
            }
            MenuSeparator {}
            ActionItem {
                objectName: "regeneratePlanItem"
                text: "Regenerate plan"
                symbol: "trash.slash"
                destructive: true
                enabled: sheet.sheetModel.canRegeneratePlan
                onTriggered: planQuestion.open()
            }
            MenuSeparator {}
            ActionItem {
                objectName: "closeItem"
                text: "Close"
                symbol: "xmark"
                onTriggered: sheet.close()
            }
        }
    }

    FrameEditSheet {
        id: editSheet
        objectName: "editSheet"
        transientParent: sheet
        store: sheet.store
        chunkID: sheet.chunkID
    }

    FramePromptSheet {
        id: promptSheet
        objectName: "promptSheet"
        transientParent: sheet
        store: sheet.store
        chunkID: sheet.chunkID
    }

    // Regenerating the plan cannot be undone, so it is asked first; Cancel is the default.
    Sheet {
        id: planQuestion
        objectName: "planQuestion"
        transientParent: sheet
        title: "Regenerate plan"
        onVisibleChanged: if (visible) cancelButton.forceActiveFocus()

        Item {
            implicitWidth: 400
            implicitHeight: questionColumn.implicitHeight + 40

            ColumnLayout {
                id: questionColumn
                x: 20
                y: 20
                width: parent.width - 40
                spacing: 14

                Text {
                    text: "Regenerate the plan?"
                    font.family: "Anton"
                    font.pixelSize: 20
                    color: Theme.cream
                }
                Text {
                    objectName: "planQuestionText"
                    Layout.fillWidth: true
                    text: sheet.sheetModel.planQuestion
                    wrapMode: Text.Wrap
                    font.pixelSize: 13
                    color: Theme.cream
                }
                RowLayout {
                    Layout.fillWidth: true
                    spacing: 10
                    Item { Layout.fillWidth: true }
                    SecondaryButton {
                        id: cancelButton
                        objectName: "cancelButton"
                        text: "Cancel"
                        onClicked: planQuestion.close()
                    }
                    DestructiveButton {
                        objectName: "confirmButton"
                        text: "Regenerate plan"
                        enabled: sheet.sheetModel.canRegeneratePlan
                        onClicked: {
                            planQuestion.close();
                            sheet.sheetModel.regeneratePlan();
                        }
                    }
                }
            }
        }

        Shortcut {
            sequences: ["Return", "Enter"]
            enabled: planQuestion.visible
            onActivated: planQuestion.close()
        }
    }
}
