#pragma once

#include "pipeline/ProjectStore.h"

#include <QObject>
#include <QPointer>
#include <QUrl>
#include <QVariantList>
#include <QtQml/qqmlregistration.h>

#include <optional>
#include <string>
#include <vector>

namespace vl::app {

// One entry of File ▸ Open Project above its divider: a saved project to open, or an
// inert line (no id): "No saved projects", or "Reading saved projects…" until the
// list has been read.
struct OpenProjectEntry {
    std::string text;
    std::optional<Uuid> projectID;

    friend bool operator==(const OpenProjectEntry&, const OpenProjectEntry&) = default;
};

// The entries for a list of saved projects, in the list's order; `read` is false
// while the first list is still being read.
std::vector<OpenProjectEntry> openProjectEntries(const std::vector<ProjectRef>& savedProjects, bool read = true);

// What the File and Import menus do. Every command acts on the one store; none is
// ever disabled.
class MenuCommandsModel final : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("The application builds the menu commands.")
    // Each entry: { text, projectID } with an empty projectID for the inert line.
    Q_PROPERTY(QVariantList openProjectEntries READ openProjectEntryList NOTIFY openProjectEntriesChanged)

public:
    explicit MenuCommandsModel(ProjectStore* store, QObject* parent = nullptr);

    QVariantList openProjectEntryList() const;

    Q_INVOKABLE void newProject();
    Q_INVOKABLE void openProject(const QString& projectID);
    Q_INVOKABLE void refreshList();
    Q_INVOKABLE void resetProject();
    Q_INVOKABLE void importPlanFromClipboard();
    // The file chosen in the open dialog; a URL that is not a local file does nothing.
    Q_INVOKABLE void importPlanFromFile(const QUrl& file);

signals:
    void openProjectEntriesChanged();

private:
    QPointer<ProjectStore> store_;
};

} // namespace vl::app
