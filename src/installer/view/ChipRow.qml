pragma ComponentBehavior: Bound

import QtQuick

// One row of capability chips in the width it is given, centred on one line. When the
// chips need more, a chip that needs less than an equal share keeps its own width and
// the longer ones share the rest, their words wrapping onto more lines; none is made
// narrower than its longest word.
Item {
    id: row

    // [[icon, text], ...]
    property var chips: []
    // The first chip's number in the sidebar, for its objectName.
    property int firstIndex: 0
    property real spacing: 7
    // The chips' natural and narrowest widths, in order, once they exist.
    property var naturalWidths: []
    property var minimumWidths: []
    readonly property var widths: fitted(naturalWidths, minimumWidths, width - spacing * Math.max(0, chips.length - 1))

    // The tallest chip, once they exist.
    property real tallest: 0

    implicitHeight: tallest

    function fitted(naturals, minimums, available) {
        const widths = naturals.slice()
        let open = naturals.map((w, i) => i).sort((a, b) => naturals[a] - naturals[b])
        let left = available
        while (open.length > 0) {
            const share = left / open.length
            if (naturals[open[0]] <= share) { // fits whole
                left -= naturals[open[0]]
                open.shift()
                continue
            }
            const stubborn = open.reduce((best, i) => minimums[i] > minimums[best] ? i : best, open[0])
            if (minimums[stubborn] > share) { // its longest word needs more than a share
                widths[stubborn] = minimums[stubborn]
                left -= minimums[stubborn]
                open = open.filter(i => i !== stubborn)
                continue
            }
            for (const i of open)
                widths[i] = share
            break
        }
        return widths
    }

    function measure() {
        const list = []
        const least = []
        let height = 0
        for (let i = 0; i < repeater.count; ++i) {
            const chip = repeater.itemAt(i) as CapabilityChip
            if (!chip)
                return
            list.push(chip.implicitWidth)
            least.push(chip.minimumWidth)
            height = Math.max(height, chip.implicitHeight)
        }
        if (String(list) !== String(naturalWidths) || String(least) !== String(minimumWidths)) {
            minimumWidths = least
            naturalWidths = list
        }
        tallest = height
    }

    Repeater {
        id: repeater
        model: row.chips
        onItemAdded: row.measure()

        delegate: CapabilityChip {
            required property var modelData
            required property int index
            objectName: "capabilityChip" + (row.firstIndex + index)
            icon: modelData[0]
            text: modelData[1]
            width: index < row.widths.length ? row.widths[index] : implicitWidth
            y: (row.height - height) / 2
            x: {
                let position = 0
                for (let i = 0; i < index && i < row.widths.length; ++i)
                    position += row.widths[i] + row.spacing
                return position
            }
            onImplicitWidthChanged: row.measure()
            onImplicitHeightChanged: row.measure()
        }
    }
}
