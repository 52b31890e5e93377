import QtQuick
import Verseloom.Design

// A small indeterminate spinner, drawn on a canvas so it looks the same under the
// software renderer:
//   Spinner { color: Theme.lime; visible: busy }
// A bigger one takes a heavier line: `implicitWidth: 22; implicitHeight: 22; lineWidth: 2.5`.
Canvas {
    id: spinner

    property color color: Theme.lime
    property real lineWidth: 2

    implicitWidth: 14
    implicitHeight: 14
    onColorChanged: requestPaint()
    onLineWidthChanged: requestPaint()
    onPaint: {
        const ctx = getContext("2d");
        ctx.reset();
        ctx.lineWidth = spinner.lineWidth;
        ctx.lineCap = "round";
        ctx.strokeStyle = spinner.color;
        ctx.beginPath();
        // The stroke stays inside the item, with half a pixel for its smoothed edge.
        ctx.arc(width / 2, height / 2, Math.min(width, height) / 2 - spinner.lineWidth / 2 - 0.5, 0, Math.PI * 1.4);
        ctx.stroke();
    }

    RotationAnimator on rotation {
        running: spinner.visible
        from: 0
        to: 360
        duration: 900
        loops: Animation.Infinite
    }
}
