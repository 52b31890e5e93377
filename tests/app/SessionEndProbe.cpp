// Stands in for the program's run in the session-end test: a store over the projects
// folder given as the first argument, set up to end as the program's does, with an
// edit the autosave would not write for an hour. It prints "ready <project id>" once
// a signal would be handled, and runs until it is ended.

#include "app/SessionEnd.h"
#include "model/Settings.h"
#include "pipeline/ProjectStore.h"

#include <QCoreApplication>

#include <chrono>
#include <cstdio>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc < 2)
        return 2;
    vl::MemorySettings settings;
    vl::StoreContext context;
    context.settings = &settings;
    context.projectsRoot = argv[1];
    context.autosaveDelay = std::chrono::hours(1);
    vl::ProjectStore store(vl::ProjectStore::defaultNewProject(), {}, context);
    vl::app::SessionEnd sessionEnd(store);
    store.editProject([](vl::Project& p) { p.title = "Edited just before the end"; });
    std::printf("ready %s\n", store.project().id.text().c_str());
    std::fflush(stdout);
    return QCoreApplication::exec();
}
