import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Support

// The contribution sheet's content: the card over the backdrop. Every state it shows is
// the controller's (starting, waiting for payment, a failed start, paid); it starts the
// checkout with its `source` tag and asks to close through `closeRequested`.
Item {
    id: view

    required property SupportController support
    property string source: "macos-menu"

    signal closeRequested()

    implicitWidth: 640
    implicitHeight: Math.max(480, card.implicitHeight + 80)

    Backdrop {
        anchors.fill: parent
    }

    Card {
        id: card
        anchors.centerIn: parent
        width: 560
        padding: 28
        radius: 12
        shadowBlur: 32
        shadowOffsetY: 16
        fillOpacity: 0.97

        ColumnLayout {
            width: parent.width
            spacing: 20

            RowLayout {
                Layout.fillWidth: true
                ColumnLayout {
                    spacing: 3
                    Kicker { text: "Pay what you like" }
                    Text {
                        objectName: "supportTitle"
                        text: view.support.paymentCompleted ? "Thank you." : "Help keep Verseloom independent."
                        font.family: "Anton"
                        font.pixelSize: 32
                        color: Theme.cream
                    }
                }
                Item { Layout.fillWidth: true }
                MouseArea {
                    objectName: "closeButton"
                    Layout.alignment: Qt.AlignTop
                    implicitWidth: 22
                    implicitHeight: 22
                    cursorShape: Qt.PointingHandCursor
                    onClicked: view.closeRequested()
                    Icon {
                        anchors.centerIn: parent
                        name: "xmark"
                        color: Theme.muted
                        size: 14
                    }
                }
            }

            ContributionForm {
                Layout.fillWidth: true
                support: view.support
                source: view.source
                thanks: "Your contribution was received. It directly supports maintenance, fixes, and the next round of improvements."
                explainer: "There is no required price and no feature gate. If Verseloom is useful to you, choose an amount that reflects that value. Even a small contribution helps this solo-built app keep moving."
                checkoutNote: "Checkout opens in your browser. You decide the amount, and the app remains fully usable whether you contribute now, later, or not at all."
                checkoutLabel: "Open Secure Checkout"
                offersNotNow: true
                onNotNowClicked: view.closeRequested()
            }
        }
    }
}
