#pragma once

#include "app/MenuCommands.h"
#include "app/ProjectListModel.h"
#include "app/WorkspaceModel.h"
#include "pipeline/ProjectStore.h"
#include "screens/ScreenServices.h"
#include "support/FilePicker.h"

#include <QUrl>

#include <memory>

class QQmlApplicationEngine;
class QQuickWindow;

namespace vl::app {

// The main window and what it shows, over one store. The program and the window
// tests build it the same way, so both load exactly the same QML.
//
// Every view finds these in the engine's root context: `store` (the ProjectStore),
// `workspace` (WorkspaceModel), `menuCommands` (MenuCommands), the project's
// lists `projectChunks`, `projectCharacters`, `projectTranscript` and
// `projectElements`, and `screenServices` (the store, file dialogs and the desktop,
// for the stage screens' models).
class AppShell {
public:
    explicit AppShell(ProjectStore& store);

    static QUrl mainWindowUrl();

    // Sets the controls style (before any QML is loaded), hands the objects above to
    // the engine and loads the main window. Returns the window, or nullptr when the
    // QML failed to load.
    QQuickWindow* load(QQmlApplicationEngine& engine);

    WorkspaceModel& workspace() { return workspace_; }
    MenuCommands& menuCommands() { return menuCommands_; }
    ChunkListModel& chunks() { return chunks_; }
    CharacterListModel& characters() { return characters_; }
    TranscriptListModel& transcript() { return transcript_; }
    ElementListModel& elements() { return elements_; }
    // Set once the window is loaded.
    screens::ScreenServices* screenServices() { return screenServices_.get(); }

private:
    ProjectStore& store_;
    WorkspaceModel workspace_;
    MenuCommands menuCommands_;
    ChunkListModel chunks_;
    CharacterListModel characters_;
    TranscriptListModel transcript_;
    ElementListModel elements_;
    std::unique_ptr<support::QmlFilePicker> filePicker_;
    std::unique_ptr<screens::ScreenServices> screenServices_;
};

} // namespace vl::app
