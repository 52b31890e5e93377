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

            Text {
                objectName: "thanksText"
                visible: view.support.paymentCompleted
                Layout.fillWidth: true
                text: "Your contribution was received. It directly supports maintenance, fixes, and the next round of improvements."
                wrapMode: Text.Wrap
                font.pixelSize: 14
                color: Theme.muted
            }

            ColumnLayout {
                objectName: "offer"
                visible: !view.support.paymentCompleted
                Layout.fillWidth: true
                spacing: 20

                Text {
                    Layout.fillWidth: true
                    text: "There is no required price and no feature gate. If Verseloom is useful to you, choose an amount that reflects that value. Even a small contribution helps this solo-built app keep moving."
                    wrapMode: Text.Wrap
                    font.pixelSize: 14
                    color: Theme.muted
                }
                Panel {
                    Layout.fillWidth: true
                    padding: 16
                    ColumnLayout {
                        spacing: 10
                        Row {
                            spacing: 6
                            Icon {
                                anchors.verticalCenter: parent.verticalCenter
                                name: "creditcard"
                                color: Theme.cream
                                size: 13
                            }
                            Text {
                                text: "Choose your amount in secure Stripe Checkout"
                                font.pixelSize: 13
                                font.weight: Font.DemiBold
                                color: Theme.cream
                            }
                        }
                        Text {
                            Layout.fillWidth: true
                            text: "Checkout opens in your browser. You decide the amount, and the app remains fully usable whether you contribute now, later, or not at all."
                            wrapMode: Text.Wrap
                            font.pixelSize: 11
                            color: Theme.muted
                        }
                    }
                }
                RowLayout {
                    objectName: "waitingRow"
                    visible: view.support.isAwaitingPayment
                    spacing: 8
                    Spinner { color: Theme.cream }
                    Text {
                        text: "Waiting for checkout to finish\u2026"
                        font.pixelSize: 12
                        font.weight: Font.DemiBold
                        color: Theme.cream
                    }
                }
                Text {
                    objectName: "errorText"
                    visible: view.support.hasError
                    Layout.fillWidth: true
                    text: view.support.errorMessage
                    wrapMode: Text.Wrap
                    font.pixelSize: 11
                    font.weight: Font.DemiBold
                    color: Theme.coral
                }
                RowLayout {
                    Layout.fillWidth: true
                    SecondaryButton {
                        objectName: "notNowButton"
                        text: "Not Now"
                        onClicked: view.closeRequested()
                    }
                    Item { Layout.fillWidth: true }
                    PrimaryButton {
                        objectName: "checkoutButton"
                        text: view.support.isStartingCheckout ? "" : "Open Secure Checkout"
                        symbol: view.support.isStartingCheckout ? "" : "arrow.up.right.square"
                        enabled: view.support.canStartCheckout
                        onClicked: view.support.startCheckout(view.source)
                        Spinner {
                            anchors.centerIn: parent
                            visible: view.support.isStartingCheckout
                            color: Qt.rgba(7 / 255, 17 / 255, 13 / 255, 1)
                        }
                    }
                }
            }
        }
    }
}
