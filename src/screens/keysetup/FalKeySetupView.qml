import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Screens

// The guided fal key sheet's content: the steps and the manual field beside the vendor's
// keys page, and a footer with the watch's status. Everything it says and decides is the
// controller's; `live` builds the web page (a fresh one each time the sheet opens).
Rectangle {
    id: view

    required property KeySetupController controller
    property bool live: true

    signal closeRequested()

    implicitWidth: Math.max(1000, column.implicitWidth)
    implicitHeight: Math.max(700, column.implicitHeight)
    color: Theme.night

    ColumnLayout {
        id: column
        anchors.fill: parent
        spacing: 0

        // ---- Header ---------------------------------------------------------------
        RowLayout {
            Layout.fillWidth: true
            Layout.margins: 16
            spacing: 12

            Icon {
                name: "key.fill"
                color: Theme.lime
                size: 20
            }
            Column {
                spacing: 2
                Text {
                    objectName: "sheetTitle"
                    text: view.controller.title
                    font.family: "Anton"
                    font.pixelSize: 20
                    color: Theme.cream
                }
                Text {
                    text: view.controller.subtitle
                    font.pixelSize: 11
                    color: Theme.muted
                }
            }
            Item { Layout.fillWidth: true }
            SecondaryButton {
                objectName: "openInBrowserButton"
                text: "Open in Browser"
                symbol: "safari"
                onClicked: view.controller.openInBrowser()
            }
            SecondaryButton {
                objectName: "closeButton"
                text: "Close"
                onClicked: view.closeRequested()
            }
        }

        Rectangle { Layout.fillWidth: true; Layout.preferredHeight: 1; color: Theme.glowSoft }

        // ---- Steps and the vendor's page ----------------------------------------------
        RowLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            spacing: 0

            Rectangle {
                Layout.preferredWidth: 270
                Layout.fillHeight: true
                color: Theme.faded(Theme.surface, 0.55)

                ColumnLayout {
                    anchors.fill: parent
                    anchors.margins: 18
                    spacing: 18

                    Kicker { text: "Setup" }

                    Repeater {
                        model: view.controller.steps
                        delegate: RowLayout {
                            id: step
                            required property var modelData
                            Layout.fillWidth: true
                            spacing: 10

                            Rectangle {
                                Layout.alignment: Qt.AlignTop
                                Layout.preferredWidth: 24
                                Layout.preferredHeight: 24
                                radius: 12
                                color: Theme.amber
                                Text {
                                    anchors.centerIn: parent
                                    text: step.modelData.number
                                    font.family: "monospace"
                                    font.pixelSize: 11
                                    font.weight: Font.Medium
                                    color: Theme.night
                                }
                            }
                            ColumnLayout {
                                Layout.fillWidth: true
                                Layout.alignment: Qt.AlignTop
                                spacing: 3
                                Text {
                                    text: step.modelData.title
                                    font.pixelSize: 12
                                    font.bold: true
                                    color: Theme.cream
                                }
                                Text {
                                    Layout.fillWidth: true
                                    text: step.modelData.text
                                    wrapMode: Text.Wrap
                                    // 10.5 in the design; whole pixels here.
                                    font.pixelSize: 11
                                    color: Theme.muted
                                }
                            }
                        }
                    }

                    Rectangle { Layout.fillWidth: true; Layout.preferredHeight: 1; color: Theme.glowSoft }

                    ColumnLayout {
                        Layout.fillWidth: true
                        spacing: 8

                        Kicker { text: "Manual fallback" }
                        ChromeTextField {
                            id: manualField
                            objectName: "manualKeyField"
                            Layout.fillWidth: true
                            echoMode: TextInput.Password
                            placeholderText: view.controller.manualPlaceholder
                            EditableText.value: view.controller.manualKey
                            EditableText.onEdited: text => view.controller.manualKey = text
                            // Return does nothing: only the button verifies.
                        }
                        PrimaryButton {
                            objectName: "verifyButton"
                            text: "Verify and Save"
                            symbol: "checkmark.shield"
                            styleEnabled: view.controller.canVerifyManualKey
                            enabled: view.controller.canVerifyManualKey
                            onClicked: view.controller.verifyManualKey()
                        }
                    }

                    Item { Layout.fillHeight: true }

                    StatusChip {
                        objectName: "keysPageChip"
                        visible: view.controller.isKeysPage
                        text: "API keys page"
                        intent: Intent.Accent
                    }
                }
            }

            Rectangle { Layout.preferredWidth: 1; Layout.fillHeight: true; color: Theme.glowSoft }

            Loader {
                id: pageLoader
                objectName: "accountPage"
                Layout.fillWidth: true
                Layout.fillHeight: true
                Layout.minimumWidth: 720
                Layout.minimumHeight: 590
                active: view.live
                // The page reads the view's controller, which the linter accepts only from
                // components bound to their context; Qt 6.4's Loader refuses to create bound
                // components, so these reads go unchecked until it can.
                // qmllint disable unqualified
                sourceComponent: FalAccountWebView {
                    startUrl: view.controller.keysURL
                    onUrlReported: address => view.controller.currentURL = address
                }
                // qmllint enable unqualified
            }
        }

        Rectangle { Layout.fillWidth: true; Layout.preferredHeight: 1; color: Theme.glowSoft }

        // ---- Footer ---------------------------------------------------------------
        RowLayout {
            Layout.fillWidth: true
            Layout.margins: 14
            spacing: 10

            Spinner {
                objectName: "verifyingSpinner"
                implicitWidth: 22
                implicitHeight: 22
                lineWidth: 2.5
                visible: view.controller.isValidating
                color: Theme.lime
            }
            Icon {
                name: view.controller.hasError ? "exclamationmark.triangle.fill" : "lock.shield"
                color: view.controller.hasError ? Theme.coral : Theme.lime
                size: 13
            }
            Text {
                objectName: "footerText"
                Layout.fillWidth: true
                // The room left in the row, whatever the sentence: it wraps, and never
                // widens the sheet.
                Layout.preferredWidth: 0
                text: view.controller.footerText
                wrapMode: Text.Wrap
                font.pixelSize: 11
                font.weight: Font.DemiBold
                color: view.controller.hasError ? Theme.coral : Theme.muted
            }
            StatusChip {
                objectName: "connectedChip"
                visible: view.controller.hasKey
                text: "Connected"
                intent: Intent.Good
            }
            PrimaryButton {
                objectName: "doneButton"
                visible: view.controller.hasKey
                text: "Done"
                onClicked: view.closeRequested()
            }
        }
    }
}
