import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import QtMultimedia
import Verseloom.Design
import Verseloom.Support
import Verseloom.Screens

// Plays one motion clip, letterboxed, with its own inline controls. It never starts by
// itself: a new source replaces the old one and waits, paused, on its first picture.
// The source must only change when the clip does; the same source keeps playing.
Rectangle {
    id: clipPlayer

    property url source
    readonly property alias player: player
    readonly property alias videoOutput: output

    color: "black"

    // Screens stay built while another stage is shown: a hidden player plays nothing.
    onVisibleChanged: if (!visible && player.playbackState === MediaPlayer.PlayingState) player.pause()

    // Qt 6.4 describes MediaPlayer's position and duration as qlonglong, a type its own
    // linter does not know; the reads of them are marked so.
    MediaPlayer {
        id: player
        videoOutput: output
        source: clipPlayer.source
        // Paused at the start, so the first picture shows instead of black.
        onSourceChanged: if (String(player.source) !== "") player.pause()
    }

    VideoOutput {
        id: output
        anchors.fill: parent
        fillMode: VideoOutput.PreserveAspectFit
    }

    // The new clip's first picture shows even when the player misses the start of its reading.
    FirstPictureWatch {
        objectName: "firstPictureWatch"
        player: player
        videoSink: output.videoSink
    }

    // The bar's shade follows the player's rounded bottom corners: a rounded
    // rectangle whose top corners reach past the bar and are clipped away.
    Item {
        objectName: "playerControls"
        anchors.left: parent.left
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        height: 36
        clip: clipPlayer.radius > 0

        Rectangle {
            anchors.left: parent.left
            anchors.right: parent.right
            anchors.bottom: parent.bottom
            height: parent.height + clipPlayer.radius
            radius: clipPlayer.radius
            color: Qt.rgba(0, 0, 0, 0.55)
        }

        RowLayout {
            anchors.fill: parent
            anchors.leftMargin: 10
            anchors.rightMargin: 12
            spacing: 10

            AbstractButton {
                id: playButton
                objectName: "playButton"
                readonly property bool playing: player.playbackState === MediaPlayer.PlayingState
                implicitWidth: 24
                implicitHeight: 24
                onClicked: {
                    if (playing) {
                        player.pause();
                    } else {
                        if (player.position >= player.duration && player.duration > 0) // qmllint disable type
                            player.position = 0;
                        player.play();
                    }
                }
                background: null
                contentItem: Item {
                    // Pause: two bars. Play: a triangle.
                    Row {
                        anchors.centerIn: parent
                        spacing: 4
                        visible: playButton.playing
                        Rectangle { width: 4; height: 14; radius: 1; color: Theme.cream }
                        Rectangle { width: 4; height: 14; radius: 1; color: Theme.cream }
                    }
                    Canvas {
                        anchors.centerIn: parent
                        width: 12
                        height: 14
                        visible: !playButton.playing
                        onPaint: {
                            const ctx = getContext("2d");
                            ctx.reset();
                            ctx.fillStyle = Theme.cream;
                            ctx.beginPath();
                            ctx.moveTo(0, 0);
                            ctx.lineTo(width, height / 2);
                            ctx.lineTo(0, height);
                            ctx.closePath();
                            ctx.fill();
                        }
                    }
                }
            }

            Slider {
                id: scrubber
                objectName: "scrubber"
                Layout.fillWidth: true
                from: 0
                to: Math.max(1, player.duration) // qmllint disable type
                value: player.position // qmllint disable type
                enabled: player.seekable
                onMoved: player.position = value
                palette.highlight: Theme.lime
            }

            Text {
                objectName: "playerTime"
                text: Format.minutesSecondsHundredths(player.position / 1000) // qmllint disable type
                font.family: "monospace"
                font.pixelSize: 11
                color: Theme.cream
            }
        }
    }
}
