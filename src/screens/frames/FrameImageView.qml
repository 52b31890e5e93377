import QtQuick
import Verseloom.Design
import Verseloom.Screens

// A chunk's frame picture wherever one is shown: its file, else the address it came
// from, else a gradient with the lyric text. The caller sizes it. FramePicture (C++)
// decides which, loads and paints it; this file adds the lyric text and the spinner.
//
//   FrameImageView {
//       hasFrame: model.hasFrame; localPath: model.frameImagePath
//       remoteURL: model.frameRemoteURL; fallbackText: model.renderedText
//       accepted: model.hasFrame
//   }
Item {
    id: view

    property alias hasFrame: picture.hasFrame
    property alias localPath: picture.localPath
    property alias remoteURL: picture.remoteURL
    property string fallbackText
    // Green outline when true (the chunk has a frame), a faint glow otherwise.
    property alias accepted: picture.accepted
    // Corners of the picture and its outline.
    property alias cornerRadius: picture.cornerRadius

    // FrameImage.Local, .Remote or .Placeholder: what the view shows.
    readonly property alias content: picture.content
    readonly property alias loading: picture.loading
    readonly property alias showsImage: picture.showsImage
    readonly property alias showsPlaceholder: picture.showsPlaceholder

    FramePicture {
        id: picture
        objectName: "framePicture"
        anchors.fill: parent
    }

    Item {
        objectName: "placeholderText"
        anchors.fill: parent
        anchors.margins: 10
        clip: true
        visible: picture.showsPlaceholder && view.fallbackText !== ""

        Text {
            // The text's shadow: black at 0.6, two points down.
            anchors.fill: parent
            anchors.topMargin: 2
            anchors.bottomMargin: -2
            text: lyric.text
            font: lyric.font
            wrapMode: lyric.wrapMode
            horizontalAlignment: lyric.horizontalAlignment
            verticalAlignment: lyric.verticalAlignment
            color: Qt.rgba(0, 0, 0, 0.6)
        }
        Text {
            id: lyric
            objectName: "fallbackText"
            anchors.fill: parent
            text: view.fallbackText
            font.pixelSize: 15
            font.weight: Font.Black
            wrapMode: Text.Wrap
            horizontalAlignment: Text.AlignHCenter
            verticalAlignment: Text.AlignVCenter
            color: Theme.cream
        }
    }

    Spinner {
        objectName: "spinner"
        anchors.centerIn: parent
        implicitWidth: 22
        implicitHeight: 22
        lineWidth: 2.5
        color: Theme.lime
        visible: picture.loading
    }
}
