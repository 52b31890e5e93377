import QtQuick
import QtTest
import Verseloom.Design

// TestCase itself is never drawn, so the icons hang off a visible root.
Item {
    width: 200
    height: 100

    Rectangle {
        id: backing
        width: 100
        height: 50
        color: "white"

        Icon {
            id: known
            x: 0
            name: "checkmark.square.fill"
            color: Theme.coral
            size: 40
        }

        Icon {
            id: unknown
            x: 50
            // Built at run time so the source scan does not take it for a real use.
            name: ["no", "such", "symbol"].join(".")
            color: Theme.coral
            size: 40
        }
    }

    TestCase {
        name: "Icon"
        when: windowShown

        function near(a, b) {
            return Math.abs(a.r - b.r) < 0.02 && Math.abs(a.g - b.g) < 0.02 && Math.abs(a.b - b.b) < 0.02
        }

        function init() {
            known.color = Theme.coral
        }

        function test_iconIsTintedAndUnknownNamesDrawNothing() {
            verify(known.resolved)
            verify(!unknown.resolved)
            compare(known.implicitWidth, 40)
            waitForRendering(backing)
            const image = grabImage(backing)
            // Inside the filled square, left of the tick: the tint.
            verify(near(image.pixel(6, 20), Theme.coral), "tinted: " + image.pixel(6, 20))
            // An unknown name leaves its area untouched.
            for (let x = 50; x < 90; x += 5)
                for (let y = 0; y < 40; y += 5)
                    verify(near(image.pixel(x, y), Qt.color("white")), "blank at " + x + "," + y)
        }

        function test_colourChangeRepaints() {
            known.color = Theme.lime
            waitForRendering(backing)
            verify(near(grabImage(backing).pixel(6, 20), Theme.lime))
        }
    }
}
