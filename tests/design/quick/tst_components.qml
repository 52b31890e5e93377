import QtQuick
import QtQuick.Layouts
import QtTest
import Verseloom.Design

// TestCase itself is never drawn, so the items under test hang off a visible root.
Item {
    id: root
    width: 600
    height: 400

    TestCase {
        id: testCase
        name: "Components"
        when: windowShown

        function rgba(c) {
            return [Math.round(c.r * 255), Math.round(c.g * 255), Math.round(c.b * 255),
                    Math.round(c.a * 100) / 100]
        }

        Component { id: meterComponent; ProgressMeter { width: 200 } }
        Component { id: chipComponent; StatusChip {} }
        Component { id: primaryComponent; PrimaryButton { text: "Export" } }
        Component { id: secondaryComponent; SecondaryButton { text: "Not Now" } }
        Component {
            id: panelComponent
            Panel {
                padding: 16
                Rectangle { implicitWidth: 100; implicitHeight: 40 }
            }
        }
        Component {
            id: chromeComponent
            FieldChrome {
                Rectangle { implicitWidth: 100; implicitHeight: 20 }
            }
        }
        Component { id: fieldComponent; ChromeTextField { width: 240 } }
        Component { id: areaComponent; ChromeTextArea { width: 240 } }
        Component {
            id: spinnerComponent
            Rectangle {
                property alias spinner: spinner
                color: "black"
                width: spinner.width
                height: spinner.height
                Spinner { id: spinner; color: "white" }
            }
        }
        Component { id: headerComponent; ColumnLayout { width: 300; property alias header: header; SurfaceHeader { id: header } } }

        function test_meterClamp_data() {
            return [
                { tag: "quarter", value: 0.25, fill: 50 },
                { tag: "zero", value: 0, fill: 0 },
                { tag: "one", value: 1, fill: 200 },
                { tag: "below zero shows only the track", value: -0.5, fill: 0 },
                { tag: "above one fills the track", value: 1.7, fill: 200 },
                { tag: "not a number fills the track", value: NaN, fill: 200 },
                { tag: "infinity", value: Infinity, fill: 200 },
                { tag: "minus infinity", value: -Infinity, fill: 0 },
            ]
        }

        function test_meterClamp(data) {
            const meter = createTemporaryObject(meterComponent, root, { value: data.value })
            compare(meter.height, 8)
            compare(findChild(meter, "fill").width, data.fill)
            compare(findChild(meter, "track").width, 200)
        }

        function test_meterTint() {
            const meter = createTemporaryObject(meterComponent, root, { value: 0.5, tint: Theme.coral })
            compare(findChild(meter, "fill").color, Theme.coral)
            compare(findChild(meter, "track").color, Theme.glowSoft)
        }

        function test_chipIntent_data() {
            return [
                { tag: "neutral", intent: Intent.Neutral, rgb: [183, 170, 145] },
                { tag: "pending", intent: Intent.Pending, rgb: [244, 163, 57] },
                { tag: "good", intent: Intent.Good, rgb: [74, 199, 122] },
                { tag: "warn", intent: Intent.Warn, rgb: [244, 163, 57] },
                { tag: "bad", intent: Intent.Bad, rgb: [255, 103, 72] },
                { tag: "accent", intent: Intent.Accent, rgb: [214, 238, 39] },
                { tag: "unknown value reads as neutral", intent: 42, rgb: [183, 170, 145] },
            ]
        }

        function test_chipIntent(data) {
            const chip = createTemporaryObject(chipComponent, root, { text: "done", intent: data.intent })
            const label = findChild(chip, "label")
            compare(rgba(label.color), data.rgb.concat([1]))
            compare(rgba(chip.color), data.rgb.concat([0.12]))
            compare(rgba(chip.border.color), data.rgb.concat([0.4]))
            compare(label.text, "done")
            compare(label.font.capitalization, Font.AllUppercase)
            // A capsule: fully rounded ends, padded 8 across and 4 down.
            compare(chip.radius, chip.height / 2)
            compare(chip.implicitWidth, label.implicitWidth + 16)
            compare(chip.implicitHeight, label.implicitHeight + 8)
        }

        function test_primaryLook_data() {
            return [
                { tag: "enabled look", styleEnabled: true, fillAlpha: 1, shadow: true },
                { tag: "disabled look", styleEnabled: false, fillAlpha: 0.35, shadow: false },
            ]
        }

        function test_primaryLook(data) {
            const button = createTemporaryObject(primaryComponent, root, { styleEnabled: data.styleEnabled })
            compare(rgba(findChild(button, "fill").color), [214, 238, 39, data.fillAlpha])
            compare(findChild(button, "shadow").visible, data.shadow)
            verify(button.height >= 34)
            compare(button.opacity, 1)
            compare(button.scale, 1)
            // Pressing dims and shrinks whatever the look.
            button.down = true
            tryCompare(button, "opacity", 0.85)
            tryCompare(button, "scale", 0.98)
            button.down = undefined
            tryCompare(button, "opacity", 1)
            tryCompare(button, "scale", 1)
        }

        SignalSpy { id: clickSpy; signalName: "clicked" }

        function test_primaryLookAndReactionAreIndependent_data() {
            return [
                { tag: "dim but clickable", styleEnabled: false, enabled: true, clicks: 1, fillAlpha: 0.35 },
                { tag: "lit but disabled", styleEnabled: true, enabled: false, clicks: 0, fillAlpha: 1 },
            ]
        }

        function test_primaryLookAndReactionAreIndependent(data) {
            const button = createTemporaryObject(primaryComponent, root,
                                                 { styleEnabled: data.styleEnabled, enabled: data.enabled })
            clickSpy.clear()
            clickSpy.target = button
            mouseClick(button)
            compare(clickSpy.count, data.clicks)
            compare(rgba(findChild(button, "fill").color), [214, 238, 39, data.fillAlpha])
        }

        function test_secondaryLook() {
            const button = createTemporaryObject(secondaryComponent, root)
            const fill = findChild(button, "fill")
            compare(rgba(fill.color), [247, 236, 210, 0.05])
            compare(fill.border.color, Theme.glow)
            compare(fill.radius, 8)
            verify(button.height >= 34)
            button.down = true
            compare(button.opacity, 0.8)
            compare(button.scale, 1)
        }

        function test_panelPadsItsContent() {
            const panel = createTemporaryObject(panelComponent, root)
            compare(panel.implicitWidth, 132)
            compare(panel.implicitHeight, 72)
            panel.width = 400
            // The content takes the panel's width inside the padding.
            compare(panel.contentItem.x, 16)
            compare(panel.contentItem.width, 368)
        }

        function test_fieldChromeAddsFixedMargins() {
            const chrome = createTemporaryObject(chromeComponent, root)
            compare(chrome.implicitHeight, 38)
            compare(chrome.implicitWidth, 124)
            compare(chrome.contentItem.x, 12)
            compare(chrome.contentItem.y, 9)
            compare(chrome.foreground, Theme.cream)
        }

        function test_textFieldsWearTheChrome() {
            const field = createTemporaryObject(fieldComponent, root, { text: "Neon Overpass" })
            compare(field.color, Theme.cream)
            fuzzyCompare(field.height, field.contentHeight + 18, 0.5)
            const before = field.height
            field.forceActiveFocus()
            field.enabled = false
            compare(field.height, before)
            compare(field.background.color, Theme.faded(Theme.night, 0.6))
        }

        function test_textAreaGrowsAndKeepsItsMargins() {
            const area = createTemporaryObject(areaComponent, root, { text: "one line" })
            const oneLine = area.height
            area.text = "one\ntwo\nthree"
            verify(area.height > oneLine)
            fuzzyCompare(area.height, area.contentHeight + 18, 0.5)
            compare(area.background.height, area.height)
        }

        // A control bound through EditableText, recording what it reports as edits.
        Component {
            id: editableComponent
            Item {
                property alias area: area
                property alias field: field
                property string stored
                property var areaEdits: []
                property var fieldEdits: []
                ChromeTextArea {
                    id: area
                    width: 240
                    EditableText.value: parent.stored
                    EditableText.onEdited: text => parent.areaEdits.push(text)
                }
                ChromeTextField {
                    id: field
                    y: 200
                    width: 240
                    EditableText.value: parent.stored
                    EditableText.onEdited: text => parent.fieldEdits.push(text)
                }
            }
        }

        // Texts a text area gives back changed from what it was shown.
        function test_showingAValueIsNoEdit_data() {
            return [
                { tag: "CR LF", text: "one\r\ntwo" },
                { tag: "lone CR", text: "one\rtwo" },
                { tag: "line separator", text: "one\u2028two" },
                { tag: "paragraph separator", text: "one\u2029two" },
                { tag: "no-break space", text: "one\u00a0two" },
                { tag: "plain", text: "one two" },
            ]
        }

        function test_showingAValueIsNoEdit(data) {
            const holder = createTemporaryObject(editableComponent, root, { stored: data.text })
            holder.area.forceActiveFocus() // focus alone is not a keystroke either
            compare(holder.area.EditableText.value, data.text)
            holder.stored = "first " + data.text
            holder.field.forceActiveFocus()
            holder.stored = data.text
            wait(50)
            compare(holder.areaEdits, [])
            compare(holder.fieldEdits, [])
            compare(holder.stored, data.text)
        }

        function test_aKeystrokeIsOneEditAndItsEchoKeepsTheCursor() {
            const holder = createTemporaryObject(editableComponent, root, { stored: "one\r\ntwo" })
            for (const control of [holder.area, holder.field]) {
                holder.stored = "one\r\ntwo"
                control.forceActiveFocus()
                control.cursorPosition = 1
                keyClick(Qt.Key_X)
                const edits = control === holder.area ? holder.areaEdits : holder.fieldEdits
                compare(edits.length, 1)
                verify(edits[0].startsWith("oxne"), edits[0])
                holder.stored = edits[0] // what the model stores comes back
                compare(control.cursorPosition, 2, "the echo left the cursor alone")
                compare(edits.length, 1, "the echo is no edit")
            }
        }

        function test_aNewValueReplacesTheShownText() {
            const holder = createTemporaryObject(editableComponent, root, { stored: "old" })
            holder.area.forceActiveFocus()
            holder.stored = "new"
            compare(holder.area.text, "new")
            compare(holder.field.text, "new")
            compare(holder.areaEdits, [])
        }

        // The arc is drawn with its whole line inside the item, at any size and weight: a
        // heavier line must not be cut flat by the item's edges.
        function test_spinnerLineStaysInside_data() {
            return [
                { tag: "default", size: 0, lineWidth: 0 },
                { tag: "bigger, heavier", size: 22, lineWidth: 2.5 },
                { tag: "button-sized", size: 16, lineWidth: 2 },
                { tag: "thick", size: 40, lineWidth: 6 },
            ]
        }

        function test_spinnerLineStaysInside(data) {
            const holder = createTemporaryObject(spinnerComponent, root)
            const spinner = holder.spinner
            if (data.size > 0) {
                spinner.implicitWidth = data.size
                spinner.implicitHeight = data.size
                spinner.lineWidth = data.lineWidth
            }
            const size = spinner.width
            const middle = Math.floor(size / 2)
            const radius = size / 2 - spinner.lineWidth / 2 - 0.5
            // Eight points on the line's middle, 45° apart: the gap in the arc (0.6 of a
            // half turn) covers at most three of them, however far the spinner has turned.
            function drawnPoints(image) {
                let drawn = 0
                for (let k = 0; k < 8; ++k) {
                    const angle = k * Math.PI / 4
                    const x = Math.floor(size / 2 + radius * Math.cos(angle))
                    const y = Math.floor(size / 2 + radius * Math.sin(angle))
                    if (image.pixel(x, y).r > 0.5)
                        ++drawn
                }
                return drawn
            }
            let image = null
            tryVerify(() => {
                waitForRendering(holder)
                image = grabImage(holder)
                return drawnPoints(image) >= 5
            }, 10000, "the arc is drawn")
            // A line cut by the edge covers the edge pixels whole; a line inside reaches them
            // only with its smoothed rim.
            for (const [x, y] of [[0, middle], [size - 1, middle], [middle, 0], [middle, size - 1]])
                verify(image.pixel(x, y).r < 0.75, "edge pixel " + x + "," + y + " is " + image.pixel(x, y))
        }

        function test_headerKeepsTitleCaseAndWrapsTheSubtitle() {
            const holder = createTemporaryObject(headerComponent, root)
            const header = holder.header
            header.kicker = "Step one"
            header.title = "Import Your Song"
            header.subtitle = "A long explanation that cannot possibly fit on one line of a header only three hundred pixels wide, so it wraps."
            const subtitle = findChild(header, "subtitle")
            const title = findChild(header, "title")
            compare(findChild(header, "kicker").font.capitalization, Font.AllUppercase)
            compare(title.font.capitalization, Font.MixedCase)
            compare(title.text, "Import Your Song")
            compare(header.width, 300)
            verify(subtitle.lineCount > 1)
            verify(!subtitle.truncated)
            // The header grows to hold every line once the layout has settled.
            tryVerify(() => header.height >= subtitle.y + subtitle.height && subtitle.height >= 2 * subtitle.font.pixelSize)
        }
    }
}
