import QtQuick
import QtQuick.Window
import Verseloom.Design

// Why this start cannot go on (no projects folder; another copy that does not answer),
// in a window of its own: the user may have no terminal to read it on. The program
// ends once it is closed.
Window {
    id: problemWindow
    objectName: "startProblemWindow"

    required property string message

    width: 460
    height: problemText.implicitHeight + 48
    minimumWidth: 320
    title: "Verseloom"
    color: Theme.night

    Text {
        id: problemText
        objectName: "startProblemText"
        anchors.fill: parent
        anchors.margins: 24
        text: problemWindow.message
        wrapMode: Text.Wrap
        color: Theme.cream
        font.pixelSize: 13
    }
}
