#pragma once

#include "pipeline/ProjectStore.h"
#include "screens/lists/CharacterListModel.h"
#include "screens/lists/ChunkListModel.h"
#include "screens/lists/ElementListModel.h"
#include "screens/lists/TranscriptListModel.h"
#include "support/Desktop.h"
#include "support/FilePicker.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

class QJSEngine;
class QQmlEngine;

namespace vl::screens {

// The project's lists that screens show rows from. Their owner (the shell, a test) keeps
// them alive as long as the services.
struct ProjectLists {
    ChunkListModel* chunks = nullptr;
    CharacterListModel* characters = nullptr;
    ElementListModel* elements = nullptr;
    TranscriptListModel* transcript = nullptr;
};

// What every screen works with: the store, the project's lists, and the platform pieces a
// screen may need (file dialogs, the file manager and the browser). QML reaches it as the
// singleton ScreenServices, the one registered for its engine (`registerFor`, before the
// engine loads any QML); tests build one over their own store and fakes.
class ScreenServices final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(vl::ProjectStore* store READ store CONSTANT)
    Q_PROPERTY(vl::screens::ProjectListModel* chunks READ chunks CONSTANT)
    Q_PROPERTY(vl::screens::ProjectListModel* characters READ characters CONSTANT)
    Q_PROPERTY(vl::screens::ProjectListModel* elements READ elements CONSTANT)
    Q_PROPERTY(vl::screens::ProjectListModel* transcript READ transcript CONSTANT)

public:
    ScreenServices(ProjectStore& store, support::FilePicker& filePicker, support::Desktop& desktop,
                   ProjectLists lists = {}, QObject* parent = nullptr);

    // Hands this object to the QML of `engine` as its ScreenServices.
    void registerFor(QQmlEngine& engine);
    static ScreenServices* create(QQmlEngine* engine, QJSEngine*);

    // Null once the store is gone (at teardown); models check before acting.
    ProjectStore* store() const { return store_.data(); }
    support::FilePicker& filePicker() const { return filePicker_; }
    support::Desktop& desktop() const { return desktop_; }

    ProjectListModel* chunks() const { return lists_.chunks; }
    ProjectListModel* characters() const { return lists_.characters; }
    ProjectListModel* elements() const { return lists_.elements; }
    ProjectListModel* transcript() const { return lists_.transcript; }

private:
    QPointer<ProjectStore> store_;
    support::FilePicker& filePicker_;
    support::Desktop& desktop_;
    ProjectLists lists_;
};

} // namespace vl::screens
