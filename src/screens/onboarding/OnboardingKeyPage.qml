import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Screens

// Onboarding page two: whether a fal key is stored, and the way to the key sheet.
ColumnLayout {
    id: page

    required property OnboardingModel model
    signal keySetupRequested()

    spacing: 22

    Kicker { text: page.model.keyPageKicker }
    Text {
        Layout.fillWidth: true
        text: "Your credits. Your key. Your control."
        wrapMode: Text.Wrap
        font.family: "Anton"
        font.pixelSize: 38
        color: Theme.cream
    }
    Text {
        Layout.fillWidth: true
        text: "Fal provides the image models used for storyboards and lyric frames. The guided setup walks you through creating an account, adding credits when you need them, creating an API-scoped key, verifying it, and storing it securely in the system keyring."
        wrapMode: Text.Wrap
        font.pixelSize: 14
        color: Theme.muted
    }
    Panel {
        Layout.fillWidth: true
        padding: 16
        RowLayout {
            spacing: 16
            Icon {
                objectName: "keyStatusIcon"
                name: page.model.hasKey ? "checkmark.shield.fill" : "key.fill"
                color: page.model.hasKey ? Qt.rgba(74 / 255, 199 / 255, 122 / 255, 1) : Theme.lime
                size: 26
            }
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 4
                Text {
                    objectName: "keyStatusTitle"
                    text: page.model.hasKey ? "Fal is connected" : "Connect your Fal account"
                    font.pixelSize: 15
                    font.bold: true
                    color: Theme.cream
                }
                Text {
                    Layout.fillWidth: true
                    text: page.model.hasKey ? "Your API key is stored securely in the system keyring."
                                            : "Open the guided setup and follow each step. Your key stays on this computer."
                    wrapMode: Text.Wrap
                    font.pixelSize: 11
                    color: Theme.muted
                }
            }
            PrimaryButton {
                objectName: "keySetupButton"
                symbol: "arrow.up.right.square"
                text: page.model.hasKey ? "Manage Key" : "Open Fal Setup"
                onClicked: page.keySetupRequested()
            }
        }
    }
    RowLayout {
        Layout.fillWidth: true
        spacing: 10
        Icon {
            name: "lock.shield"
            color: Theme.cream
            size: 13
        }
        Text {
            Layout.fillWidth: true
            text: "Verseloom does not send your key to Quillmarsh. Requests are authenticated directly from this computer, and the key is never written to project files or logs."
            wrapMode: Text.Wrap
            font.pixelSize: 11
            color: Theme.muted
        }
    }
}
