import QtQuick
import QtQuick.Layouts
import Verseloom.Design

// One line of what the bundled motion engine does.
RowLayout {
    id: row

    property string icon
    property string title
    property string detail

    spacing: 12

    Item {
        Layout.alignment: Qt.AlignTop
        Layout.preferredWidth: 24
        Layout.preferredHeight: 18
        Icon {
            anchors.centerIn: parent
            name: row.icon
            size: 16
            color: Theme.amber
        }
    }

    ColumnLayout {
        Layout.fillWidth: true
        spacing: 2
        Text {
            text: row.title
            font.pixelSize: 13
            font.weight: Font.DemiBold
            color: Theme.cream
        }
        Text {
            Layout.fillWidth: true
            text: row.detail
            wrapMode: Text.Wrap
            font.pixelSize: 11
            color: Theme.muted
        }
    }
}
