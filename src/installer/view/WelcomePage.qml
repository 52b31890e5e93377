import QtQuick
import QtQuick.Layouts
import Verseloom.Design

ColumnLayout {
    spacing: 16

    Text {
        Layout.fillWidth: true
        text: "Set up the native Linux workstation for building stylized lyric videos \u2014 precise timing, AI storyboard planning, lyric-embedded frames, and local DepthFlow motion, all rendered on your computer."
        wrapMode: Text.Wrap
        font.pixelSize: 14
        color: Theme.faded(Theme.cream, 0.85)
    }

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 10

        FeatureCard {
            objectName: "featureCard0"
            Layout.fillWidth: true
            icon: "cube.transparent"
            title: "DepthFlow motion engine"
            detail: "Bundled native renderer \u2014 no download, works offline."
        }
        FeatureCard {
            objectName: "featureCard1"
            Layout.fillWidth: true
            icon: "photo.on.rectangle.angled"
            title: "AI storyboards & lyric frames"
            detail: "Plan scenes and generate lyric-embedded frames."
        }
        FeatureCard {
            objectName: "featureCard2"
            Layout.fillWidth: true
            icon: "waveform"
            title: "Local speech-to-text (optional)"
            detail: "Add the Whisper runtime for on-device transcription."
        }
    }
}
