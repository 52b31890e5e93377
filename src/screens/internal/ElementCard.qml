import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Verseloom.Design

// One recurring element of the plan: its picture (or a placeholder while it has none),
// its id and its continuity description. Rows come from `ScreenServices.elements`.
ColumnLayout {
    id: card
    objectName: "elementCard"

    property string elementID
    property string continuityDescription
    property string imageSource       // picture provider address; empty: placeholder
    property bool isRemoteImage
    property string placeholderSymbol: "cube"

    // A picture that was refused or did not come shows the placeholder; only one on its
    // way shows the spinner.
    readonly property bool showsPlaceholder: imageSource === "" || picture.status === Image.Error

    spacing: 6

    Item {
        objectName: "imageBox"
        Layout.fillWidth: true
        Layout.preferredHeight: 96
        clip: true

        Rectangle {
            anchors.fill: parent
            radius: 8
            color: Theme.surface
        }
        RoundedPicture {
            id: picture
            objectName: "elementImage"
            anchors.fill: parent
            radius: 8
            visible: card.imageSource !== "" && status === Image.Ready
            source: card.imageSource
            cache: card.isRemoteImage // a local file is read again each time it is shown
        }
        // A picture on its way.
        BusyIndicator {
            objectName: "imageSpinner"
            anchors.centerIn: parent
            width: 20
            height: 20
            visible: !card.showsPlaceholder && picture.status !== Image.Ready
            running: visible
        }
        Column {
            objectName: "placeholder"
            anchors.centerIn: parent
            spacing: 4
            visible: card.showsPlaceholder
            Icon {
                objectName: "placeholderIcon"
                anchors.horizontalCenter: parent.horizontalCenter
                name: card.placeholderSymbol
                size: 20
                color: Theme.muted
            }
            Text {
                anchors.horizontalCenter: parent.horizontalCenter
                text: "Pending"
                font.pixelSize: 9
                font.bold: true
                color: Theme.muted
            }
        }
        Rectangle {
            anchors.fill: parent
            radius: 8
            color: "transparent"
            border.color: Theme.glow
            border.width: 1
        }
    }

    Text {
        Layout.fillWidth: true
        text: card.elementID
        elide: Text.ElideRight
        maximumLineCount: 1
        font.pixelSize: 10
        font.weight: Font.Medium
        font.family: "monospace"
        color: Theme.cream
    }
    Text {
        Layout.fillWidth: true
        text: card.continuityDescription
        wrapMode: Text.Wrap
        elide: Text.ElideRight
        maximumLineCount: 2
        font.pixelSize: 10
        color: Theme.muted
    }
}
