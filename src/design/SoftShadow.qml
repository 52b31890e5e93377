import QtQuick

// A blurred rounded-rectangle shadow drawn on a canvas (no shader effects, so it also
// renders under the software scene graph). Fill the item that casts it; the canvas
// reaches past it far enough for the blur and offset.
Canvas {
    id: shadow

    property color color: "black"
    property real cornerRadius: 8
    property real blur: 18
    property real offsetY: 8
    readonly property real reach: blur * 2 + Math.abs(offsetY)

    anchors.fill: parent
    anchors.margins: -reach

    onColorChanged: requestPaint()
    onCornerRadiusChanged: requestPaint()
    onBlurChanged: requestPaint()
    onOffsetYChanged: requestPaint()
    onWidthChanged: requestPaint()
    onHeightChanged: requestPaint()

    onPaint: {
        const ctx = getContext("2d")
        ctx.reset()
        const w = width - 2 * reach
        const h = height - 2 * reach
        if (w <= 0 || h <= 0 || color.a <= 0)
            return
        // Draw the casting shape far off the canvas and throw only its shadow back in.
        const away = width + 2 * reach
        ctx.shadowColor = color
        ctx.shadowBlur = blur
        ctx.shadowOffsetX = away
        ctx.shadowOffsetY = offsetY
        ctx.fillStyle = "black"
        ctx.beginPath()
        ctx.roundedRect(reach - away, reach, w, h, cornerRadius, cornerRadius)
        ctx.fill()
    }
}
