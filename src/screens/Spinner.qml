import QtQuick

// An indeterminate spinner: a turning arc, drawn without shader effects so it renders
// the same under the software scene graph.
Canvas {
    id: spinner

    property color color: "white"
    property real lineWidth: 2.5

    implicitWidth: 22
    implicitHeight: 22

    onColorChanged: requestPaint()
    onPaint: {
        const ctx = getContext("2d");
        ctx.reset();
        ctx.lineWidth = spinner.lineWidth;
        ctx.lineCap = "round";
        ctx.strokeStyle = spinner.color;
        ctx.beginPath();
        ctx.arc(width / 2, height / 2, Math.min(width, height) / 2 - spinner.lineWidth, 0, Math.PI * 1.4);
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
