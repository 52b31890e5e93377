import QtQuick
import QtTest
import Verseloom.Design

TestCase {
    name: "Theme"

    function rgba(c) {
        return [Math.round(c.r * 255), Math.round(c.g * 255), Math.round(c.b * 255),
                Math.round(c.a * 100) / 100]
    }

    function test_palette_data() {
        return [
            { tag: "night", color: Theme.night, rgba: [3, 20, 19, 1] },
            { tag: "surface", color: Theme.surface, rgba: [6, 31, 30, 1] },
            { tag: "cream", color: Theme.cream, rgba: [247, 236, 210, 1] },
            { tag: "muted", color: Theme.muted, rgba: [183, 170, 145, 1] },
            { tag: "lime", color: Theme.lime, rgba: [214, 238, 39, 1] },
            { tag: "coral", color: Theme.coral, rgba: [255, 103, 72, 1] },
            { tag: "amber", color: Theme.amber, rgba: [244, 163, 57, 1] },
            { tag: "pine", color: Theme.pine, rgba: [15, 57, 47, 1] },
            { tag: "glow", color: Theme.glow, rgba: [250, 214, 106, 0.28] },
            { tag: "glowSoft", color: Theme.glowSoft, rgba: [250, 214, 106, 0.14] },
        ]
    }

    function test_palette(data) {
        compare(rgba(data.color), data.rgba)
    }

    function test_hexReader_data() {
        const lime = [214, 238, 39, 1]
        const muted = [183, 170, 145, 1]
        return [
            { tag: "lower case", text: "d6ee27", rgba: lime },
            { tag: "upper case", text: "D6EE27", rgba: lime },
            { tag: "leading hash", text: "#d6ee27", rgba: lime },
            { tag: "spaces and tabs around", text: " \t#D6ee27\t ", rgba: lime },
            { tag: "no-break spaces around", text: "\u00a0d6ee27\u00a0", rgba: lime },
            { tag: "hash in the middle", text: "d6e#e27", rgba: lime },
            { tag: "hashes everywhere", text: "##d6#ee#27#", rgba: lime },
            { tag: "black", text: "000000", rgba: [0, 0, 0, 1] },
            { tag: "white", text: "FFFFFF", rgba: [255, 255, 255, 1] },
            { tag: "plus and five digits", text: "+d6ee2", rgba: [0x0d, 0x6e, 0xe2, 1] },
            { tag: "minus and five zeros", text: "-00000", rgba: [0, 0, 0, 1] },
            { tag: "minus and a non-zero digit", text: "-00001", rgba: muted },
            { tag: "two signs", text: "+-0000", rgba: muted },
            { tag: "sign inside", text: "d6+e27", rgba: muted },
            { tag: "short form", text: "d6e", rgba: muted },
            { tag: "with alpha", text: "d6ee27ff", rgba: muted },
            { tag: "seven digits", text: "d6ee270", rgba: muted },
            { tag: "empty", text: "", rgba: muted },
            { tag: "hash only", text: "#", rgba: muted },
            { tag: "six non-hex characters", text: "zzzzzz", rgba: muted },
            { tag: "space inside", text: "d6 ee27", rgba: muted },
            { tag: "trailing line break", text: "d6ee27\n", rgba: muted },
            { tag: "leading line break", text: "\nd6ee27", rgba: muted },
            { tag: "full-width digits", text: "\uff44\uff16\uff45\uff45\uff12\uff17", rgba: muted },
            // Six user-perceived characters, but the accent is no digit.
            { tag: "combining accent", text: "d6ee27\u0301", rgba: muted },
        ]
    }

    function test_hexReader(data) {
        compare(rgba(Theme.colorFromHex(data.text)), data.rgba)
    }

    function test_faded() {
        compare(rgba(Theme.faded(Theme.lime, 0.35)), [214, 238, 39, 0.35])
        // Layered opacities multiply.
        compare(rgba(Theme.faded(Theme.glow, 0.5)), [250, 214, 106, 0.14])
    }
}
