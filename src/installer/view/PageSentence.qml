import QtQuick
import QtQuick.Layouts
import Verseloom.Design

// The explanatory sentence that opens a page; wraps onto as many lines as it needs.
Text {
    Layout.fillWidth: true
    wrapMode: Text.Wrap
    font.pixelSize: 14
    color: Theme.muted
}
