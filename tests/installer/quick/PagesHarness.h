#pragma once

#include "InstallerTestSupport.h"

#include "fakes/FakeDesktop.h"
#include "installer/view/InstallerController.h"

#include <QObject>
#include <QtQml/qqmlregistration.h>

#include <memory>
#include <vector>

class QJSEngine;
class QQmlEngine;

namespace vl::installer::test {

// What the page tests ask C++ for: an installer of their own per test. QML reaches it as the
// singleton Harness, the one the test program registered for that engine.
class PagesHarness : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Harness)
    QML_SINGLETON

public:
    PagesHarness();
    ~PagesHarness() override;

    static void registerFor(QQmlEngine& engine, PagesHarness& harness);
    static PagesHarness* create(QQmlEngine* engine, QJSEngine*);

    // A controller over a fresh model in a sandbox of its own; with `whisper`, a Whisper
    // command line waits in the sandbox's home folder for the detection to find.
    Q_INVOKABLE vl::installer::InstallerController* newController(bool whisper);

private:
    struct Session {
        Sandbox box;
        vl::test::FakeDesktop desktop;
        vl::test::FakeFilePicker picker;
        std::unique_ptr<InstallerModel> model;
        std::unique_ptr<InstallerController> controller;
    };
    std::vector<std::unique_ptr<Session>> sessions_;
};

} // namespace vl::installer::test
