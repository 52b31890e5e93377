import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Screens

// The style stage: the five fields of the style guidance and the image prompt they
// give, recomputed with every keystroke.
ColumnLayout {
    id: styleView
    objectName: "styleGuidanceView"
    spacing: 20

    StyleGuidanceModel {
        id: style
        services: ScreenServices
    }

    SurfaceHeader {
        Layout.fillWidth: true
        kicker: "Style"
        title: "Guide the look."
        subtitle: "This direction is applied to every image prompt and keeps the video visually continuous."
    }

    Panel {
        Layout.fillWidth: true
        padding: 16
        ColumnLayout {
            spacing: 14
            StyleField {
                objectName: "paletteNameField"
                label: "Palette name"; placeholder: "Palette"
                value: style.paletteName
                onEdited: (text) => style.paletteName = text
            }
            StyleField {
                objectName: "moodField"
                label: "Mood"; placeholder: "Mood"
                value: style.mood
                onEdited: (text) => style.mood = text
            }
            StyleField {
                objectName: "mediumField"
                label: "Medium"; placeholder: "Medium"
                value: style.medium
                onEdited: (text) => style.medium = text
            }
            StyleField {
                objectName: "continuityNotesField"
                label: "Continuity notes"; placeholder: "Recurring elements across frames"
                value: style.continuityNotes
                onEdited: (text) => style.continuityNotes = text
            }
            StyleField {
                objectName: "negativePromptsField"
                label: "Negative prompts"; placeholder: "What to avoid"
                value: style.negativePrompts
                onEdited: (text) => style.negativePrompts = text
            }
        }
    }

    Panel {
        Layout.fillWidth: true
        padding: 16
        ColumnLayout {
            spacing: 8
            Kicker { text: "Prompt preview" }
            TextEdit {
                objectName: "promptPreview"
                Layout.fillWidth: true
                readOnly: true
                selectByMouse: true
                wrapMode: TextEdit.Wrap
                textFormat: TextEdit.PlainText
                text: style.preview
                font.pixelSize: 12
                font.weight: Font.Medium
                font.family: "monospace"
                color: Theme.cream
                selectionColor: Theme.faded(Theme.lime, 0.45)
                selectedTextColor: Theme.cream
            }
        }
    }

    component StyleField: ColumnLayout {
        id: field
        property string label
        property string placeholder
        property string value
        signal edited(string text)

        Layout.fillWidth: true
        spacing: 6
        Kicker { text: field.label }
        ChromeTextField {
            objectName: "input"
            Layout.fillWidth: true
            placeholderText: field.placeholder
            EditableText.value: field.value
            EditableText.onEdited: text => field.edited(text)
        }
    }
}
