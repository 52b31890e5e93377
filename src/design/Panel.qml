import QtQuick
import QtQuick.Templates as T
import Verseloom.Design

// The framed card every section sits in. It holds one content item (usually a layout),
// which fills the panel inside `padding`:
//   Panel { padding: 16; ColumnLayout { … } }
// Note: content is clipped to the panel's rectangle, not to its rounded corners (the
// software scene graph has no rounded clip); keep edge-to-edge content inside padding.
T.Control {
    id: panel

    default property alias content: panel.contentItem

    padding: 16
    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: Math.max(implicitBackgroundHeight + topInset + bottomInset,
                             implicitContentHeight + topPadding + bottomPadding)
    clip: true

    background: Rectangle {
        color: Theme.faded(Theme.surface, 0.82)
        radius: 10
        border.color: Theme.glow
        border.width: 1
    }
}
