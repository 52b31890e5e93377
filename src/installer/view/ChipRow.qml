pragma ComponentBehavior: Bound

import QtQuick

// One row of capability chips in the width it is given. When the chips need more, each
// gets an equal share and a chip that needs less keeps its own width, so only the longest
// words are cut.
Item {
    id: row

    // [[icon, text], ...]
    property var chips: []
    // The first chip's number in the sidebar, for its objectName.
    property int firstIndex: 0
    property real spacing: 7
    // The chips' natural widths, in order, once they exist.
    property var naturalWidths: []
    readonly property var widths: fitted(naturalWidths, width - spacing * Math.max(0, chips.length - 1))

    implicitHeight: repeater.count > 0 && repeater.itemAt(0) ? repeater.itemAt(0).implicitHeight : 0

    function fitted(naturals, available) {
        const widths = naturals.slice()
        let open = naturals.map((w, i) => i).sort((a, b) => naturals[a] - naturals[b])
        let left = available
        while (open.length > 0) {
            const share = left / open.length
            if (naturals[open[0]] > share) {
                for (const i of open)
                    widths[i] = Math.max(0, share)
                break
            }
            left -= naturals[open[0]]
            open.shift()
        }
        return widths
    }

    function measure() {
        const list = []
        for (let i = 0; i < repeater.count; ++i) {
            const chip = repeater.itemAt(i)
            if (!chip)
                return
            list.push(chip.implicitWidth)
        }
        naturalWidths = list
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
            x: {
                let position = 0
                for (let i = 0; i < index && i < row.widths.length; ++i)
                    position += row.widths[i] + row.spacing
                return position
            }
            onImplicitWidthChanged: row.measure()
        }
    }
}
