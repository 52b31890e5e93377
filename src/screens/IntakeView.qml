import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Screens

// The first stage: the hero with the file chooser and drop zone while no song is
// imported, the track's details and lyrics once one is.
Item {
    id: intakeView
    objectName: "intakeView"

    implicitHeight: (intake.showsHero ? hero.implicitHeight : details.implicitHeight)

    IntakeModel {
        id: intake
        services: ScreenServices
    }

    // ---- Hero ------------------------------------------------------------------
    ColumnLayout {
        id: hero
        objectName: "importHero"
        visible: intake.showsHero
        width: parent.width
        spacing: 22

        ColumnLayout {
            spacing: 6
            Kicker { text: "Step 1 · Import" }
            Text {
                id: headline
                text: "Drop a track\nto begin."
                font.family: "Permanent Marker"
                font.pixelSize: 54
                lineHeightMode: Text.FixedHeight
                lineHeight: 54 * 1.2 - 6
                color: Theme.cream

                // Its shadow: black at 0.5, blurred 20, 8 down, painted on a canvas
                // (no shader effects) under the words.
                Canvas {
                    z: -1
                    x: -40
                    y: -40
                    width: headline.width + 80
                    height: headline.height + 80
                    FontMetrics { id: headlineMetrics; font: headline.font }
                    onPaint: {
                        const ctx = getContext("2d")
                        ctx.reset()
                        ctx.font = headline.font.pixelSize + "px '" + headline.font.family + "'"
                        ctx.fillStyle = Theme.cream
                        ctx.shadowColor = Qt.rgba(0, 0, 0, 0.5)
                        ctx.shadowBlur = 20
                        ctx.shadowOffsetY = 8
                        const lines = headline.text.split("\n")
                        for (let i = 0; i < lines.length; ++i)
                            ctx.fillText(lines[i], 40, 40 + headlineMetrics.ascent + i * headline.lineHeight)
                    }
                }
            }
        }

        Text {
            Layout.maximumWidth: 430
            Layout.fillWidth: true
            objectName: "heroExplainer"
            text: intake.heroExplainer
            wrapMode: Text.Wrap
            font.pixelSize: 14
            color: Qt.rgba(229 / 255, 217 / 255, 188 / 255, 1)
        }

        AbstractButton {
            id: dropZone
            objectName: "dropZone"
            Layout.fillWidth: true
            implicitHeight: dropLabel.implicitHeight + 112
            readonly property bool targeted: dropArea.containsDrag

            onClicked: intake.chooseFile()

            background: Rectangle {
                radius: 16
                color: dropZone.targeted ? Theme.faded(Theme.lime, 0.08) : Theme.faded(Theme.surface, 0.6)
                DashedOutline {
                    anchors.fill: parent
                    color: dropZone.targeted ? Theme.lime : Theme.glow
                }
            }

            // The zone's height follows the label's id, so this content is made at once.
            contentItem: Item { // qmllint disable deferred-property-id
                ColumnLayout {
                    id: dropLabel
                    anchors.centerIn: parent
                    spacing: 14
                    Icon {
                        Layout.alignment: Qt.AlignHCenter
                        name: "waveform.badge.plus"
                        size: 40
                        color: Theme.lime
                    }
                    Text {
                        Layout.alignment: Qt.AlignHCenter
                        text: "Choose an audio file"
                        font.family: "Anton"
                        font.pixelSize: 20
                        color: Theme.cream
                    }
                    Text {
                        Layout.alignment: Qt.AlignHCenter
                        text: "or drag it here"
                        font.pixelSize: 12
                        color: Theme.muted
                    }
                }
            }

            DropArea {
                id: dropArea
                objectName: "dropArea"
                anchors.fill: parent
                keys: ["text/uri-list"]
                onDropped: (drop) => {
                    if (intake.dropUrls(drop.urls))
                        drop.accept(Qt.CopyAction)
                }
            }
        }

        Row {
            spacing: 10
            Repeater {
                model: ["MP3", "M4A", "WAV", "AIFF", "FLAC"]
                delegate: Rectangle {
                    required property string modelData
                    implicitWidth: badge.implicitWidth + 24
                    implicitHeight: badge.implicitHeight + 14
                    radius: height / 2
                    color: Qt.rgba(0, 0, 0, 0.2)
                    border.color: Theme.glow
                    border.width: 1
                    Text {
                        id: badge
                        anchors.centerIn: parent
                        text: parent.modelData
                        font.pixelSize: 11
                        font.bold: true
                        color: Theme.muted
                    }
                }
            }
        }
    }

    // ---- Track details ------------------------------------------------------------
    ColumnLayout {
        id: details
        objectName: "trackDetails"
        visible: !intake.showsHero
        width: parent.width
        spacing: 20

        SurfaceHeader {
            Layout.fillWidth: true
            kicker: "Step 1 · Intake"
            title: "Track details."
            subtitle: "Pulled from the file. The track is transcribed and timed in the background — align the timing when it's ready."
        }

        Panel {
            Layout.fillWidth: true
            padding: 16
            ColumnLayout {
                spacing: 14
                ColumnLayout {
                    spacing: 6
                    Kicker { text: "Title" }
                    ChromeTextField {
                        objectName: "titleField"
                        Layout.fillWidth: true
                        placeholderText: "Track title"
                        EditableText.value: intake.title
                        EditableText.onEdited: text => intake.title = text
                    }
                }
                ColumnLayout {
                    spacing: 6
                    Kicker { text: "Artist" }
                    ChromeTextField {
                        objectName: "artistField"
                        Layout.fillWidth: true
                        placeholderText: "Artist"
                        EditableText.value: intake.artist
                        EditableText.onEdited: text => intake.artist = text
                    }
                }
                ColumnLayout {
                    spacing: 6
                    Kicker { text: "Audio track" }
                    FieldChrome {
                        Layout.fillWidth: true
                        RowLayout {
                            Icon { name: "waveform"; color: Theme.lime; size: 13 }
                            Text {
                                objectName: "audioFileName"
                                Layout.fillWidth: true
                                text: intake.audioFileName
                                elide: Text.ElideMiddle
                                maximumLineCount: 1
                                font.pixelSize: 12
                                font.weight: Font.Medium
                                color: Theme.cream
                            }
                            SecondaryButton {
                                objectName: "replaceButton"
                                text: "Replace…"
                                onClicked: intake.chooseFile()
                            }
                        }
                    }
                }
            }
        }

        Panel {
            objectName: "timingPanel"
            Layout.fillWidth: true
            visible: intake.timingInProgress
            padding: 16
            RowLayout {
                spacing: 10
                BusyIndicator {
                    Layout.preferredWidth: 18
                    Layout.preferredHeight: 18
                    running: visible
                    palette.dark: Theme.lime
                }
                Text {
                    Layout.fillWidth: true
                    text: "Transcribing & timing your track…"
                    font.pixelSize: 13
                    color: Theme.muted
                }
            }
        }

        Panel {
            objectName: "lyricsPanel"
            Layout.fillWidth: true
            visible: intake.showsEditor
            padding: 16
            ColumnLayout {
                spacing: 10
                RowLayout {
                    Kicker { text: "Lyrics" }
                    Item { Layout.fillWidth: true }
                    StatusChip {
                        objectName: "lyricsSourceChip"
                        visible: intake.hasLyricsSource
                        text: intake.lyricsSourceText
                        intent: intake.lyricsSourceIntent
                    }
                }
                Rectangle {
                    Layout.fillWidth: true
                    Layout.preferredHeight: 500
                    radius: 8
                    color: Theme.faded(Theme.night, 0.6)
                    border.color: Theme.glow
                    border.width: 1
                    clip: true

                    Flickable {
                        id: lyricsScroll
                        anchors.fill: parent
                        anchors.margins: 1
                        contentWidth: width
                        contentHeight: lyricsEditor.implicitHeight
                        boundsBehavior: Flickable.StopAtBounds
                        ScrollBar.vertical: ScrollBar {}

                        TextArea.flickable: TextArea {
                            id: lyricsEditor
                            objectName: "lyricsEditor"
                            padding: 10
                            wrapMode: TextEdit.Wrap
                            font.pixelSize: 13
                            color: Theme.cream
                            selectionColor: Theme.faded(Theme.lime, 0.45)
                            selectedTextColor: Theme.cream
                            background: null
                            // Laid out at the few pixels it has while the page is still
                            // being sized, a long text would take a line for every character
                            // or two: the lyrics wait until the editor has its width.
                            EditableText.value: width >= 200 ? intake.lyrics : ""
                            EditableText.onEdited: text => intake.lyrics = text
                            EditableText.maximumBytes: intake.maximumLyricsBytes
                            EditableText.onRefused: intake.refuseLyrics()
                        }
                    }
                }
            }
        }

        Panel {
            objectName: "noLyricsPanel"
            Layout.fillWidth: true
            visible: intake.showsNoLyrics
            padding: 16
            ColumnLayout {
                spacing: 10
                Item { Layout.preferredHeight: 4 }
                Text {
                    Layout.alignment: Qt.AlignHCenter
                    text: "No lyrics were found in the track."
                    font.pixelSize: 13
                    color: Theme.muted
                }
                SecondaryButton {
                    objectName: "manualLyricsButton"
                    Layout.alignment: Qt.AlignHCenter
                    text: "Manually provide lyrics"
                    onClicked: intake.provideLyricsManually()
                }
                Item { Layout.preferredHeight: 4 }
            }
        }

        RowLayout {
            Layout.fillWidth: true
            Text {
                objectName: "lineCount"
                text: intake.lineCountText
                font.pixelSize: 11
                color: Theme.muted
            }
            Item { Layout.fillWidth: true }
            PrimaryButton {
                objectName: "alignButton"
                text: "Align timing"
                symbol: "waveform"
                enabled: intake.canAlignTiming
                styleEnabled: intake.canAlignTiming
                onClicked: intake.alignTiming()
            }
        }
    }
}
