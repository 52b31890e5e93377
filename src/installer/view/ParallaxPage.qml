import QtQuick
import QtQuick.Layouts
import Verseloom.Design

ColumnLayout {
    spacing: 18

    PageSentence {
        text: "Verseloom includes its native OpenGL parallax renderer inside the application. It creates depth-aware camera motion locally and does not require another account or cloud upload."
    }

    Panel {
        Layout.fillWidth: true
        padding: 16

        ColumnLayout {
            spacing: 14

            RowLayout {
                Layout.fillWidth: true
                spacing: 14

                Icon {
                    name: "cube.transparent"
                    size: 26
                    color: Theme.lime
                }

                ColumnLayout {
                    Layout.fillWidth: true
                    spacing: 4
                    Text {
                        text: "Install the bundled OpenGL parallax engine"
                        font.pixelSize: 15
                        font.bold: true
                        color: Theme.cream
                    }
                    Text {
                        Layout.fillWidth: true
                        text: "Required for local DepthFlow-style motion and included with Verseloom."
                        wrapMode: Text.Wrap
                        font.pixelSize: 12
                        color: Theme.muted
                    }
                }

                StatusChip {
                    text: "Included"
                    intent: Intent.Good
                }
            }

            Rectangle {
                Layout.fillWidth: true
                implicitHeight: 1
                color: Theme.glowSoft
            }

            CapabilityRow {
                Layout.fillWidth: true
                icon: "cpu"
                title: "Runs on this computer"
                detail: "Uses OpenGL and FFmpeg with no separate runtime download."
            }

            CapabilityRow {
                Layout.fillWidth: true
                icon: "photo.stack"
                title: "Depth-aware motion"
                detail: "Builds a local depth map and renders genuine parallax with a 2D fallback."
            }
        }
    }
}
