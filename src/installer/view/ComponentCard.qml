import QtQuick
import QtQuick.Layouts
import Verseloom.Design

// One install component on the installation page: its marker in the state's colour (a
// spinner while it runs), title, one-line detail (the whole sentence for a passed-over
// component, and below it, whole, the lines that say why its command failed), and
// "Optional" for a component whose failure does not stop the run.
Rectangle {
    id: card

    // { id, title, systemImage, required, state, detail, reason } from InstallerModel.components
    property var component: ({})
    readonly property string componentState: component.state || "pending"
    readonly property color stateColor: componentState === "running" ? Theme.amber
                                      : componentState === "done" ? Theme.lime
                                      : componentState === "failed" ? Theme.coral
                                      : componentState === "skipped" ? Theme.muted
                                      : Theme.faded(Theme.amber, 0.85)
    readonly property string marker: componentState === "done" ? "checkmark.circle.fill"
                                   : componentState === "failed" ? "xmark.circle.fill"
                                   : componentState === "skipped" ? "minus.circle"
                                   : (component.systemImage || "")

    implicitHeight: Math.max(32, texts.implicitHeight) + 24
    radius: 12
    color: Qt.rgba(1, 1, 1, 0.035)
    border.color: componentState === "running" ? Theme.faded(Theme.amber, 0.5) : Theme.glowSoft
    border.width: 1

    RowLayout {
        anchors.fill: parent
        anchors.leftMargin: 14
        anchors.rightMargin: 14
        anchors.topMargin: 12
        anchors.bottomMargin: 12
        spacing: 12

        Rectangle {
            Layout.preferredWidth: 32
            Layout.preferredHeight: 32
            radius: 8
            color: Theme.faded(card.stateColor, 0.12)

            Icon {
                objectName: "marker"
                anchors.centerIn: parent
                visible: card.componentState !== "running"
                name: card.marker
                size: 14
                color: card.stateColor
            }

            Spinner {
                objectName: "spinner"
                anchors.centerIn: parent
                visible: card.componentState === "running"
                color: card.stateColor
            }
        }

        ColumnLayout {
            id: texts
            Layout.fillWidth: true
            spacing: 2

            Text {
                objectName: "title"
                Layout.fillWidth: true
                text: card.component.title || ""
                elide: Text.ElideRight
                font.pixelSize: 14
                font.weight: Font.DemiBold
                color: Theme.cream
            }

            Text {
                objectName: "detail"
                Layout.fillWidth: true
                visible: text !== ""
                text: card.component.detail || ""
                // A passed-over component's detail is why it failed; when the lines its
                // command printed follow, the command itself may be cut.
                wrapMode: Text.Wrap
                maximumLineCount: card.componentState === "skipped" && !reasonText.visible ? 1000 : 1
                elide: Text.ElideRight
                font.pixelSize: 11
                color: Theme.muted
            }

            Text {
                id: reasonText
                objectName: "reason"
                Layout.fillWidth: true
                visible: text !== ""
                text: card.component.reason || ""
                wrapMode: Text.Wrap
                font.pixelSize: 11
                color: Theme.faded(Theme.cream, 0.85)
            }
        }

        StatusChip {
            objectName: "optionalChip"
            visible: card.component.required === false
            text: "Optional"
            intent: Intent.Pending
        }
    }
}
