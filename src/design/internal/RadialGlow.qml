import QtQuick
import QtQuick.Shapes

// A radial fade from `color` to nothing, centred at a point given in fractions of the
// item's size (it may lie outside the item), over `radius` pixels.
Shape {
    id: glow

    property color color
    property real unitCenterX: 0.5
    property real unitCenterY: 0.5
    property real radius: 100

    ShapePath {
        strokeWidth: -1
        strokeColor: "transparent"
        fillGradient: RadialGradient {
            centerX: glow.unitCenterX * glow.width
            centerY: glow.unitCenterY * glow.height
            centerRadius: glow.radius
            focalX: centerX
            focalY: centerY
            focalRadius: 0
            GradientStop { position: 0; color: glow.color }
            // Fade to the same hue with no opacity, so the rim does not darken.
            GradientStop { position: 1; color: Qt.rgba(glow.color.r, glow.color.g, glow.color.b, 0) }
        }
        startX: 0; startY: 0
        PathLine { x: glow.width; y: 0 }
        PathLine { x: glow.width; y: glow.height }
        PathLine { x: 0; y: glow.height }
        PathLine { x: 0; y: 0 }
    }
}
