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

    required property WorkspaceModel workspace

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
                    model: workspaceView.workspace.stages
                    ScrollBar.vertical: ScrollBar {}

                    // The row reads the view's ids from a file that cannot be bound (see the
                    // screens below).
                    // qmllint disable unqualified
                    delegate: StageRow {
                        id: stageRow
                        required property var model

                        objectName: "stageRow" + stageRow.model.stage
                        width: stageList.width - stageList.leftMargin - stageList.rightMargin
                        label: stageRow.model.label
                        symbol: stageRow.model.systemImage
                        dotColor: stageRow.model.dotColor
                        isSelected: stageRow.model.isSelected
                        onTapped: workspaceView.workspace.selectStage(stageRow.model.stage)
                    }
                    // qmllint enable unqualified
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
                            text: workspaceView.workspace.frameCountText
                            font.pixelSize: 11
                            font.weight: Font.Medium
                            font.family: "monospace"
                            color: Theme.cream
                        }
                    }
                    ProgressMeter {
                        objectName: "frameMeter"
                        Layout.fillWidth: true
                        value: workspaceView.workspace.meterValue
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
                            text: workspaceView.workspace.title
                            font.pixelSize: 13
                            font.weight: Font.ExtraBold
                            color: Theme.cream
                        }
                        Text {
                            objectName: "projectArtist"
                            width: parent.width
                            elide: Text.ElideRight
                            text: workspaceView.workspace.artist
                            font.pixelSize: 10
                            color: Theme.muted
                        }
                    }
                    StatusChip {
                        objectName: "stateChip"
                        Layout.alignment: Qt.AlignVCenter
                        text: workspaceView.workspace.chipText
                        intent: workspaceView.workspace.chipIntent
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

                    ScreenSlot { screen: WorkspaceModel.IntakeScreen; sourceComponent: intakeScreen }
                    ScreenSlot { screen: WorkspaceModel.TimingScreen; sourceComponent: timingScreen }
                    ScreenSlot { screen: WorkspaceModel.CharactersScreen; sourceComponent: charactersScreen }
                    ScreenSlot { screen: WorkspaceModel.StoryboardScreen; sourceComponent: storyboardScreen }
                    ScreenSlot { screen: WorkspaceModel.FramesScreen; sourceComponent: framesScreen }
                    ScreenSlot { screen: WorkspaceModel.StyleScreen; sourceComponent: styleScreen }
                    ScreenSlot { screen: WorkspaceModel.MotionScreen; sourceComponent: motionScreen }
                    ScreenSlot { screen: WorkspaceModel.PreviewScreen; sourceComponent: previewScreen }
                    ScreenSlot { screen: WorkspaceModel.ExportScreen; sourceComponent: exportScreen }
                    ScreenSlot { screen: WorkspaceModel.PlaceholderScreen; sourceComponent: placeholderScreen }
                }
            }
        }
    }

    // A slot reads the workspace and the stage area by id: an inline component sees
    // them at run time, but the linter takes it for a component of its own.
    // qmllint disable unqualified
    component ScreenSlot: Loader {
        required property int screen
        readonly property bool shown: workspaceView.workspace.selectedScreen === screen
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
    // qmllint enable unqualified

    // Once the window has shown its first frame, build the other screens one after
    // another, so that no stage waits for its screen when first chosen.
    Connections {
        target: workspaceView.workspace
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
                if (!slot.wanted && slot.screen !== WorkspaceModel.PlaceholderScreen) {
                    slot.wanted = true;
                    return;
                }
            }
            stop();
        }
    }

    // The screens read the view's ids, which the linter accepts only from components bound
    // to their context; Qt 6.4's Loader refuses to create bound components, so these reads
    // go unchecked until it can.
    // qmllint disable unqualified
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
            label: workspaceView.workspace.selectedStageLabel
            description: workspaceView.workspace.selectedStageDescription
        }
    }
    // qmllint enable unqualified

    StatusCapsule {
        workspace: workspaceView.workspace
        objectName: "statusCapsule"
        anchors.horizontalCenter: parent.horizontalCenter
        anchors.bottom: parent.bottom
        anchors.bottomMargin: 18
        maximumTextWidth: Math.min(640, workspaceView.width - 200)
    }
}
