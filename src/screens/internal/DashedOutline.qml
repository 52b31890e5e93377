import QtQuick
import QtQuick.Shapes

// A dashed rounded-rectangle outline drawn over its parent's edge (the drop zone's
// border). The dash pattern counts in line widths: 8 on and 6 off at 1.5 wide.
Shape {
    id: outline

    property color color
    property real radius: 16
    property real lineWidth: 1.5

    readonly property real inset: lineWidth / 2
    readonly property real r: Math.min(radius, width / 2, height / 2)

    ShapePath {
        strokeColor: outline.color
        strokeWidth: outline.lineWidth
        fillColor: "transparent"
        strokeStyle: ShapePath.DashLine
        dashPattern: [5.333, 4]
        startX: outline.inset + outline.r
        startY: outline.inset

        PathLine { x: outline.width - outline.inset - outline.r; y: outline.inset }
        PathArc {
            x: outline.width - outline.inset; y: outline.inset + outline.r
            radiusX: outline.r; radiusY: outline.r
        }
        PathLine { x: outline.width - outline.inset; y: outline.height - outline.inset - outline.r }
        PathArc {
            x: outline.width - outline.inset - outline.r; y: outline.height - outline.inset
            radiusX: outline.r; radiusY: outline.r
        }
        PathLine { x: outline.inset + outline.r; y: outline.height - outline.inset }
        PathArc {
            x: outline.inset; y: outline.height - outline.inset - outline.r
            radiusX: outline.r; radiusY: outline.r
        }
        PathLine { x: outline.inset; y: outline.inset + outline.r }
        PathArc {
            x: outline.inset + outline.r; y: outline.inset
            radiusX: outline.r; radiusY: outline.r
        }
    }
}
