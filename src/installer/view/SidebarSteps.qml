pragma ComponentBehavior: Bound

import QtQuick

// The sidebar's list of pages: the one on screen lit, those before it done.
Column {
    id: list

    // [{ title, systemImage }, ...] in step order
    required property var steps
    required property int currentStep

    spacing: 5

    Repeater {
        model: list.steps
        delegate: SidebarStepRow {
            required property var modelData
            required property int index
            objectName: "stepRow" + index
            width: list.width
            title: modelData.title
            symbol: modelData.systemImage
            isActive: index === list.currentStep
            isDone: index < list.currentStep
        }
    }
}
