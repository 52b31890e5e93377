import QtQuick

// A picture scaled to fill its box, cropped at the middle and clipped to rounded
// corners. Drawn on a canvas, so the corners are round under the software scene graph
// too. `status` reads as an Image's does. The source is a picture provider address
// (image://picture/…, made by the models); the canvas loads it with the size of the
// box added, so the provider decodes no more pixels than the box shows.
//
//   RoundedPicture { width: 72; height: 72; radius: 8; source: model.thumbnailSource }
Item {
    id: root

    property url source
    property real radius: 8
    // Off: each picture is read afresh rather than taken from Qt's pixmap cache.
    property bool cache: true
    readonly property int status: canvas.status

    // The size asked for steps up by about 1.4 at a time, so a box that a window resize
    // stretches loads its picture again only now and then.
    function stepped(edge) {
        return Math.ceil(Math.pow(2, Math.ceil(2 * Math.log2(edge)) / 2));
    }

    // Nothing is asked for before the box has a size; on a dense screen, more pixels.
    readonly property string request: {
        if (String(root.source) === "" || width <= 0 || height <= 0)
            return "";
        const density = Math.max(1, Screen.devicePixelRatio);
        const sized = root.source + "/" + stepped(width * density) + "x" + stepped(height * density);
        return root.cache ? sized : sized + "/" + canvas.ownToken;
    }

    Canvas {
        id: canvas
        anchors.fill: parent

        // A word of this canvas's own, which keeps its uncached requests apart from any other's.
        readonly property string ownToken: Math.random().toString(36).slice(2)
        property string held // the request loaded or on its way
        property int status: Image.Null

        function follow() {
            if (held !== "" && held !== root.request)
                unloadImage(held);
            held = root.request;
            if (held !== "")
                loadImage(held);
            settle();
        }
        function settle() {
            status = held === "" ? Image.Null
                   : isImageError(held) ? Image.Error
                   : isImageLoaded(held) ? Image.Ready
                   : Image.Loading;
            requestPaint();
        }

        Component.onCompleted: follow()
        onImageLoaded: settle()
        onWidthChanged: requestPaint()
        onHeightChanged: requestPaint()
        onPaint: {
            const ctx = getContext("2d");
            ctx.reset();
            if (status !== Image.Ready || width <= 0 || height <= 0)
                return;
            const picture = ctx.createImageData(held);
            const iw = picture.width;
            const ih = picture.height;
            if (iw <= 0 || ih <= 0)
                return;
            // Covers the box with the aspect ratio kept; the clip crops what overhangs.
            const scale = Math.max(width / iw, height / ih);
            const dw = iw * scale;
            const dh = ih * scale;
            const r = Math.min(root.radius, width / 2, height / 2);
            ctx.beginPath();
            ctx.roundedRect(0, 0, width, height, r, r);
            ctx.clip();
            ctx.drawImage(held, (width - dw) / 2, (height - dh) / 2, dw, dh);
        }

        Connections {
            target: root
            function onRequestChanged() { canvas.follow(); }
        }
    }
}
