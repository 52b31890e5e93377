import QtQuick
import QtQuick.Controls

// A menu of the main window: rows that show their keys, and as wide as its widest row
// (the style's menu stays 200 wide and cuts longer rows short).
Menu {
    id: menu

    // Keys shown beside this menu's row when it is a submenu.
    property string keyText: ""

    delegate: MenuRow {}

    width: {
        let widest = 200;
        for (let i = 0; i < count; ++i) {
            const row = itemAt(i);
            if (row)
                widest = Math.max(widest, row.implicitWidth + leftPadding + rightPadding);
        }
        return widest;
    }
}
