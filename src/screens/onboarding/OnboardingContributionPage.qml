import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Support

// Onboarding page three: the optional contribution, the same form as the contribution
// sheet's in onboarding's words.
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
    ContributionForm {
        Layout.fillWidth: true
        support: page.support
        source: "macos-onboarding"
        thanks: "Your contribution was received. It goes directly toward maintenance, fixes, and continued development."
        explainer: "There is no required price and nothing is held back. If Verseloom has real value for you, choose an amount that reflects that value. A small contribution still matters; skipping is always available."
        checkoutNote: "Checkout opens in your browser. This is a one-time contribution, not a subscription."
        checkoutLabel: "Choose an Amount"
    }
}
