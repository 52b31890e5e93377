import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Support

// The pay-what-you-like form of onboarding and of the contribution sheet: the thanks once
// paid, else the offer (explainer, checkout panel, the wait for payment, a failed start,
// the checkout button). Every state it shows is the controller's; each place words it its
// own way and tags the checkouts it starts with its `source`.
ColumnLayout {
    id: form

    required property SupportController support
    required property string source
    required property string thanks
    required property string explainer
    required property string checkoutNote
    required property string checkoutLabel
    // "Not Now" beside the checkout button, for a place the form is all of.
    property bool offersNotNow: false

    signal notNowClicked()

    spacing: 20

    Text {
        objectName: "thanksText"
        visible: form.support.paymentCompleted
        Layout.fillWidth: true
        text: form.thanks
        wrapMode: Text.Wrap
        font.pixelSize: 14
        color: Theme.muted
    }

    ColumnLayout {
        objectName: "offer"
        visible: !form.support.paymentCompleted
        Layout.fillWidth: true
        spacing: 20

        Text {
            Layout.fillWidth: true
            text: form.explainer
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
                    text: form.checkoutNote
                    wrapMode: Text.Wrap
                    font.pixelSize: 11
                    color: Theme.muted
                }
            }
        }
        RowLayout {
            objectName: "waitingRow"
            visible: form.support.isAwaitingPayment
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
            visible: form.support.hasError
            Layout.fillWidth: true
            text: form.support.errorMessage
            wrapMode: Text.Wrap
            font.pixelSize: 11
            font.weight: Font.DemiBold
            color: Theme.coral
        }
        RowLayout {
            Layout.fillWidth: true
            SecondaryButton {
                objectName: "notNowButton"
                visible: form.offersNotNow
                text: "Not Now"
                onClicked: form.notNowClicked()
            }
            Item {
                visible: form.offersNotNow
                Layout.fillWidth: true
            }
            PrimaryButton {
                objectName: "checkoutButton"
                text: form.support.isStartingCheckout ? "" : form.checkoutLabel
                symbol: form.support.isStartingCheckout ? "" : "arrow.up.right.square"
                enabled: form.support.canStartCheckout
                onClicked: form.support.startCheckout(form.source)
                Spinner {
                    anchors.centerIn: parent
                    visible: form.support.isStartingCheckout
                    color: Qt.rgba(7 / 255, 17 / 255, 13 / 255, 1)
                }
            }
        }
    }
}
