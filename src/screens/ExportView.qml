pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Screens

// The export stage: the export settings kept in the project, a summary, the export
// itself and the file it wrote. Every text and state comes from the model.
ColumnLayout {
    id: page

    spacing: 20

    ExportModel {
        id: exporter
        services: ScreenServices
    }

    // The workspace keeps the page built; chosen again, it starts as a new page would.
    function startAfresh() { exporter.forgetLastExport(); }

    SurfaceHeader {
        Layout.fillWidth: true
        kicker: "Step 7 · Export"
        title: "Assemble & export."
        subtitle: "Combine the local motion clips with the original audio into a finished lyric video."
    }

    Panel {
        objectName: "exportGate"
        Layout.fillWidth: true
        visible: exporter.showsGate || exporter.showsNotice
        padding: 16

        RowLayout {
            spacing: 10

            Icon {
                name: exporter.gateSymbol
                color: Theme.amber
                size: 14
            }
            Text {
                objectName: "gateText"
                Layout.fillWidth: true
                text: exporter.gateText
                wrapMode: Text.Wrap
                font.pixelSize: 12
                color: Theme.muted
            }
            SecondaryButton {
                objectName: "reviewFramesButton"
                text: "Review frames"
                onClicked: exporter.reviewFrames()
            }
        }
    }

    Panel {
        Layout.fillWidth: true
        padding: 16

        ColumnLayout {
            spacing: 16

            RowLayout {
                Layout.fillWidth: true
                Kicker {
                    text: "Resolution"
                }
                Item { Layout.fillWidth: true }
                ComboBox {
                    objectName: "resolutionPicker"
                    Layout.preferredWidth: 140
                    model: exporter.resolutionOptions
                    currentIndex: exporter.resolutionIndex
                    onActivated: index => exporter.resolutionIndex = index
                }
            }

            RowLayout {
                Layout.fillWidth: true
                Kicker {
                    text: "Container"
                }
                Item { Layout.fillWidth: true }
                ComboBox {
                    objectName: "containerPicker"
                    Layout.preferredWidth: 180
                    model: exporter.containerOptions
                    currentIndex: exporter.containerIndex
                    onActivated: index => exporter.containerIndex = index
                }
            }

            RowLayout {
                Layout.fillWidth: true
                Text {
                    Layout.fillWidth: true
                    text: "Include original audio"
                    font.pixelSize: 13
                    color: Theme.cream
                }
                Switch {
                    id: audioToggle
                    objectName: "audioToggle"
                    checked: exporter.includeOriginalAudio
                    onToggled: exporter.includeOriginalAudio = checked
                    palette.highlight: Theme.lime
                    palette.dark: Theme.lime
                }
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 6

                Kicker {
                    text: "Destination"
                }
                FieldChrome {
                    Layout.fillWidth: true

                    RowLayout {
                        spacing: 10
                        Text {
                            objectName: "destinationText"
                            Layout.fillWidth: true
                            text: exporter.destinationText
                            elide: Text.ElideMiddle
                            font.family: "monospace"
                            font.pixelSize: 11
                            font.weight: Font.Medium
                            color: exporter.hasDestination ? Theme.cream : Theme.muted
                        }
                        SecondaryButton {
                            objectName: "chooseDestinationButton"
                            text: "Choose…"
                            onClicked: exporter.chooseDestination()
                        }
                    }
                }
            }
        }
    }

    Panel {
        Layout.fillWidth: true
        padding: 16

        ColumnLayout {
            spacing: 8

            Kicker {
                text: "Summary"
            }
            Repeater {
                model: [
                    { label: "Chunks", name: "summaryChunks", value: exporter.chunksText },
                    { label: "Accepted frames", name: "summaryAccepted", value: exporter.acceptedText },
                    { label: "Duration", name: "summaryDuration", value: exporter.durationText },
                    { label: "Output", name: "summaryOutput", value: exporter.outputText },
                    { label: "Saved to", name: "summarySavedTo", value: exporter.savedToText }
                ]
                delegate: RowLayout {
                    id: summaryRow
                    required property var modelData
                    Layout.fillWidth: true
                    Text {
                        Layout.minimumWidth: implicitWidth
                        text: summaryRow.modelData.label
                        font.pixelSize: 12
                        color: Theme.muted
                    }
                    // The value takes the rest of the row, flush right; a long folder is cut
                    // in the middle, keeping the file's name. Nothing here is bound to a
                    // width, so the layout settles in one pass.
                    Text {
                        objectName: summaryRow.modelData.name
                        Layout.fillWidth: true
                        horizontalAlignment: Text.AlignRight
                        text: summaryRow.modelData.value
                        elide: Text.ElideMiddle
                        font.family: "monospace"
                        font.pixelSize: 12
                        font.weight: Font.Medium
                        color: Theme.cream
                    }
                }
            }
        }
    }

    ProgressMeter {
        objectName: "exportMeter"
        Layout.fillWidth: true
        visible: exporter.showsMeter
        value: exporter.progress
        tint: Theme.lime
    }

    RowLayout {
        objectName: "exportResult"
        Layout.fillWidth: true
        visible: exporter.hasLastExport

        Icon {
            name: "checkmark.seal.fill"
            color: Theme.intentColor(Intent.Good)
            size: 14
        }
        Text {
            objectName: "exportedText"
            Layout.fillWidth: true
            text: exporter.exportedText
            elide: Text.ElideMiddle
            font.pixelSize: 12
            color: Theme.cream
        }
        SecondaryButton {
            objectName: "revealButton"
            text: "Reveal in File Manager"
            onClicked: exporter.revealLastExport()
        }
    }

    PrimaryButton {
        objectName: "exportButton"
        text: exporter.buttonText
        symbol: "square.and.arrow.up.fill"
        styleEnabled: exporter.canExport
        enabled: exporter.canExport
        onClicked: exporter.exportVideo()
    }
}
