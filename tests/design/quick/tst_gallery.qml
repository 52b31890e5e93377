import QtQuick
import QtTest
import Verseloom.DesignTest

// TestCase itself is never drawn; the gallery is its visible sibling.
Item {
    width: gallery.width
    height: gallery.height

    Gallery { id: gallery }

    TestCase {
        name: "Gallery"
        when: windowShown

        function test_rendersSomethingWorthLookingAt() {
            waitForRendering(gallery)
            const image = grabImage(gallery)
            compare(image.width, gallery.width)
            if (Harness.galleryImagePath !== "")
                image.save(Harness.galleryImagePath)
            // A blank or single-colour picture means nothing drew; count distinct colours on a grid.
            const seen = {}
            let distinct = 0
            for (let x = 5; x < image.width; x += 23) {
                for (let y = 5; y < image.height; y += 19) {
                    const key = image.pixel(x, y).toString()
                    if (!seen[key]) {
                        seen[key] = true
                        ++distinct
                    }
                }
            }
            verify(distinct > 50, distinct + " distinct colours")
        }
    }
}
