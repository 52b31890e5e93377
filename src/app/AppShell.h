#pragma once

#include "app/MenuCommandsModel.h"
#include "app/WorkspaceModel.h"
#include "design/EditableText.h"
#include "pipeline/ProjectStore.h"
#include "pipeline/SystemClipboard.h"
#include "screens/keysetup/KeySetupController.h"
#include "screens/lists/CharacterListModel.h"
#include "screens/lists/ChunkListModel.h"
#include "screens/lists/ElementListModel.h"
#include "screens/lists/TranscriptListModel.h"
#include "screens/onboarding/OnboardingController.h"
#include "screens/onboarding/OnboardingModel.h"
#include "screens/ScreenServices.h"
#include "screens/settings/SettingsModel.h"
#include "support/FilePicker.h"
#include "support/SupportController.h"

#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

class QQmlApplicationEngine;
class QQuickWindow;

namespace vl::app {

// The main window and what it shows, over one store. The program and the window
// tests build it the same way, so both load exactly the same QML.
//
// The screens reach the store and the project's lists through the ScreenServices
// singleton the shell registers for the engine; the main window is given the shell's own
// objects as its required properties: `workspace` (WorkspaceModel), `menuCommands`
// (MenuCommandsModel), `keySetup` (the fal key sheet's controller), `settingsModel` (the
// settings window's), `onboarding` and `onboardingModel` (the first-run guide) and
// `support` (the contribution flow).
//
// What the shell's controllers reach outside the process. Left empty, each is the
// platform's own; tests hand in fakes.
struct ShellContext {
    SecretStore* secrets = nullptr;             // the system keyring
    HttpClient* http = nullptr;                 // the shared HTTP client
    std::optional<FalEndpoints> endpoints;      // the store's vendor
    Clipboard* clipboard = nullptr;             // the desktop's clipboard
    support::Desktop* desktop = nullptr;        // the system desktop
    support::FilePicker* filePicker = nullptr;  // Qt Quick's dialogs in the shell's engine
    QUrl keysURL;                               // the vendor's keys page
    std::chrono::milliseconds keyWatchInterval{400};
    std::chrono::milliseconds engineLookInterval{2000}; // the settings window's engine row
    Settings* sharedSuite = nullptr;            // the installer's suite; none: the store's defaults
    std::string supportBaseURL;                 // the maker's server
    std::chrono::milliseconds supportPollInterval{2000};
    bool supportIsTest = false;                 // a loopback payment page is accepted
};

class AppShell {
public:
    explicit AppShell(ProjectStore& store, ShellContext context = {});
    ~AppShell();
    AppShell(const AppShell&) = delete;
    AppShell& operator=(const AppShell&) = delete;

    static QUrl mainWindowUrl();

    // Sets the controls style (before any QML is loaded), hands the objects above to
    // the engine and loads the main window. Returns the window, or nullptr when the
    // QML failed to load.
    QQuickWindow* load(QQmlApplicationEngine& engine);

    WorkspaceModel& workspace() { return workspace_; }
    MenuCommandsModel& menuCommands() { return menuCommands_; }
    screens::ChunkListModel& chunks() { return chunks_; }
    screens::CharacterListModel& characters() { return characters_; }
    screens::TranscriptListModel& transcript() { return transcript_; }
    screens::ElementListModel& elements() { return elements_; }
    // Set once the window is loaded.
    screens::ScreenServices* screenServices() { return screenServices_.get(); }
    screens::KeySetupController& keySetup() { return *keySetup_; }
    screens::SettingsModel& settings() { return *settings_; }
    screens::OnboardingController& onboarding() { return *onboarding_; }
    screens::OnboardingModel& onboardingModel() { return *onboardingModel_; }
    support::SupportController& support() { return *support_; }

private:
    ProjectStore& store_;
    WorkspaceModel workspace_;
    MenuCommandsModel menuCommands_;
    screens::ChunkListModel chunks_;
    screens::CharacterListModel characters_;
    screens::TranscriptListModel transcript_;
    screens::ElementListModel elements_;
    support::Desktop* desktop_;
    support::FilePicker* givenFilePicker_;
    std::unique_ptr<support::QmlFilePicker> filePicker_;
    std::unique_ptr<screens::ScreenServices> screenServices_;
    std::unique_ptr<SystemClipboard> ownClipboard_;
    design::ClipboardTextReader previousPasteReader_; // put back when the shell goes
    std::unique_ptr<screens::KeySetupController> keySetup_;
    std::unique_ptr<screens::SettingsModel> settings_;
    // After the store, in this order: the guide, then the contribution flow (which
    // counts this launch).
    std::unique_ptr<screens::OnboardingController> onboarding_;
    std::unique_ptr<support::SupportController> support_;
    std::unique_ptr<screens::OnboardingModel> onboardingModel_;
};

} // namespace vl::app
