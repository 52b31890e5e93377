import QtQuick
import QtQuick.Window
import Verseloom.Design
import Verseloom.Screens

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

    // The store as the root context names it (the page's own `store` would shadow it).
    readonly property var projectStore: store
    color: Theme.night

    onVisibleChanged: settingsModel.watching = visible
    // Leaving the window ends any edit, so a typed setting is committed, not dropped.
    onClosing: settingsView.forceActiveFocus()

    SettingsView {
        id: settingsView
        objectName: "settingsView"
        anchors.fill: parent
        model: settingsModel
        store: settingsWindow.projectStore
        onConnectKeyRequested: keySheet.open()
        showsGuideButtons: true
        onGuideRequested: onboarding.isPresented = true
        onContributionRequested: support.presentFromMenu()
    }

    FalKeySetupSheet {
        id: keySheet
        objectName: "settingsKeySheet"
        transientParent: settingsWindow
        controller: keySetup
        onDismissed: settingsModel.keySheetClosed()
    }
}
