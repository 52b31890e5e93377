import QtQuick

// A picture scaled to fill its box, cropped at the middle and clipped to rounded
// corners. Drawn on a canvas, so the corners are round under the software scene graph
// too. `status` reads as an Image's does.
//
//   RoundedPicture { width: 72; height: 72; radius: 8; source: "file:///…" }
Item {
    id: root

    property alias source: picture.source
    property alias cache: picture.cache
    property alias sourceSize: picture.sourceSize
    property real radius: 8
    readonly property alias status: picture.status

    // Loads and decodes; never drawn itself.
    Image {
        id: picture
        visible: false
        asynchronous: true
        fillMode: Image.PreserveAspectCrop // a sourceSize then covers the box
        onStatusChanged: canvas.requestPaint()
    }

    Canvas {
        id: canvas
        anchors.fill: parent

        onWidthChanged: requestPaint()
        onHeightChanged: requestPaint()
        onPaint: {
            const ctx = getContext("2d");
            ctx.reset();
            const iw = picture.implicitWidth;
            const ih = picture.implicitHeight;
            if (picture.status !== Image.Ready || iw <= 0 || ih <= 0 || width <= 0 || height <= 0)
                return;
            // Covers the box with the aspect ratio kept; the clip crops what overhangs.
            const scale = Math.max(width / iw, height / ih);
            const dw = iw * scale;
            const dh = ih * scale;
            const r = Math.min(root.radius, width / 2, height / 2);
            ctx.beginPath();
            ctx.roundedRect(0, 0, width, height, r, r);
            ctx.clip();
            ctx.drawImage(picture, (width - dw) / 2, (height - dh) / 2, dw, dh);
        }
    }
}
