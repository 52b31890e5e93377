import QtQuick
import QtQuick.Layouts
import Verseloom.App
import Verseloom.Design

// The floating capsule at the bottom of the workspace: the running operation's label
// with a spinner, or else the last error with "Dismiss". Which form shows is the
// workspace model's decision.
Rectangle {
    id: capsule

    required property WorkspaceModel workspace

    readonly property bool running: capsule.workspace.showsRunning
    readonly property bool error: capsule.workspace.showsError
    property real maximumTextWidth: 640

    visible: running || error
    implicitWidth: content.implicitWidth + 32
    implicitHeight: content.implicitHeight + 20
    radius: height / 2
    color: Theme.surface
    border.width: 1
    border.color: running ? Theme.glow : Theme.faded(Theme.coral, 0.5)
    clip: true

    RowLayout {
        id: content
        anchors.centerIn: parent
        spacing: 10

        Spinner {
            objectName: "runningIndicator"
            visible: capsule.running
            Layout.preferredWidth: 14
            Layout.preferredHeight: 14
            color: Theme.lime
        }
        Icon {
            visible: capsule.error
            name: "exclamationmark.triangle.fill"
            color: Theme.coral
            size: 13
        }
        Text {
            objectName: "capsuleText"
            text: capsule.workspace.capsuleText
            color: Theme.cream
            font.pixelSize: 12
            font.weight: Font.DemiBold
            wrapMode: Text.Wrap
            Layout.maximumWidth: capsule.maximumTextWidth
        }
        Text {
            id: dismiss
            objectName: "dismissButton"
            visible: capsule.error
            text: "Dismiss"
            color: Theme.lime
            font.pixelSize: 11
            font.bold: true
            MouseArea {
                anchors.fill: parent
                anchors.margins: -4
                cursorShape: Qt.PointingHandCursor
                onClicked: capsule.workspace.dismissError()
            }
        }
    }
}
