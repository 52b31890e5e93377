pragma ComponentBehavior: Bound

import QtQuick

// A soft rounded-rectangle shadow under the item that casts it: fill that item with it.
// Drawn as stacked translucent rounded rectangles, each reaching a little further out,
// so its cost does not grow with the item's size and a resize repaints nothing (a
// blurred canvas took seconds to paint a sheet-sized shadow under the software scene
// graph, and painted again at every step of a sheet's layout).
Item {
    id: shadow

    property color color: "black"
    property real cornerRadius: 8
    property real blur: 18
    property real offsetY: 8
    readonly property real reach: blur * 2 + Math.abs(offsetY)

    // Layers from half the blur inside the edge to the full blur outside it; their
    // alphas compound to `color`'s alpha where they all overlap.
    // About one layer per two pixels of spread, so the steps between them do not show.
    readonly property int layers: Math.max(4, Math.min(16, Math.round(blur * 0.75)))
    readonly property real layerAlpha: 1 - Math.pow(1 - color.a, 1 / layers)

    anchors.fill: parent
    anchors.margins: -reach

    Repeater {
        model: shadow.blur > 0 && shadow.color.a > 0 ? shadow.layers : 0

        Rectangle {
            required property int index
            readonly property real spread: shadow.blur * ((index + 0.5) / shadow.layers * 1.5 - 0.5)

            x: shadow.reach - spread
            y: shadow.reach - spread + shadow.offsetY
            width: Math.max(0, shadow.width - 2 * shadow.reach + 2 * spread)
            height: Math.max(0, shadow.height - 2 * shadow.reach + 2 * spread)
            radius: Math.max(0, Math.min(shadow.cornerRadius + spread, width / 2, height / 2))
            color: Qt.rgba(shadow.color.r, shadow.color.g, shadow.color.b, shadow.layerAlpha)
        }
    }
}
