import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import Verseloom.Design
import Verseloom.Installer

// The installer's one view: the sidebar of pages, the page's title, the page itself and
// the footer whose buttons the controller decides. Everything comes from the controller
// and its model; the view keeps no state.
Item {
    id: view

    required property InstallerController controller
    readonly property InstallerModel model: controller.model

    implicitWidth: 1000
    implicitHeight: 640

    Component.onCompleted: controller.windowShown()

    Backdrop { anchors.fill: parent }

    RowLayout {
        anchors.fill: parent
        spacing: 0

        Rectangle {
            objectName: "sidebar"
            Layout.preferredWidth: 236
            Layout.fillHeight: true
            color: Qt.rgba(0, 0, 0, 0.28)

            ColumnLayout {
                anchors.fill: parent
                anchors.margins: 20
                spacing: 20

                Text {
                    Layout.topMargin: 26
                    text: "Verseloom"
                    font.family: "Anton"
                    font.pixelSize: 20
                    font.letterSpacing: 0.5
                    color: Theme.coral
                }

                Flickable {
                    id: stepArea
                    Layout.fillWidth: true
                    Layout.fillHeight: true
                    contentWidth: width
                    contentHeight: stepList.implicitHeight
                    clip: true
                    boundsBehavior: Flickable.StopAtBounds

                    SidebarSteps {
                        id: stepList
                        width: stepArea.width
                        steps: view.controller.steps
                        currentStep: view.model.step
                    }
                }

                // Two rows of chips, three and two. They may reach a little into the
                // sidebar's padding, so fewer words are cut.
                Item {
                    Layout.fillWidth: true
                    implicitHeight: chips.implicitHeight

                    Column {
                        id: chips
                        objectName: "capabilityChips"
                        x: -6
                        width: parent.width + 12
                        spacing: 7

                        ChipRow {
                            width: chips.width
                            chips: [["macwindow", "Debian 12+"], ["cpu", "64-bit"],
                                    ["icloud.slash", "No Cloud Upload"]]
                        }

                        ChipRow {
                            width: chips.width
                            firstIndex: 3
                            chips: [["bolt.shield", "100% Local Rendering"],
                                    ["lock.shield", "Your Data Stays on This Computer"]]
                        }
                    }
                }
            }
        }

        ColumnLayout {
            Layout.fillWidth: true
            Layout.fillHeight: true
            Layout.margins: 28
            spacing: 0

            ColumnLayout {
                Layout.fillWidth: true
                Layout.bottomMargin: 18
                spacing: 8

                Text {
                    objectName: "pageTitle"
                    text: view.controller.pageTitle
                    font.family: "Anton"
                    font.pixelSize: 34
                    color: Theme.cream
                }

                Text {
                    text: "AI STORYBOARDS \u00b7 DEPTHFLOW MOTION \u00b7 CINEMATIC LYRICS"
                    font.pixelSize: 11
                    font.weight: Font.DemiBold
                    font.letterSpacing: 1.5
                    color: Theme.muted
                }
            }

            Flickable {
                id: pageArea
                objectName: "pageArea"
                Layout.fillWidth: true
                Layout.fillHeight: true
                clip: true
                contentWidth: width
                contentHeight: pageLoader.height + 8
                boundsBehavior: Flickable.StopAtBounds
                ScrollBar.vertical: ScrollBar { policy: ScrollBar.AsNeeded }

                Loader {
                    id: pageLoader
                    objectName: "page"
                    y: 4
                    width: pageArea.width - 12
                    sourceComponent: view.pages[view.model.step]
                    onLoaded: pageArea.contentY = 0
                }
            }

            RowLayout {
                objectName: "footer"
                Layout.fillWidth: true
                Layout.topMargin: 16
                Layout.preferredHeight: 44
                spacing: 14

                SecondaryButton {
                    objectName: "backButton"
                    visible: view.controller.showBack
                    text: "Back"
                    onClicked: view.controller.goBack()
                }

                Item { Layout.fillWidth: true }

                PrimaryButton {
                    objectName: "continueButton"
                    visible: view.controller.showContinue
                    text: "Continue"
                    styleEnabled: view.controller.continueEnabled
                    enabled: view.controller.continueEnabled
                    onClicked: view.controller.continueOn()
                }

                InstallCTAButton {
                    objectName: "installButton"
                    visible: view.controller.showInstall
                    text: "Install"
                    symbol: "arrow.down.app"
                    onClicked: view.controller.install()
                }

                PrimaryButton {
                    objectName: "tryAgainButton"
                    visible: view.controller.showTryAgain
                    text: "Try Again"
                    onClicked: view.controller.tryAgain()
                }

                SecondaryButton {
                    objectName: "quitButton"
                    visible: view.controller.showClosing
                    text: "Quit Installer"
                    onClicked: view.controller.quitInstaller()
                }

                SecondaryButton {
                    objectName: "revealButton"
                    visible: view.controller.showClosing
                    text: "Reveal in File Manager"
                    onClicked: view.controller.revealInstalled()
                }

                PrimaryButton {
                    objectName: "openAppButton"
                    visible: view.controller.showClosing
                    text: "Open App"
                    onClicked: view.controller.openAppAndQuit()
                }
            }
        }
    }

    // One page per step, in step order. The pages read the view's controller and model,
    // which the linter accepts only from components bound to their context; Qt 6.4's
    // Loader refuses to create bound components, so these reads go unchecked until it can.
    // qmllint disable unqualified
    readonly property list<Component> pages: [
        Component { WelcomePage {} },
        Component {
            AgreementPage {
                boxHeight: 220
                document: view.controller.licenseText
                label: "I accept the software license."
                accepted: view.model.acceptedLicense
                onAcceptanceChanged: (accepted) => view.model.acceptedLicense = accepted
            }
        },
        Component {
            AgreementPage {
                document: view.controller.termsText
                label: "I accept the Terms of Use."
                accepted: view.model.acceptedTerms
                onAcceptanceChanged: (accepted) => view.model.acceptedTerms = accepted
            }
        },
        Component {
            AgreementPage {
                document: view.controller.privacyText
                label: "I have read and accept the Privacy Policy."
                accepted: view.model.acceptedPrivacy
                onAcceptanceChanged: (accepted) => view.model.acceptedPrivacy = accepted
            }
        },
        Component { InstallLocationPage { model: view.model } },
        Component { ProfilePage { model: view.model } },
        Component { ExportFolderPage { controller: view.controller } },
        Component { WhisperPage { controller: view.controller } },
        Component { ParallaxPage {} },
        Component { InstallationPage { model: view.model } },
        Component { CompletePage { controller: view.controller } }
    ]
    // qmllint enable unqualified
}
