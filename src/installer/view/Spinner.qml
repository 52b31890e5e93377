import QtQuick
import Verseloom.Design

// A small turning arc for work under way (drawn on a canvas, so it also shows headless).
Item {
    id: spinner

    property color color: Theme.amber
    property bool running: visible

    implicitWidth: 16
    implicitHeight: 16

    Canvas {
        id: arc
        anchors.fill: parent
        onPaint: {
            const ctx = getContext("2d")
            ctx.reset()
            ctx.lineWidth = 2
            ctx.lineCap = "round"
            ctx.strokeStyle = spinner.color
            ctx.beginPath()
            ctx.arc(width / 2, height / 2, Math.min(width, height) / 2 - 1.5, 0, Math.PI * 1.5)
            ctx.stroke()
        }
        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 900
            loops: Animation.Infinite
            running: spinner.running
        }
    }
}
