import QtQuick
import QtQuick.Templates as T
import Verseloom.Design

// A multi-line text field in the input chrome that grows with its text from one line to
// `maximumLines`, then scrolls inside the chrome and keeps the caret in view. While it
// is empty it is tall enough for its whole placeholder (up to the same limit).
//
//   ScrollingTextArea {
//       area.objectName: "conceptField"      // the text control itself (focus, keys, text)
//       maximumLines: 3
//       value: model.value
//       onEdited: text => model.value = text
//   }
//
// The field shows `value` and reports only what the user types (see EditableText).
// With a `returnHandler`, Return and Enter ask it first (with the key's modifiers);
// when it answers true the press is taken, otherwise a new line starts.
Flickable {
    id: scroller

    property alias area: field
    readonly property alias text: field.text
    property string value
    property alias placeholderText: field.placeholderText
    property alias font: field.font
    readonly property alias length: field.length
    property int maximumLines: 3
    property var returnHandler: null

    signal edited(string text)

    // One line of text as the field lays it out.
    readonly property real lineHeight: fontMetrics.lineSpacing
    readonly property real maximumHeight: maximumLines * lineHeight + field.topPadding + field.bottomPadding
    readonly property real placeholderHeight: field.length === 0 && field.placeholderText !== ""
        ? hint.implicitHeight + field.topPadding + field.bottomPadding : 0

    implicitWidth: field.implicitWidth
    implicitHeight: Math.ceil(Math.min(maximumHeight, Math.max(field.implicitHeight, placeholderHeight)))
    clip: true
    boundsBehavior: Flickable.StopAtBounds
    flickableDirection: Flickable.VerticalFlick

    T.TextArea.flickable: ChromeTextArea {
        id: field

        EditableText.value: scroller.value
        EditableText.onEdited: text => scroller.edited(text)
        onCursorRectangleChanged: scroller.keepInView(cursorRectangle)

        Keys.onReturnPressed: event => scroller.returnPressed(event)
        Keys.onEnterPressed: event => scroller.returnPressed(event)
    }

    FontMetrics {
        id: fontMetrics
        font: field.font
    }

    // Measures the placeholder as the field wraps it.
    Text {
        id: hint
        visible: false
        width: scroller.width - field.leftPadding - field.rightPadding
        text: field.placeholderText
        font: field.font
        wrapMode: Text.Wrap
    }

    function returnPressed(event) {
        event.accepted = returnHandler ? returnHandler(event.modifiers) : false;
    }

    // Scrolls just far enough that the caret's line shows inside the margins.
    function keepInView(caret) {
        const top = caret.y - field.topPadding;
        const bottom = caret.y + caret.height + field.bottomPadding;
        if (top < contentY)
            contentY = Math.max(0, top);
        else if (bottom > contentY + height)
            contentY = Math.max(0, Math.min(bottom, contentHeight) - height);
    }
}
