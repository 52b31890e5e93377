import QtQuick
import QtQuick.Templates as T
import Verseloom.Design

// The decoration every text input wears: a dark translucent rounded box with a faint
// warm outline, 12 px inside left and right, 9 px top and bottom. It holds one content
// item, such as a path row; the text controls ChromeTextField and ChromeTextArea wear
// the same chrome themselves. Content that colours nothing itself should use
// `foreground` (cream), which is what the chrome stands for.
T.Control {
    id: chrome

    default property alias content: chrome.contentItem
    readonly property color foreground: Theme.cream

    leftPadding: 12
    rightPadding: 12
    topPadding: 9
    bottomPadding: 9
    implicitWidth: Math.max(implicitBackgroundWidth + leftInset + rightInset,
                            implicitContentWidth + leftPadding + rightPadding)
    implicitHeight: implicitContentHeight + topPadding + bottomPadding
    clip: true

    background: ChromeBackground {}
}
