import QtQuick
import QtQuick.Window
import Verseloom.Design
import Verseloom.Screens
import Verseloom.Support

// The settings window: the settings page at a fixed width of 460, height free. The key
// sheet hangs on it; when the sheet goes away the key flag follows the keyring again.
Window {
    id: settingsWindow
    objectName: "settingsWindow"

    width: 460
    minimumWidth: 460
    maximumWidth: 460
    height: 700
    minimumHeight: 360
    title: "Verseloom Settings"

    required property SettingsModel model
    required property KeySetupController keySetup
    required property OnboardingController onboarding
    required property SupportController support

    color: Theme.night

    onVisibleChanged: settingsWindow.model.watching = visible
    // Leaving the window ends any edit, so a typed setting is committed, not dropped.
    onClosing: settingsView.forceActiveFocus()

    SettingsView {
        id: settingsView
        objectName: "settingsView"
        anchors.fill: parent
        model: settingsWindow.model
        store: ScreenServices.store
        onConnectKeyRequested: keySheet.open()
        showsGuideButtons: true
        onGuideRequested: settingsWindow.onboarding.isPresented = true
        onContributionRequested: settingsWindow.support.presentFromMenu()
    }

    FalKeySetupSheet {
        id: keySheet
        objectName: "settingsKeySheet"
        transientParent: settingsWindow
        controller: settingsWindow.keySetup
        onDismissed: settingsWindow.model.keySheetClosed()
    }
}
