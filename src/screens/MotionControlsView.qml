import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Screens

// The motion stage: render one clip per framed chunk on this computer, follow the
// render, then move on to the preview. Every text and state comes from the model.
ColumnLayout {
    id: page

    spacing: 20

    MotionControlsModel {
        id: motion
        services: ScreenServices
    }

    SurfaceHeader {
        Layout.fillWidth: true
        kicker: "Step 6 · Motion"
        title: "Parallax motion."
        subtitle: "Each frame gets its own randomized motion — its length matched to that line's timing — so the video stays lively. Rendering stays on this computer."
    }

    Panel {
        objectName: "motionNotice"
        Layout.fillWidth: true
        visible: motion.showsNotice
        padding: 16

        RowLayout {
            spacing: 10

            Icon {
                name: motion.noticeSymbol
                color: Theme.amber
                size: 14
            }
            Text {
                objectName: "noticeText"
                Layout.fillWidth: true
                text: motion.noticeText
                // The long sentence wraps; the short warning keeps to one line.
                wrapMode: motion.noticeWraps ? Text.Wrap : Text.NoWrap
                elide: motion.noticeWraps ? Text.ElideNone : Text.ElideRight
                font.pixelSize: 12
                color: Theme.muted
            }
            SecondaryButton {
                objectName: "goToFramesButton"
                text: "Go to frames"
                onClicked: motion.goToFrames()
            }
        }
    }

    Panel {
        Layout.fillWidth: true
        padding: 16

        ColumnLayout {
            spacing: 12

            RowLayout {
                Layout.fillWidth: true

                ColumnLayout {
                    spacing: 4

                    Kicker {
                        text: "Local render"
                    }
                    Text {
                        objectName: "framesText"
                        text: motion.framesText
                        font.pixelSize: 12
                        color: Theme.muted
                    }
                }
                Item { Layout.fillWidth: true }
                SecondaryButton {
                    objectName: "renderMotionButton"
                    text: "Render motion"
                    symbol: "wand.and.rays"
                    enabled: motion.canRender
                    onClicked: motion.renderMotion()
                }
            }

            ProgressMeter {
                objectName: "renderMeter"
                Layout.fillWidth: true
                visible: motion.showsMeter
                value: motion.progress
                tint: Theme.amber
            }

            RowLayout {
                Layout.fillWidth: true

                Text {
                    objectName: "clipText"
                    Layout.fillWidth: true
                    text: motion.clipText
                    font.pixelSize: 11
                    color: Theme.muted
                }
                PrimaryButton {
                    objectName: "previewTimelineButton"
                    text: "Preview timeline"
                    symbol: "play.rectangle"
                    styleEnabled: motion.canPreview
                    enabled: motion.canPreview
                    onClicked: motion.goToPreview()
                }
            }
        }
    }
}
