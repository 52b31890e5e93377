import QtQuick
import QtQuick.Window
import Verseloom.Design
import Verseloom.Screens

// The lightbox's window; LightboxController (C++) creates, places and drops it. Every way of
// closing asks LightboxController to dismiss it. Its `image` is a QImage, which is no QML type, so
// the linter cannot type the alias.
Window { // qmllint disable alias
    id: box
    objectName: "lightbox"

    property alias image: picture.image

    color: "black"

    // The whole area is one hit target, the picture and the black alike.
    MouseArea {
        objectName: "closeArea"
        anchors.fill: parent
        onClicked: LightboxController.dismiss()
    }

    FittedImage {
        id: picture
        objectName: "lightboxImage"
        anchors.fill: parent
        anchors.margins: 24
    }

    Icon {
        objectName: "closeButton"
        anchors.top: parent.top
        anchors.right: parent.right
        anchors.margins: 22
        name: "xmark.circle.fill"
        size: 26
        color: Qt.rgba(1, 1, 1, 0.75)

        MouseArea {
            anchors.fill: parent
            anchors.margins: -6
            cursorShape: Qt.PointingHandCursor
            onClicked: LightboxController.dismiss()
        }
    }

    Shortcut {
        sequences: ["Escape"]
        context: Qt.WindowShortcut
        onActivated: LightboxController.dismiss()
    }
}
