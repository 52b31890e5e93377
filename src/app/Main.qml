import QtQuick
import QtQuick.Controls
import QtQuick.Dialogs
import QtQml.Models
import Verseloom.Design
import Verseloom.Screens
import Verseloom.Support

// The main window: the workspace under the File and Import menus. The store, the
// workspace model and the menu commands come from the root context (AppShell).
ApplicationWindow {
    id: window
    objectName: "mainWindow"

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
    onClosing: close => close.accepted = store.saveBeforeQuitting()

    menuBar: MenuBar {
        AppMenu {
            id: fileMenu
            objectName: "fileMenu"
            title: "File"

            Action {
                text: "New Project"
                shortcut: "Ctrl+N"
                onTriggered: menuCommands.newProject()
            }
            AppMenu {
                id: openProjectMenu
                objectName: "openProjectMenu"
                title: "Open Project"
                // Shown beside the submenu's row; the Shortcut below handles the keys.
                keyText: "Ctrl+O"

                Instantiator {
                    model: menuCommands.openProjectEntries
                    delegate: MenuRow {
                        required property var modelData
                        text: modelData.text
                        // The "No saved projects" line is text, not a command.
                        enabled: modelData.projectID !== ""
                        onTriggered: menuCommands.openProject(modelData.projectID)
                    }
                    onObjectAdded: (index, object) => openProjectMenu.insertItem(index, object)
                    onObjectRemoved: (index, object) => openProjectMenu.removeItem(object)
                }
                MenuSeparator {}
                MenuRow {
                    text: "Refresh List"
                    onTriggered: menuCommands.refreshList()
                }
            }
            Action {
                text: "Reset Project…"
                shortcut: "Ctrl+Shift+R"
                onTriggered: menuCommands.resetProject()
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
                onTriggered: menuCommands.importPlanFromClipboard()
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
                onTriggered: support.presentFromMenu()
            }
        }
    }

    WorkspaceView {
        anchors.fill: parent
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
    }

    // The first-run guide and the contribution sheet, each shown while its controller
    // asks for it.
    // (The root context's objects under names the sheets' own properties do not shadow.)
    readonly property var shellOnboarding: onboarding
    readonly property var shellSupport: support
    readonly property var shellKeySetup: keySetup

    OnboardingSheet {
        objectName: "onboardingSheet"
        transientParent: window
        onboarding: window.shellOnboarding
        model: onboardingModel
        support: window.shellSupport
        keySetup: window.shellKeySetup
    }
    PayWhatYouLikeSheet {
        objectName: "contributionSheet"
        transientParent: window
        support: window.shellSupport
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
        onAccepted: menuCommands.importPlanFromFile(selectedFile)
    }
}
