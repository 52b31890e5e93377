import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Screens

// One chunk of the frames page: its picture, its state and every action on its frame.
// Bound to one `ScreenServices.chunks` row; what it shows and allows comes from
// FrameReviewModel.cardState, so a change of another row never touches it.
Panel {
    id: card

    required property FrameReviewModel page
    required property string chunkID
    required property int chunkNumber
    required property string renderedText
    required property bool hasFrame
    required property string frameImagePath
    required property string frameRemoteURL
    required property int undoCount
    required property int redoCount

    // The view's `enabled` look for "Edit" follows the run alone; the button itself
    // also needs a frame with a remote address.
    readonly property var flags: page.cardState(chunkNumber, hasFrame, frameRemoteURL, undoCount, redoCount,
                                                page.busy, page.planImported)

    // Fixed, so the page can place cards it has not built yet.
    readonly property int cardHeight: 252

    signal viewRequested()
    signal editRequested()

    padding: 16
    implicitHeight: cardHeight

    RowLayout {
        spacing: 18

        // 1. The picture; a tap opens the viewer.
        AbstractButton {
            objectName: "thumbnail"
            Layout.alignment: Qt.AlignTop
            implicitWidth: 124
            implicitHeight: 220
            hoverEnabled: true
            ToolTip.visible: hovered
            ToolTip.delay: 600
            ToolTip.text: "Open frame to view and edit"
            onClicked: card.viewRequested()

            // The badge is sized by its icon's id, so this content is made at once.
            contentItem: Item { // qmllint disable deferred-property-id
                FrameImageView {
                    anchors.fill: parent
                    hasFrame: card.hasFrame
                    localPath: card.frameImagePath
                    remoteURL: card.frameRemoteURL
                    fallbackText: card.renderedText
                    accepted: card.hasFrame
                }
                Rectangle {
                    anchors.right: parent.right
                    anchors.bottom: parent.bottom
                    anchors.margins: 6
                    width: magnifier.width + 10
                    height: magnifier.height + 10
                    radius: 6
                    color: Qt.rgba(0, 0, 0, 0.45)
                    Icon {
                        id: magnifier
                        anchors.centerIn: parent
                        name: "arrow.up.left.and.arrow.down.right.magnifyingglass"
                        color: Theme.cream
                        size: 11
                    }
                }
            }
            background: null
        }

        // 2. What the chunk is and where its frame stands.
        ColumnLayout {
            Layout.alignment: Qt.AlignTop
            Layout.fillWidth: true
            spacing: 10

            RowLayout {
                spacing: 8
                Text {
                    objectName: "cardTitle"
                    text: card.flags.title
                    font.pixelSize: 15
                    font.bold: true
                    color: Theme.cream
                }
                StatusChip {
                    objectName: "frameChip"
                    text: card.flags.chipText
                    intent: card.flags.chipIntent
                }
                StatusChip {
                    objectName: "versionChip"
                    visible: card.flags.showsVersionChip
                    text: card.flags.versionText
                    intent: Intent.Accent
                }
            }
            Text {
                Layout.fillWidth: true
                text: "\u201c" + card.renderedText + "\u201d"
                wrapMode: Text.Wrap
                maximumLineCount: 6
                elide: Text.ElideRight
                font.pixelSize: 12
                color: Theme.muted
            }
            Text {
                objectName: "frameHint"
                Layout.fillWidth: true
                visible: card.flags.showsHint
                text: "Generate this frame to add it to the sequence."
                wrapMode: Text.Wrap
                font.pixelSize: 12
                color: Theme.muted
            }
        }

        // 4. The actions, as wide as the widest of them.
        ColumnLayout {
            Layout.alignment: Qt.AlignTop
            Layout.fillWidth: false
            spacing: 8

            PrimaryButton {
                objectName: "editButton"
                Layout.fillWidth: true
                text: "Edit"
                symbol: "wand.and.stars"
                styleEnabled: card.flags.editLook
                enabled: card.flags.editEnabled
                onClicked: card.editRequested()
            }
            SecondaryButton {
                objectName: "generateButton"
                Layout.fillWidth: true
                text: card.flags.generateText
                symbol: card.flags.generateSymbol
                enabled: card.flags.generateEnabled
                onClicked: card.page.generate(card.chunkID)
            }
            SecondaryButton {
                objectName: "importButton"
                Layout.fillWidth: true
                visible: card.flags.showsImport
                text: card.flags.importText
                symbol: "square.and.arrow.down"
                enabled: card.flags.importEnabled
                onClicked: card.page.importImage(card.chunkID)
            }
            RowLayout {
                Layout.alignment: Qt.AlignHCenter
                spacing: 6
                SecondaryButton {
                    objectName: "undoButton"
                    symbol: "arrow.uturn.backward"
                    enabled: card.flags.undoEnabled
                    onClicked: card.page.undo(card.chunkID)
                }
                SecondaryButton {
                    objectName: "redoButton"
                    symbol: "arrow.uturn.forward"
                    enabled: card.flags.redoEnabled
                    onClicked: card.page.redo(card.chunkID)
                }
            }
        }
    }
}
