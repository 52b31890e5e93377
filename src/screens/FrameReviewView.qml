import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Screens

// The frames stage: one card per chunk with its generated still, and the way on to
// motion. Cards are built only where the workspace's scroll area shows them, so a
// storyboard of hundreds of chunks opens as fast as a short one.
ColumnLayout {
    id: framesPage

    // The scroll area that shows this page; without one every card is built.
    property Flickable viewport: null

    spacing: 20

    FrameReviewModel {
        id: frames
        services: screenServices
    }

    SurfaceHeader {
        Layout.fillWidth: true
        kicker: "Step 4 · Frames"
        title: "The frames."
        subtitle: "Every generated frame is in the sequence. Open one to view it, or edit and regenerate anything you want to change."
    }

    Panel {
        objectName: "framesEmpty"
        Layout.fillWidth: true
        visible: !frames.hasChunks
        padding: 16

        ColumnLayout {
            spacing: 12

            Item { implicitHeight: 8 }
            Icon {
                Layout.alignment: Qt.AlignHCenter
                name: "photo.on.rectangle.angled"
                color: Theme.amber
                size: 30
            }
            Text {
                Layout.alignment: Qt.AlignHCenter
                text: "No planned frames yet"
                font.pixelSize: 15
                font.bold: true
                color: Theme.cream
            }
            SecondaryButton {
                objectName: "goToStoryboardButton"
                Layout.alignment: Qt.AlignHCenter
                text: "Go to storyboard"
                onClicked: frames.goToStoryboard()
            }
            Item { implicitHeight: 8 }
        }
    }

    RowLayout {
        Layout.fillWidth: true
        visible: frames.hasChunks

        Text {
            objectName: "framesCount"
            Layout.fillWidth: true
            text: frames.countText
            font.pixelSize: 11
            color: Theme.muted
        }
        PrimaryButton {
            objectName: "generateMissingButton"
            text: "Generate missing"
            symbol: "sparkles"
            styleEnabled: frames.generateMissingLook
            enabled: frames.canGenerateMissing
            onClicked: frames.generateMissing()
        }
    }

    // The cards' full height holds their place in the page; the list inside covers
    // only the part of it in view and moves with the scroll.
    Item {
        id: listArea
        objectName: "cardArea"
        Layout.fillWidth: true
        visible: frames.hasChunks
        readonly property int cardHeight: 252
        implicitHeight: Math.max(0, cards.count * (cardHeight + cards.spacing) - cards.spacing)

        // Where the list starts in the scroll area's content.
        readonly property real topInViewport: framesPage.viewport
            ? listArea.mapToItem(framesPage.viewport.contentItem, 0, 0).y + 0 * (listArea.y + framesPage.y)
            : 0
        readonly property real shownTop: framesPage.viewport
            ? Math.max(0, Math.min(framesPage.viewport.contentY - topInViewport, height - cards.height))
            : 0

        ListView {
            id: cards
            objectName: "frameCards"
            width: listArea.width
            y: listArea.shownTop
            height: framesPage.viewport ? Math.min(listArea.height, framesPage.viewport.height) : listArea.height
            contentY: listArea.shownTop
            interactive: false
            spacing: 20
            cacheBuffer: 0
            model: projectChunks

            delegate: FrameReviewCard {
                id: card
                width: cards.width
                page: frames
                onViewRequested: framesPage.openSheet(viewerSheet, chunkID)
                onEditRequested: framesPage.openSheet(editSheet, chunkID)
            }
        }
    }

    PrimaryButton {
        objectName: "setUpMotionButton"
        visible: frames.showsMotionButton
        text: frames.motionButtonText
        symbol: "cube.transparent"
        onClicked: frames.goToMotion()
    }

    // A card's sheets, made when asked for and gone when closed; they find their chunk
    // by id, so a card scrolled away (and unbuilt) leaves them working.
    function openSheet(component, chunkID) {
        const sheet = component.createObject(framesPage, { store: store, chunkID: chunkID });
        if (!sheet)
            return;
        sheet.dismissed.connect(() => sheet.destroy());
        sheet.open();
    }

    Component {
        id: viewerSheet
        FrameViewerSheet {}
    }

    Component {
        id: editSheet
        FrameEditSheet {}
    }
}
