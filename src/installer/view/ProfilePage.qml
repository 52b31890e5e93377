import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Installer

ColumnLayout {
    id: page

    required property InstallerModel model

    spacing: 18

    PageSentence {
        text: "We use your name and email only for occasional product updates. They are stored separately from your projects and generation credentials."
    }

    Panel {
        Layout.fillWidth: true
        padding: 16

        ColumnLayout {
            spacing: 12

            Kicker { text: "Your details" }

            ChromeTextField {
                objectName: "firstNameField"
                Layout.fillWidth: true
                placeholderText: "First name"
                text: page.model.firstName
                onTextEdited: page.model.firstName = text
            }

            ChromeTextField {
                objectName: "emailField"
                Layout.fillWidth: true
                placeholderText: "Email address"
                text: page.model.email
                onTextEdited: page.model.email = text
            }
        }
    }
}
