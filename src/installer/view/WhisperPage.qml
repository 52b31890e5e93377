pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Layouts
import Verseloom.Installer

ColumnLayout {
    id: page

    required property InstallerController controller
    readonly property InstallerModel model: controller.model

    spacing: 14

    PageSentence {
        text: "Choose how Verseloom should align lyrics to vocals. The selection can be changed later."
    }

    Repeater {
        model: page.controller.whisperOptions
        delegate: WhisperOptionCard {
            required property var modelData
            required property int index
            objectName: "whisperOption" + index
            Layout.fillWidth: true
            selected: modelData.selected
            symbol: modelData.systemImage
            title: modelData.title
            detail: modelData.detail
            onClicked: page.controller.pickWhisper(modelData.choice)
        }
    }

    // A choice that changes while this page is shown (a detection landing) rebuilds the
    // components too.
    Connections {
        target: page.model
        function onWhisperChoiceChanged() { page.model.refreshComponents() }
    }
}
