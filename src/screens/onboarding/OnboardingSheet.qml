import QtQuick
import Verseloom.Design
import Verseloom.Support
import Verseloom.Screens

// The first-run guide as the main window presents it: shown while the controller asks for
// it, closed only by finishing (Escape and the window's close button do nothing). Each
// showing starts on the first page; the key sheet hangs on it.
Sheet {
    id: sheet

    required property OnboardingController onboarding
    required property OnboardingModel model
    required property SupportController support
    required property KeySetupController keySetup

    title: "Welcome to Verseloom"
    dismissable: false

    function follow() {
        if (onboarding.isPresented && !visible) {
            model.start();
            open();
        } else if (!onboarding.isPresented && visible) {
            finish();
        }
    }

    Component.onCompleted: follow()
    Connections {
        target: sheet.onboarding
        function onIsPresentedChanged() { sheet.follow(); }
    }

    OnboardingView {
        model: sheet.model
        onboarding: sheet.onboarding
        support: sheet.support
        onKeySetupRequested: keySheet.open()
    }

    FalKeySetupSheet {
        id: keySheet
        objectName: "onboardingKeySheet"
        transientParent: sheet
        controller: sheet.keySetup
        onDismissed: sheet.model.keySheetClosed()
    }
}
