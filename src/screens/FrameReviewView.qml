import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Screens

// The frames stage: one card per chunk with its generated still, and the way on to
// motion. The page is a list that scrolls itself and builds only the cards in view,
// so a storyboard of hundreds of chunks opens as fast as a short one, and a shorter
// list of chunks (another project, a new plan) is laid out afresh by the list itself.
ListView {
    id: framesPage
    objectName: "frameCards"

    // The workspace's scroll area that holds this page: the page takes its visible
    // height and lets it scroll nothing else.
    property Flickable viewport: null
    // The stage area's padding around a page; cards are drawn into it as they scroll.
    readonly property real stagePadding: 24

    implicitHeight: viewport ? Math.max(0, viewport.height - 2 * stagePadding) : 0
    spacing: 20
    boundsBehavior: Flickable.StopAtBounds
    displayMarginBeginning: stagePadding
    displayMarginEnd: stagePadding
    model: ScreenServices.chunks

    // At the stage area's edge, where its own bar would be.
    ScrollBar.vertical: ScrollBar {
        parent: framesPage.viewport ?? framesPage
        x: parent.width - width
        y: 0
        height: parent.height
    }

    FrameReviewModel {
        id: frames
        services: ScreenServices
    }

    // The header, cards and footer read the page's ids, which the linter accepts only from
    // components bound to their context; Qt 6.4's ListView cannot make its header and
    // footer from bound components, so these reads go unchecked until it can.
    // qmllint disable unqualified
    header: Item {
        width: framesPage.width
        height: top.implicitHeight + (frames.hasChunks ? framesPage.spacing : 0)

        ColumnLayout {
            id: top
            width: parent.width
            spacing: 20

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
        }
    }

    delegate: FrameReviewCard {
        id: card
        width: framesPage.width
        page: frames
        onViewRequested: framesPage.openSheet(viewerSheet, card.chunkID)
        onEditRequested: framesPage.openSheet(editSheet, card.chunkID)
    }

    footer: Item {
        width: framesPage.width
        height: motionButton.visible ? framesPage.spacing + motionButton.implicitHeight : 0

        PrimaryButton {
            id: motionButton
            objectName: "setUpMotionButton"
            y: framesPage.spacing
            visible: frames.showsMotionButton
            text: frames.motionButtonText
            symbol: "cube.transparent"
            onClicked: frames.goToMotion()
        }
    }

    // qmllint enable unqualified

    // A card's sheets, made when asked for and gone when closed; they find their chunk
    // by id, so a card scrolled away (and unbuilt) leaves them working.
    function openSheet(component, chunkID) {
        const sheet = component.createObject(framesPage, { store: ScreenServices.store, chunkID: chunkID });
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
