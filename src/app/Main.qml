pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQml.Models
import Verseloom.App
import Verseloom.Design
import Verseloom.Screens
import Verseloom.Support

// The main window: the workspace under the File and Import menus. AppShell gives it
// its objects as the required properties below; the store comes from ScreenServices.
ApplicationWindow {
    id: window
    objectName: "mainWindow"

    required property WorkspaceModel workspace
    required property MenuCommandsModel menuCommands
    required property KeySetupController keySetup
    required property SettingsModel settingsModel
    required property OnboardingController onboarding
    required property OnboardingModel onboardingModel
    required property SupportController support

    width: 1200
    height: 800
    minimumWidth: 1040
    minimumHeight: 680
    visible: true
    title: "Verseloom"
    color: Theme.night

    // Dark menus and dialogs: Fusion draws with these.
    palette.window: Theme.night
    palette.windowText: Theme.cream
    palette.base: Theme.surface
    palette.alternateBase: Theme.night
    palette.text: Theme.cream
    palette.button: Theme.surface
    palette.buttonText: Theme.cream
    palette.brightText: Theme.cream
    palette.highlight: Theme.faded(Theme.lime, 0.35)
    palette.highlightedText: Theme.cream
    palette.light: Theme.glow
    palette.midlight: Theme.glowSoft
    palette.mid: Theme.glowSoft
    palette.dark: Theme.night
    palette.shadow: "black"
    palette.placeholderText: Theme.muted
    palette.toolTipBase: Theme.surface
    palette.toolTipText: Theme.cream

    // Closing saves first: edits that cannot be written keep the window open once, and
    // the banner says why.
    onClosing: close => close.accepted = ScreenServices.store.saveBeforeQuitting()

    menuBar: MenuBar {
        AppMenu {
            id: fileMenu
            objectName: "fileMenu"
            title: "File"

            Action {
                text: "New Project"
                shortcut: "Ctrl+N"
                onTriggered: window.menuCommands.newProject()
            }
            AppMenu {
                id: openProjectMenu
                objectName: "openProjectMenu"
                title: "Open Project"
                // Shown beside the submenu's row; the Shortcut below handles the keys.
                keyText: "Ctrl+O"

                Instantiator {
                    model: window.menuCommands.openProjectEntries
                    delegate: MenuRow {
                        required property var modelData
                        text: modelData.text
                        // An inert line ("No saved projects", or "Reading saved
                        // projects…" until the list is read) is text, not a command.
                        enabled: modelData.projectID !== ""
                        onTriggered: window.menuCommands.openProject(modelData.projectID)
                    }
                    onObjectAdded: (index, object) => openProjectMenu.insertItem(index, object)
                    onObjectRemoved: (index, object) => openProjectMenu.removeItem(object)
                }
                MenuSeparator {}
                MenuRow {
                    text: "Refresh List"
                    onTriggered: window.menuCommands.refreshList()
                }
            }
            Action {
                text: "Reset Project…"
                shortcut: "Ctrl+Shift+R"
                onTriggered: window.menuCommands.resetProject()
            }
            MenuSeparator {}
            Action {
                text: "Settings…"
                shortcut: "Ctrl+,"
                onTriggered: window.showSettings()
            }
            MenuSeparator {}
            Action {
                objectName: "quitAction"
                text: "Quit"
                shortcut: "Ctrl+Q"
                onTriggered: window.quit()
            }
        }
        AppMenu {
            objectName: "importMenu"
            title: "Import"

            Action {
                text: "Import Plan from Clipboard"
                shortcut: "Ctrl+Shift+I"
                onTriggered: window.menuCommands.importPlanFromClipboard()
            }
            Action {
                text: "Import Plan from File…"
                onTriggered: planFileDialog.open()
            }
        }
        Menu {
            objectName: "supportMenu"
            title: "Support"

            Action {
                objectName: "payWhatYouLikeAction"
                text: "Pay What You Like…"
                onTriggered: window.support.presentFromMenu()
            }
        }
    }

    WorkspaceView {
        anchors.fill: parent
        workspace: window.workspace
    }

    // Quitting saves as closing the window does, and goes only when the window went.
    function quit() {
        window.close();
        if (!window.visible)
            Qt.quit();
    }

    function showSettings() {
        settingsWindow.show();
        settingsWindow.raise();
        settingsWindow.requestActivate();
    }

    SettingsWindow {
        id: settingsWindow
        model: window.settingsModel
        keySetup: window.keySetup
        onboarding: window.onboarding
        support: window.support
    }

    // The first-run guide and the contribution sheet, each shown while its controller
    // asks for it.
    OnboardingSheet {
        objectName: "onboardingSheet"
        transientParent: window
        onboarding: window.onboarding
        model: window.onboardingModel
        support: window.support
        keySetup: window.keySetup
    }
    PayWhatYouLikeSheet {
        objectName: "contributionSheet"
        transientParent: window
        support: window.support
        source: "macos-menu"
    }

    // The Open Project submenu's own key: opens File with the submenu showing.
    Shortcut {
        sequence: "Ctrl+O"
        onActivated: {
            fileMenu.open();
            openProjectMenu.open();
        }
    }

    FileDialog {
        id: planFileDialog
        objectName: "planFileDialog"
        title: "Choose a storyboard plan JSON file to import."
        acceptLabel: "Import"
        fileMode: FileDialog.OpenFile
        nameFilters: ["Storyboard plan (*.json)"]
        onAccepted: window.menuCommands.importPlanFromFile(selectedFile)
    }
}
