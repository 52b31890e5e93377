import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Verseloom.Design

// A row of the main window's menus: its text, and at the right the keys that run it
// (the style's own row shows no keys). A disabled row is drawn faded.
MenuItem {
    id: row

    // The keys shown at the right: the action's shortcut, else a submenu's `keyText`.
    property string keyText: action && action.shortcut
                             ? String(action.shortcut)
                             : ((row.subMenu as AppMenu)?.keyText ?? "")

    contentItem: RowLayout {
        readonly property real arrowPadding: row.subMenu && row.arrow ? row.arrow.width + row.spacing : 0

        spacing: 32
        opacity: row.enabled ? 1 : 0.4

        Text {
            objectName: "menuText"
            Layout.fillWidth: true
            text: row.text
            font: row.font
            color: row.highlighted ? row.palette.highlightedText : row.palette.text
            elide: Text.ElideRight
        }
        Text {
            objectName: "menuKeys"
            Layout.rightMargin: parent.arrowPadding
            visible: row.keyText !== ""
            text: row.keyText
            font: row.font
            color: row.highlighted ? row.palette.highlightedText : Theme.muted
        }
        Item {
            // Room for the submenu arrow when there are no keys to push it aside.
            Layout.preferredWidth: row.keyText === "" ? parent.arrowPadding : 0
        }
    }
}
