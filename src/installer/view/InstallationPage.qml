import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Installer

ColumnLayout {
    id: page

    required property InstallerModel model

    spacing: 16

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 8

        Text {
            objectName: "statusLine"
            Layout.fillWidth: true
            text: page.model.statusLine
            elide: Text.ElideRight
            maximumLineCount: 1
            font.pixelSize: 13
            font.weight: Font.Medium
            color: Theme.faded(Theme.cream, 0.9)
        }

        ProgressMeter {
            objectName: "progressMeter"
            Layout.fillWidth: true
            value: page.model.overallProgress
            tint: Theme.amber
        }
    }

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 10

        Repeater {
            model: page.model.components
            delegate: ComponentCard {
                required property var modelData
                required property int index
                objectName: "componentCard" + index
                Layout.fillWidth: true
                component: modelData
            }
        }
    }

    Text {
        objectName: "failureText"
        Layout.fillWidth: true
        visible: page.model.failure !== ""
        text: page.model.failure
        wrapMode: Text.Wrap
        font.pixelSize: 12
        color: Theme.coral
    }
}
