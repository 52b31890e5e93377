import QtQuick
import Verseloom.Design

// A small indeterminate spinner, drawn on a canvas so it looks the same under the
// software renderer:
//   Spinner { color: Theme.lime; visible: busy }
Canvas {
    id: spinner

    property color color: Theme.lime

    implicitWidth: 14
    implicitHeight: 14
    onColorChanged: requestPaint()
    onPaint: {
        const ctx = getContext("2d");
        ctx.reset();
        ctx.lineWidth = 2;
        ctx.lineCap = "round";
        ctx.strokeStyle = spinner.color;
        ctx.beginPath();
        ctx.arc(width / 2, height / 2, Math.min(width, height) / 2 - 1.5, 0, Math.PI * 1.4);
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
