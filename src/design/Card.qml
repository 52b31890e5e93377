import QtQuick
import Verseloom.Design

// A card floating over the backdrop (the sheets' cards): night fill, a glow outline
// and a soft black shadow. It holds one content item, laid out inside `padding`; the
// card's height follows that item unless set.
//   Card { width: 560; radius: 12; ColumnLayout { width: parent.width … } }
Item {
    id: card

    default property alias content: body.data
    property real padding: 28
    property real radius: 12
    property real fillOpacity: 0.97
    property real shadowBlur: 32
    property real shadowOffsetY: 16

    implicitWidth: (body.children.length > 0 ? body.children[0].implicitWidth : 0) + 2 * padding
    implicitHeight: (body.children.length > 0 ? body.children[0].implicitHeight : 0) + 2 * padding

    SoftShadow {
        color: Qt.rgba(0, 0, 0, 0.5)
        cornerRadius: card.radius
        blur: card.shadowBlur
        offsetY: card.shadowOffsetY
    }

    Rectangle {
        anchors.fill: parent
        radius: card.radius
        color: Theme.faded(Theme.night, card.fillOpacity)
        border.color: Theme.glow
        border.width: 1
    }

    Item {
        id: body
        anchors.fill: parent
        anchors.margins: card.padding
        clip: true
    }
}
