import QtQuick
import QtQuick.Window
import Verseloom.Design

// Every sheet of the program: a modal window over the window that opened it, centred on
// it and sized by its content (a popup could not outgrow a small main window).
//
//   Sheet {
//       id: sheet
//       transientParent: mainWindow      // defaults to the focused window at open
//       MyContent { }                    // one child; its implicit size sizes the sheet
//   }
//   sheet.open() / sheet.close()
//
// `dismissable: false` keeps the sheet up against Escape and the window's close button
// until the code closes it with `finish()`.
Window {
    id: sheet

    default property alias content: body.data
    property bool dismissable: true
    // Space the content asks for; the first child's implicit size unless set.
    property real contentWidth: body.children.length > 0 ? body.children[0].implicitWidth : 400
    property real contentHeight: body.children.length > 0 ? body.children[0].implicitHeight : 300

    // Emitted whenever the sheet goes away, however it was closed.
    signal dismissed()

    function open() {
        if (!transientParent)
            // Qt Quick's application object has focusWindow; the linter knows only QML's.
            transientParent = Qt.application.focusWindow ?? null; // qmllint disable type
        visible = true;
        centre();
        requestActivate();
    }

    // Closes even a sheet that is not dismissable.
    function finish() {
        forcedClose = true;
        close();
        forcedClose = false;
    }

    function centre() {
        const p = transientParent;
        if (!p)
            return;
        x = p.x + Math.round((p.width - width) / 2);
        y = p.y + Math.max(0, Math.round((p.height - height) / 2));
    }

    property bool forcedClose: false

    flags: Qt.Dialog
    modality: Qt.WindowModal
    color: Theme.night
    width: Math.ceil(contentWidth)
    height: Math.ceil(contentHeight)
    minimumWidth: width
    minimumHeight: height
    maximumWidth: width
    maximumHeight: height

    onWidthChanged: if (visible) centre()
    onHeightChanged: if (visible) centre()
    onVisibleChanged: if (!visible) dismissed()
    onClosing: close => {
        if (!dismissable && !forcedClose)
            close.accepted = false;
    }

    Backdrop {
        anchors.fill: parent
    }

    Item {
        id: body
        anchors.fill: parent
    }

    Shortcut {
        sequences: [StandardKey.Cancel] // qmllint disable unqualified
        enabled: sheet.dismissable && sheet.visible
        onActivated: sheet.close()
    }
}
