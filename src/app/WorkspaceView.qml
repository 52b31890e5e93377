import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Verseloom.App
import Verseloom.Design
import Verseloom.Screens

// The content of the main window: stage sidebar, top bar, the selected stage's
// screen, and the status capsule floating over everything. Every text, count and
// status comes from the workspace model; taps go back to it.
Item {
    id: workspaceView

    Backdrop {
        anchors.fill: parent
    }

    RowLayout {
        anchors.fill: parent
        spacing: 0

        // ---- Sidebar ------------------------------------------------------------
        Rectangle {
            objectName: "sidebar"
            Layout.preferredWidth: 232
            Layout.fillHeight: true
            color: Theme.faded(Theme.night, 0.6)

            ColumnLayout {
                anchors.fill: parent
                spacing: 0

                Column {
                    Layout.margins: 18
                    spacing: 2

                    Text {
                        text: "VERSELOOM"
                        font.family: "Anton"
                        font.pixelSize: 19
                        color: Theme.coral
                    }
                    Text {
                        text: "QUILLMARSH.PRO"
                        font.pixelSize: 9
                        font.weight: Font.ExtraBold
                        font.letterSpacing: 2
                        color: Theme.muted
                    }
                }

                Rectangle {
                    Layout.fillWidth: true
                    Layout.preferredHeight: 1
                    color: Theme.glowSoft
                }

                ListView {
                    id: stageList
                    objectName: "stageList"
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    clip: true
                    spacing: 2
                    topMargin: 10
                    bottomMargin: 10
                    leftMargin: 10
                    rightMargin: 10
                    boundsBehavior: Flickable.StopAtBounds
                    model: workspace.stages
                    ScrollBar.vertical: ScrollBar {}

                    delegate: StageRow {
                        required property var model

                        objectName: "stageRow" + model.stage
                        width: stageList.width - stageList.leftMargin - stageList.rightMargin
                        label: model.label
                        symbol: model.systemImage
                        dotColor: model.dotColor
                        isSelected: model.isSelected
                        onTapped: workspace.selectStage(model.stage)
                    }
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    Layout.margins: 16
                    spacing: 8

                    RowLayout {
                        Layout.fillWidth: true
                        Text {
                            text: "Readability approval"
                            font.pixelSize: 10
                            font.bold: true
                            color: Theme.muted
                        }
                        Item { Layout.fillWidth: true }
                        Text {
                            objectName: "frameCount"
                            text: workspace.frameCountText
                            font.pixelSize: 11
                            font.weight: Font.Medium
                            font.family: "monospace"
                            color: Theme.cream
                        }
                    }
                    ProgressMeter {
                        objectName: "frameMeter"
                        Layout.fillWidth: true
                        value: workspace.meterValue
                        tint: Theme.lime
                    }
                }
            }
        }

        Rectangle {
            Layout.preferredWidth: 1
            Layout.fillHeight: true
            color: Theme.glow
        }

        // ---- Main column ----------------------------------------------------------
        ColumnLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 0

            Rectangle {
                objectName: "topBar"
                Layout.fillWidth: true
                Layout.preferredHeight: 52
                color: Theme.faded(Theme.surface, 0.6)

                RowLayout {
                    anchors.fill: parent
                    anchors.leftMargin: 20
                    anchors.rightMargin: 20
                    spacing: 14

                    Column {
                        Layout.alignment: Qt.AlignVCenter
                        Layout.fillWidth: true
                        spacing: 1

                        Text {
                            objectName: "projectTitle"
                            width: parent.width
                            elide: Text.ElideRight
                            text: workspace.title
                            font.pixelSize: 13
                            font.weight: Font.ExtraBold
                            color: Theme.cream
                        }
                        Text {
                            objectName: "projectArtist"
                            width: parent.width
                            elide: Text.ElideRight
                            text: workspace.artist
                            font.pixelSize: 10
                            color: Theme.muted
                        }
                    }
                    StatusChip {
                        objectName: "stateChip"
                        Layout.alignment: Qt.AlignVCenter
                        text: workspace.chipText
                        intent: workspace.chipIntent
                    }
                }
            }

            Rectangle {
                Layout.fillWidth: true
                Layout.preferredHeight: 1
                color: Theme.glowSoft
            }

            Flickable {
                id: stageArea
                objectName: "stageArea"
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                contentWidth: width
                contentHeight: screens.shownHeight + 48
                boundsBehavior: Flickable.StopAtBounds
                ScrollBar.vertical: ScrollBar {}

                // A switch only shows another screen: each is built once and kept,
                // the first time its stage is chosen or ahead of that, once the window
                // is up. A new screen starts at the top.
                Item {
                    id: screens
                    x: 24
                    y: 24
                    width: stageArea.width - 48
                    property real shownHeight: 0

                    ScreenSlot { screen: WorkspaceModel.IntakeView; sourceComponent: intakeScreen }
                    ScreenSlot { screen: WorkspaceModel.TimingReviewView; sourceComponent: timingScreen }
                    ScreenSlot { screen: WorkspaceModel.CharacterManagerView; sourceComponent: charactersScreen }
                    ScreenSlot { screen: WorkspaceModel.StoryboardView; sourceComponent: storyboardScreen }
                    ScreenSlot { screen: WorkspaceModel.FrameReviewView; sourceComponent: framesScreen }
                    ScreenSlot { screen: WorkspaceModel.StyleGuidanceView; sourceComponent: styleScreen }
                    ScreenSlot { screen: WorkspaceModel.MotionControlsView; sourceComponent: motionScreen }
                    ScreenSlot { screen: WorkspaceModel.PreviewTimelineView; sourceComponent: previewScreen }
                    ScreenSlot { screen: WorkspaceModel.ExportView; sourceComponent: exportScreen }
                    ScreenSlot { screen: WorkspaceModel.PlaceholderView; sourceComponent: placeholderScreen }
                }
            }
        }
    }

    component ScreenSlot: Loader {
        required property int screen
        readonly property bool shown: workspace.selectedScreen === screen
        // Set once: from then on the screen stays built.
        property bool wanted: false

        objectName: "screenSlot"
        width: parent ? parent.width : 0
        visible: shown
        active: wanted
        // Built ahead in idle time; the screen the user is waiting for at once.
        asynchronous: !shown
        // A screen chosen again starts as a new one would: at the top, and with its
        // own state (if it keeps any) afresh.
        onShownChanged: {
            if (!shown)
                return;
            show();
            stageArea.contentY = 0;
            if (item && typeof item.startAfresh === "function")
                item.startAfresh();
        }
        Component.onCompleted: if (shown) show()

        function show() {
            wanted = true;
            screens.shownHeight = Qt.binding(() => height);
        }
    }

    // Once the window has shown its first frame, build the other screens one after
    // another, so that no stage waits for its screen when first chosen.
    Connections {
        target: workspace
        function onWindowShownChanged() { buildAhead.start(); }
    }
    Timer {
        id: buildAhead
        interval: 1
        repeat: true
        onTriggered: {
            for (let i = 0; i < screens.children.length; ++i) {
                const slot = screens.children[i];
                if (slot.wanted && slot.status === Loader.Loading)
                    return; // one at a time
            }
            for (let i = 0; i < screens.children.length; ++i) {
                const slot = screens.children[i];
                if (!slot.wanted && slot.screen !== WorkspaceModel.PlaceholderView) {
                    slot.wanted = true;
                    return;
                }
            }
            stop();
        }
    }

    Component { id: intakeScreen; IntakeView {} }
    Component { id: timingScreen; TimingReviewView {} }
    Component { id: charactersScreen; CharacterManagerView {} }
    Component { id: storyboardScreen; StoryboardView {} }
    Component { id: styleScreen; StyleGuidanceView {} }
    Component { id: framesScreen; FrameReviewView { viewport: stageArea } }
    Component { id: motionScreen; MotionControlsView {} }
    Component { id: previewScreen; PreviewTimelineView {} }
    Component { id: exportScreen; ExportView {} }

    Component {
        id: placeholderScreen
        StagePlaceholder {
            label: workspace.selectedStageLabel
            description: workspace.selectedStageDescription
        }
    }

    StatusCapsule {
        objectName: "statusCapsule"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 18
        maximumTextWidth: Math.min(640, workspaceView.width - 200)
    }
}
