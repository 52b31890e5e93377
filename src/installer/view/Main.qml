import QtQuick
import QtQuick.Window
import Verseloom.Design
import Verseloom.Installer

// The installer's window: fixed at 1000 × 640, dark, holding the one view. The controller
// comes from the program (InstallerShell::load).
Window {
    id: window
    objectName: "installerWindow"

    required property InstallerController controller

    width: 1000
    height: 640
    minimumWidth: 1000
    maximumWidth: 1000
    minimumHeight: 640
    maximumHeight: 640
    visible: true
    title: "Install Verseloom"
    color: Theme.night

    InstallerView {
        anchors.fill: parent
        controller: window.controller
    }
}
