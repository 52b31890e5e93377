import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Screens

// The settings page: transcription engine, the fal key, the advanced pipeline settings
// and the version. Texts and decisions come from the settings model; the three advanced
// fields write the store's values as typed and commit them when editing finishes, so the
// relay's normalisation never fights a half-typed address.
Rectangle {
    id: view

    required property SettingsModel model
    required property var store
    // The presenter opens the key sheet and the two main-window sheets.
    signal connectKeyRequested()
    signal guideRequested()
    signal contributionRequested()
    // Whether the guide and contribution buttons exist (they come with their sheets).
    property bool showsGuideButtons: false

    color: Theme.night
    implicitWidth: 460
    implicitHeight: 640

    Flickable {
        id: flick
        anchors.fill: parent
        contentWidth: width
        contentHeight: page.implicitHeight + 40
        boundsBehavior: Flickable.StopAtBounds
        clip: true
        ScrollBar.vertical: ScrollBar { policy: ScrollBar.AlwaysOn }

        ColumnLayout {
            id: page
            x: 20
            y: 20
            width: flick.width - 40
            spacing: 18

            SurfaceHeader {
                kicker: "Settings"
                title: "Verseloom settings."
                subtitle: view.model.subtitle
            }

            // ---- Transcription engine ----------------------------------------------
            Panel {
                Layout.fillWidth: true
                padding: 16
                ColumnLayout {
                    spacing: 8
                    Kicker { text: "Transcription engine" }
                    RowLayout {
                        Layout.fillWidth: true
                        Icon {
                            name: view.model.engineSymbol
                            color: Theme.lime
                            size: 13
                        }
                        Text {
                            objectName: "engineName"
                            text: view.model.engineName
                            font.pixelSize: 13
                            color: Theme.cream
                        }
                        Item { Layout.fillWidth: true }
                        StatusChip {
                            objectName: "engineChip"
                            text: view.model.engineChipText
                            intent: view.model.engineChipIntent
                        }
                    }
                    Text {
                        Layout.fillWidth: true
                        text: view.model.engineExplanation
                        wrapMode: Text.Wrap
                        font.pixelSize: 10
                        color: Theme.muted
                    }
                }
            }

            // ---- fal connection ----------------------------------------------------
            Panel {
                Layout.fillWidth: true
                padding: 16
                ColumnLayout {
                    spacing: 10
                    RowLayout {
                        Layout.fillWidth: true
                        Kicker { text: view.model.connectionKicker }
                        Item { Layout.fillWidth: true }
                        StatusChip {
                            objectName: "connectionChip"
                            text: view.model.connectionChipText
                            intent: view.model.connectionChipIntent
                        }
                    }
                    Text {
                        Layout.fillWidth: true
                        text: view.model.connectionExplanation
                        wrapMode: Text.Wrap
                        font.pixelSize: 11
                        color: Theme.muted
                    }
                    Flow {
                        Layout.fillWidth: true
                        spacing: 8
                        PrimaryButton {
                            objectName: "connectButton"
                            text: view.model.connectButtonText
                            onClicked: view.connectKeyRequested()
                        }
                        SecondaryButton {
                            objectName: "removeKeyButton"
                            visible: view.model.hasKey
                            text: "Remove Key"
                            onClicked: view.model.removeKey()
                        }
                        SecondaryButton {
                            objectName: "guideButton"
                            visible: view.showsGuideButtons
                            text: "Welcome & BYOK Guide"
                            onClicked: view.guideRequested()
                        }
                        SecondaryButton {
                            objectName: "contributionButton"
                            visible: view.showsGuideButtons
                            text: "Pay What You Like"
                            onClicked: view.contributionRequested()
                        }
                    }
                    Text {
                        objectName: "credentialError"
                        Layout.fillWidth: true
                        visible: view.model.hasCredentialError
                        text: view.model.credentialError
                        wrapMode: Text.Wrap
                        font.pixelSize: 10
                        color: Theme.coral
                    }
                }
            }

            // ---- Advanced ----------------------------------------------------------
            ColumnLayout {
                Layout.fillWidth: true
                spacing: 0

                MouseArea {
                    objectName: "advancedToggle"
                    Layout.fillWidth: true
                    implicitHeight: advancedLabel.implicitHeight + 4
                    cursorShape: Qt.PointingHandCursor
                    onClicked: advanced.expanded = !advanced.expanded

                    Row {
                        id: advancedLabel
                        anchors.verticalCenter: parent.verticalCenter
                        spacing: 6
                        Text {
                            anchors.verticalCenter: parent.verticalCenter
                            text: advanced.expanded ? "\u25BE" : "\u25B8"
                            font.pixelSize: 12
                            color: Theme.lime
                        }
                        Kicker {
                            text: "Advanced"
                            color: Theme.lime
                        }
                    }
                }

                ColumnLayout {
                    id: advanced
                    objectName: "advancedGroup"
                    property bool expanded: false
                    Layout.fillWidth: true
                    Layout.topMargin: 8
                    visible: expanded
                    spacing: 12

                    SettingField {
                        objectName: "modelField"
                        label: "Image model"
                        placeholder: "fal-ai/flux/dev"
                        value: view.store.generationModel
                        onEdited: text => view.store.updateGenerationModelText(text)
                    }
                    SettingField {
                        objectName: "workflowField"
                        label: "Edit workflow"
                        placeholder: "workflows/\u2026/lyric-video-edit-frame"
                        value: view.store.editWorkflow
                        onEdited: text => view.store.updateEditWorkflowText(text)
                    }
                    SettingField {
                        objectName: "relayField"
                        label: "Dormant funded-service URL"
                        placeholder: "https://\u2026/api/fal"
                        value: view.store.proxyBaseURL
                        onEdited: text => view.model.relayEdited(text)
                        onEditingFinished: view.model.relayEditingFinished()
                    }
                }
            }

            // ---- Updates -----------------------------------------------------------
            Panel {
                Layout.fillWidth: true
                padding: 16
                ColumnLayout {
                    spacing: 6
                    Kicker { text: "Updates" }
                    RowLayout {
                        Layout.fillWidth: true
                        Text {
                            objectName: "versionText"
                            text: "Version " + view.model.versionText
                            font.pixelSize: 12
                            color: Theme.cream
                        }
                        Item { Layout.fillWidth: true }
                        StatusChip {
                            text: "Up to date"
                            intent: Intent.Good
                        }
                    }
                    Text {
                        Layout.fillWidth: true
                        text: "New versions come as a new Verseloom installer."
                        wrapMode: Text.Wrap
                        font.pixelSize: 10
                        color: Theme.muted
                    }
                }
            }
        }
    }
}
