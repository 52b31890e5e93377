import QtQuick
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Support
import Verseloom.Screens

// The first-run guide's content: a fixed card with the wordmark and step counter, the
// current page, and the page buttons. The page machine is the model's; page two opens
// the key sheet through `keySetupRequested`, page three follows the contribution flow.
Item {
    id: view

    required property OnboardingModel model
    required property OnboardingController onboarding
    required property SupportController support

    signal keySetupRequested()

    // The model says when the guide is done; the controller records it.
    Connections {
        target: view.model
        function onFinished() { view.onboarding.complete() }
    }

    implicitWidth: 880
    implicitHeight: 700

    Backdrop {
        anchors.fill: parent
    }

    Card {
        id: card
        anchors.centerIn: parent
        width: 760
        height: 620
        padding: 0
        radius: 10
        fillOpacity: 0.95
        shadowBlur: 40
        shadowOffsetY: 18

        ColumnLayout {
            anchors.fill: parent
            spacing: 0

            // ---- Header -------------------------------------------------------------
            RowLayout {
                Layout.fillWidth: true
                Layout.margins: 22
                ColumnLayout {
                    spacing: 2
                    Text {
                        text: "VERSELOOM"
                        font.family: "Anton"
                        font.pixelSize: 20
                        color: Theme.coral
                    }
                    Text {
                        text: "INDEPENDENT CREATOR SHAREWARE"
                        font.pixelSize: 9
                        font.weight: Font.Black
                        font.letterSpacing: 1.75
                        color: Theme.muted
                    }
                }
                Item { Layout.fillWidth: true }
                Text {
                    objectName: "stepText"
                    text: view.model.stepText
                    font.family: "monospace"
                    font.pixelSize: 10
                    font.weight: Font.Medium
                    color: Theme.amber
                }
            }

            Rectangle { Layout.fillWidth: true; Layout.preferredHeight: 1; color: Theme.glowSoft }

            // ---- Page ---------------------------------------------------------------
            Item {
                Layout.fillWidth: true
                Layout.fillHeight: true

                Loader {
                    objectName: "pageLoader"
                    x: 34
                    y: 34
                    width: parent.width - 68
                    sourceComponent: view.model.page === 0 ? independentPage
                                   : view.model.page === 1 ? falKeyPage : contributionPage
                }
            }

            Rectangle { Layout.fillWidth: true; Layout.preferredHeight: 1; color: Theme.glowSoft }

            // ---- Footer -------------------------------------------------------------
            RowLayout {
                Layout.fillWidth: true
                Layout.margins: 18
                SecondaryButton {
                    objectName: "backButton"
                    visible: view.model.showsBack
                    text: "Back"
                    onClicked: view.model.back()
                }
                Item { Layout.fillWidth: true; implicitHeight: 34 }
                PrimaryButton {
                    objectName: "nextButton"
                    text: view.model.nextText
                    onClicked: view.model.advance()
                }
            }
        }
    }

    // The pages read the view's properties, which the linter accepts only from components
    // bound to their context; Qt 6.4's Loader refuses to create bound components, so these
    // reads go unchecked until it can.
    // qmllint disable unqualified
    Component {
        id: independentPage
        OnboardingIndependentPage {}
    }
    Component {
        id: falKeyPage
        OnboardingKeyPage {
            model: view.model
            onKeySetupRequested: view.keySetupRequested()
        }
    }
    Component {
        id: contributionPage
        OnboardingContributionPage {
            support: view.support
        }
    }
    // qmllint enable unqualified
}
