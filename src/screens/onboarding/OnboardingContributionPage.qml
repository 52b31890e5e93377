import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Support

// Onboarding page three: the optional contribution, following the contribution
// controller through its states as the contribution sheet does.
ColumnLayout {
    id: page

    required property SupportController support

    spacing: 20

    Kicker { text: "Pay what you like" }
    Text {
        objectName: "contributionTitle"
        Layout.fillWidth: true
        text: page.support.paymentCompleted ? "Thank you for backing the work."
                                            : "Independent software only continues when people support it."
        wrapMode: Text.Wrap
        font.family: "Anton"
        font.pixelSize: 36
        color: Theme.cream
    }
    Text {
        objectName: "receivedText"
        visible: page.support.paymentCompleted
        Layout.fillWidth: true
        text: "Your contribution was received. It goes directly toward maintenance, fixes, and continued development."
        wrapMode: Text.Wrap
        font.pixelSize: 14
        color: Theme.muted
    }
    ColumnLayout {
        objectName: "offer"
        visible: !page.support.paymentCompleted
        Layout.fillWidth: true
        spacing: 20

        Text {
            Layout.fillWidth: true
            text: "There is no required price and nothing is held back. If Verseloom has real value for you, choose an amount that reflects that value. A small contribution still matters; skipping is always available."
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
                    text: "Checkout opens in your browser. This is a one-time contribution, not a subscription."
                    wrapMode: Text.Wrap
                    font.pixelSize: 11
                    color: Theme.muted
                }
            }
        }
        RowLayout {
            objectName: "waitingRow"
            visible: page.support.isAwaitingPayment
            spacing: 10
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
            visible: page.support.hasError
            Layout.fillWidth: true
            text: page.support.errorMessage
            wrapMode: Text.Wrap
            font.pixelSize: 11
            font.weight: Font.DemiBold
            color: Theme.coral
        }
        PrimaryButton {
            objectName: "checkoutButton"
            text: page.support.isStartingCheckout ? "" : "Choose an Amount"
            symbol: page.support.isStartingCheckout ? "" : "arrow.up.right.square"
            enabled: page.support.canStartCheckout
            onClicked: page.support.startCheckout("macos-onboarding")
            Spinner {
                anchors.centerIn: parent
                visible: page.support.isStartingCheckout
                color: Qt.rgba(7 / 255, 17 / 255, 13 / 255, 1)
            }
        }
    }
}
