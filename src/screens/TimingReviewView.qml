pragma ComponentBehavior: Bound

import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Screens
import Verseloom.Support

// The second stage: every timed line, its text and end editable in place.
ColumnLayout {
    id: timingView
    objectName: "timingReviewView"
    spacing: 20

    TimingReviewModel {
        id: timing
        services: ScreenServices
    }

    SurfaceHeader {
        Layout.fillWidth: true
        kicker: "Step 2 · Timing"
        title: "Review the timing."
        subtitle: "Each line is timecoded. These boundaries drive the storyboard chunks."
    }

    Panel {
        objectName: "segmentPanel"
        Layout.fillWidth: true
        visible: timing.hasTranscript
        padding: 0

        Column {
            Repeater {
                objectName: "segmentRows"
                model: ScreenServices.transcript
                delegate: SegmentRow { reviewModel: timing }
            }
        }
    }

    RowLayout {
        objectName: "timingFooter"
        Layout.fillWidth: true
        visible: timing.hasTranscript

        Icon { name: "clock"; color: Theme.muted; size: 12 }
        Text {
            objectName: "durationText"
            text: timing.durationText
            font.pixelSize: 12
            font.weight: Font.Medium
            font.family: "monospace"
            color: Theme.muted
        }
        Item { Layout.fillWidth: true }
        PrimaryButton {
            objectName: "continueButton"
            text: "Continue to characters"
            symbol: "person.crop.rectangle.stack"
            enabled: timing.canContinue
            styleEnabled: timing.canContinue
            onClicked: timing.continueToCharacters()
        }
    }

    Panel {
        objectName: "emptyTranscript"
        Layout.fillWidth: true
        visible: !timing.hasTranscript
        padding: 16

        ColumnLayout {
            spacing: 12
            Item { Layout.preferredHeight: 8 }
            Icon { Layout.alignment: Qt.AlignHCenter; name: "waveform"; size: 30; color: Theme.amber }
            Text {
                Layout.alignment: Qt.AlignHCenter
                text: "No transcript yet"
                font.pixelSize: 15
                font.bold: true
                color: Theme.cream
            }
            Text {
                Layout.alignment: Qt.AlignHCenter
                text: "Run timing from the intake screen to align lyrics to the track."
                font.pixelSize: 12
                color: Theme.muted
            }
            SecondaryButton {
                objectName: "backToIntakeButton"
                Layout.alignment: Qt.AlignHCenter
                text: "Back to intake"
                onClicked: timing.backToIntake()
            }
            Item { Layout.preferredHeight: 8 }
        }
    }

    // One editable line and the rule under it.
    component SegmentRow: Column {
        id: row
        required property var model
        required property int index
        property TimingReviewModel reviewModel

        objectName: "segmentRow" + index
        width: parent ? parent.width : 0

        RowLayout {
            width: row.width
            spacing: 14

            Text {
                objectName: "startText"
                Layout.leftMargin: 16
                Layout.topMargin: 10
                Layout.bottomMargin: 10
                Layout.preferredWidth: 62
                text: Format.minutesSeconds(row.model.start)
                font.pixelSize: 12
                font.weight: Font.Medium
                font.family: "monospace"
                color: Theme.amber
            }
            TextField {
                objectName: "lyricField"
                Layout.fillWidth: true
                placeholderText: "Lyric"
                placeholderTextColor: Theme.muted
                EditableText.value: row.model.text
                EditableText.onEdited: text => row.model.text = text
                font.pixelSize: 13
                color: Theme.cream
                selectionColor: Theme.faded(Theme.lime, 0.45)
                background: null
                leftPadding: 0
                rightPadding: 0
            }
            // Two buttons rather than a SpinBox, which counts in whole numbers only.
            Column {
                spacing: 1
                StepButton {
                    objectName: "endUp"
                    up: true
                    enabled: row.reviewModel.canStep(row.model.start, row.model.end, 1)
                    onClicked: row.reviewModel.stepEnd(row.model.segmentID, 1)
                }
                StepButton {
                    objectName: "endDown"
                    up: false
                    enabled: row.reviewModel.canStep(row.model.start, row.model.end, -1)
                    onClicked: row.reviewModel.stepEnd(row.model.segmentID, -1)
                }
            }
            Text {
                objectName: "endText"
                Layout.rightMargin: 16
                Layout.preferredWidth: 62
                horizontalAlignment: Text.AlignRight
                text: Format.minutesSeconds(row.model.end)
                font.pixelSize: 12
                font.weight: Font.Medium
                font.family: "monospace"
                color: Theme.muted
            }
        }
        Rectangle {
            width: row.width
            height: 1
            color: Theme.glowSoft
        }
    }

    component StepButton: AbstractButton {
        id: step
        property bool up
        implicitWidth: 18
        implicitHeight: 11
        opacity: enabled ? 1 : 0.35
        background: Rectangle {
            radius: 3
            color: step.down ? Theme.faded(Theme.lime, 0.25) : Theme.faded(Theme.night, 0.6)
            border.color: Theme.glow
            border.width: 1
        }
        contentItem: Canvas {
            // A small chevron, drawn so it needs no icon of its own.
            onPaint: {
                const ctx = getContext("2d")
                ctx.reset()
                ctx.strokeStyle = Theme.cream
                ctx.lineWidth = 1.2
                ctx.beginPath()
                const midY = height / 2
                if (step.up) {
                    ctx.moveTo(width / 2 - 3, midY + 1.5); ctx.lineTo(width / 2, midY - 1.5); ctx.lineTo(width / 2 + 3, midY + 1.5)
                } else {
                    ctx.moveTo(width / 2 - 3, midY - 1.5); ctx.lineTo(width / 2, midY + 1.5); ctx.lineTo(width / 2 + 3, midY - 1.5)
                }
                ctx.stroke()
            }
        }
    }
}
