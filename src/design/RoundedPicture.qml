import QtQuick

// A picture scaled to fill its box, cropped at the middle and clipped to rounded
// corners. Drawn on a canvas, so the corners are round under the software scene graph
// too. `status` reads as an Image's does. The source is a picture provider address
// (image://picture/…, made by the models), asked for at the size of the box, so no
// more pixels are decoded than it shows.
//
//   RoundedPicture { width: 72; height: 72; radius: 8; source: model.thumbnailSource }
Item {
    id: root

    property url source
    property alias cache: picture.cache
    property real radius: 8
    readonly property alias status: picture.status

    // The size asked for steps up by about 1.4 at a time, so a box that a window resize
    // stretches loads its picture again only now and then.
    function stepped(edge) {
        return edge <= 0 ? 0 : Math.ceil(Math.pow(2, Math.ceil(2 * Math.log2(edge)) / 2));
    }

    // Loads and decodes; never drawn itself. Nothing is asked for before the box has a
    // size: without one the whole picture would be decoded.
    Image {
        id: picture
        visible: false
        asynchronous: true
        fillMode: Image.PreserveAspectCrop // a sourceSize then covers the box
        sourceSize: Qt.size(root.stepped(root.width), root.stepped(root.height))
        source: root.width > 0 && root.height > 0 ? root.source : ""
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
