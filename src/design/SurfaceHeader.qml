import QtQuick
import QtQuick.Layouts
import Verseloom.Design

// The header at the top of every stage screen: kicker, title with its coral bar, and a
// subtitle that wraps onto as many lines as it needs. Fills the width of its layout.
ColumnLayout {
    id: header

    property string kicker
    property string title
    property string subtitle

    spacing: 8
    Layout.fillWidth: true

    Kicker {
        objectName: "kicker"
        text: header.kicker
    }

    Column {
        spacing: 3

        Text {
            objectName: "title"
            text: header.title
            font.family: "Anton"
            font.pixelSize: 30
            font.letterSpacing: 0.5
            color: Theme.cream
        }

        Rectangle {
            width: 54
            height: 5
            radius: 3
            color: Theme.coral
        }
    }

    Text {
        objectName: "subtitle"
        Layout.fillWidth: true
        topPadding: 2
        text: header.subtitle
        wrapMode: Text.Wrap
        font.pixelSize: 13
        color: Theme.muted
    }
}
