import QtQuick
import QtQuick.Layouts
import QtQuick.Templates as T
import Verseloom.Design

// One speech engine to choose: a radio mark, its symbol, title and detail. Selected, it is
// drawn in lime.
T.AbstractButton {
    id: card

    property bool selected: false
    property string symbol
    property string title
    property string detail

    padding: 14
    implicitWidth: implicitContentWidth + leftPadding + rightPadding
    implicitHeight: implicitContentHeight + topPadding + bottomPadding

    contentItem: RowLayout {
        spacing: 12

        Icon {
            objectName: "selectionMark"
            Layout.alignment: Qt.AlignTop
            Layout.topMargin: 1
            name: card.selected ? "largecircle.fill.circle" : "circle"
            size: 15
            color: card.selected ? Theme.lime : Theme.muted
        }

        Item {
            Layout.alignment: Qt.AlignTop
            Layout.preferredWidth: 24
            Layout.preferredHeight: 18
            Icon {
                anchors.centerIn: parent
                name: card.symbol
                size: 16
                color: card.selected ? Theme.lime : Theme.amber
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.alignment: Qt.AlignTop
            spacing: 3
            Text {
                objectName: "title"
                Layout.fillWidth: true
                text: card.title
                wrapMode: Text.Wrap
                font.pixelSize: 14
                font.weight: Font.DemiBold
                color: Theme.cream
            }
            Text {
                objectName: "detail"
                Layout.fillWidth: true
                text: card.detail
                wrapMode: Text.Wrap
                font.pixelSize: 12
                color: Theme.muted
            }
        }
    }

    background: Rectangle {
        radius: 12
        color: card.selected ? Theme.faded(Theme.lime, 0.06) : Qt.rgba(1, 1, 1, 0.035)
        border.color: card.selected ? Theme.faded(Theme.lime, 0.45) : Theme.glowSoft
        border.width: 1
    }
}
