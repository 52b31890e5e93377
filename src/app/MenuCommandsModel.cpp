#include "app/MenuCommandsModel.h"

#include <QVariantMap>

namespace vl::app {

std::vector<OpenProjectEntry> openProjectEntries(const std::vector<ProjectRef>& savedProjects, bool read)
{
    if (savedProjects.empty() && !read)
        return {{"Reading saved projects\u2026", std::nullopt}};
    if (savedProjects.empty())
        return {{"No saved projects", std::nullopt}};
    std::vector<OpenProjectEntry> entries;
    entries.reserve(savedProjects.size());
    for (const ProjectRef& ref : savedProjects) {
        if (ref.damage) {
            // Still offered: choosing it says why it cannot open.
            entries.push_back({"Damaged project " + ref.id.text().substr(0, 8) + " \u2014 " + *ref.damage, ref.id});
            continue;
        }
        entries.push_back({ref.title + " \u2014 " + std::to_string(ref.framed) + "/" + std::to_string(ref.total) +
                               " frames",
                           ref.id});
    }
    return entries;
}

MenuCommandsModel::MenuCommandsModel(ProjectStore* store, QObject* parent) : QObject(parent), store_(store)
{
    connect(store, &ProjectStore::savedProjectsChanged, this, &MenuCommandsModel::openProjectEntriesChanged);
}

QVariantList MenuCommandsModel::openProjectEntryList() const
{
    QVariantList list;
    for (const OpenProjectEntry& entry : openProjectEntries(store_->savedProjects(), store_->savedProjectsRead())) {
        QVariantMap item;
        item.insert(QStringLiteral("text"), QString::fromStdString(entry.text));
        item.insert(QStringLiteral("projectID"),
                    entry.projectID ? QString::fromStdString(entry.projectID->text()) : QString());
        list.push_back(item);
    }
    return list;
}

void MenuCommandsModel::newProject()
{
    store_->newProject();
}

void MenuCommandsModel::openProject(const QString& projectID)
{
    if (auto id = Uuid::parse(projectID.toStdString()))
        store_->openProject(*id);
}

void MenuCommandsModel::refreshList()
{
    store_->refreshSavedProjects();
}

void MenuCommandsModel::resetProject()
{
    store_->resetProject();
}

void MenuCommandsModel::importPlanFromClipboard()
{
    store_->importPlanFromClipboard();
}

void MenuCommandsModel::importPlanFromFile(const QUrl& file)
{
    if (file.isLocalFile())
        store_->importPlanFromFile(file.toLocalFile().toStdString());
}

} // namespace vl::app
