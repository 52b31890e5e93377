#include "PagesHarness.h"

#include <QHash>
#include <QQmlEngine>

namespace vl::installer::test {

namespace {

QHash<QQmlEngine*, PagesHarness*>& registered()
{
    static QHash<QQmlEngine*, PagesHarness*> harnesses;
    return harnesses;
}

} // namespace

PagesHarness::PagesHarness() = default;
PagesHarness::~PagesHarness() = default;

void PagesHarness::registerFor(QQmlEngine& engine, PagesHarness& harness)
{
    QQmlEngine* key = &engine;
    registered().insert(key, &harness);
    QObject::connect(key, &QObject::destroyed, [key] { registered().remove(key); });
}

PagesHarness* PagesHarness::create(QQmlEngine* engine, QJSEngine*)
{
    PagesHarness* harness = registered().value(engine);
    if (harness)
        QJSEngine::setObjectOwnership(harness, QJSEngine::CppOwnership);
    else
        qWarning("No page test harness was registered for this engine.");
    return harness;
}

InstallerController* PagesHarness::newController(bool whisper)
{
    auto session = std::make_unique<Session>();
    session->box.makePayload();
    if (whisper)
        writeScript(session->box.home / ".local/bin/whisper", "#!/bin/sh\n");
    session->model = std::make_unique<InstallerModel>(session->box.context);
    session->controller = std::make_unique<InstallerController>(*session->model, session->desktop, [] {});
    session->controller->setFilePicker(&session->picker);
    InstallerController* controller = session->controller.get();
    QQmlEngine::setObjectOwnership(controller, QQmlEngine::CppOwnership);
    QQmlEngine::setObjectOwnership(session->model.get(), QQmlEngine::CppOwnership);
    sessions_.push_back(std::move(session));
    return controller;
}

} // namespace vl::installer::test
