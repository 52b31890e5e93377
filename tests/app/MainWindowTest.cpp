#include "AppFixtures.h"
#include "screens/ScreenFixtures.h"

#include "app/AppShell.h"
#include "app/DialogTour.h"
#include "app/ProgramContext.h"
#include "design/Palette.h"
#include "fakes/WindowHarness.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include "fakes/SmokeEnvironment.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <unistd.h>

#include <map>

Q_IMPORT_QML_PLUGIN(Verseloom_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_SupportPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_ScreensPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_AppPlugin)

using namespace vl;
using namespace vl::app;
using vl::testing::HeldOperation;
using vl::testing::projectWithChunks;
using vl::testing::StoreHarness;
using vl::testing::element;
using vl::testing::frameAt;
using vl::testing::plannedProject;

namespace {

// The main window exactly as the program loads it, over a store of the test's own.
struct WindowHarness : vl::test::WindowHarness {
    explicit WindowHarness(std::optional<Project> project)
    {
        h.settings.setInteger("sharewareOnboardingVersion", 2); // past the first-run guide
        store = h.make(std::move(project));
        shell = std::make_unique<AppShell>(*store);
        load([this](QQmlApplicationEngine& e) { return shell->load(e); });
    }
    ~WindowHarness() { unload(); }

    StoreHarness h;
    std::unique_ptr<ProjectStore> store;
    std::unique_ptr<AppShell> shell;
};

} // namespace

TEST(MainWindow, OpensAtItsSizeWithTheSampleProjectAndNoWarnings)
{
    WindowHarness w(std::nullopt);
    ASSERT_NE(w.window, nullptr);
    EXPECT_TRUE(w.exposed);
    w.settle("sample");
    EXPECT_EQ(w.window->width(), 1200);
    EXPECT_EQ(w.window->height(), 800);
    EXPECT_EQ(w.window->minimumWidth(), 1040);
    EXPECT_EQ(w.window->minimumHeight(), 680);
    EXPECT_EQ(w.item("projectTitle")->property("text").toString(), "Neon Overpass");
    EXPECT_EQ(w.item("frameCount")->property("text").toString(), "0/0");
    EXPECT_EQ(w.item("stateChip")->property("text").toString(), "In progress");
    EXPECT_FALSE(w.item("statusCapsule")->isVisible());
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}

TEST(MainWindow, TappingARowSwitchesTheStageAndTheScreen)
{
    WindowHarness w(projectWithChunks(12, 6));
    ASSERT_NE(w.window, nullptr);
    w.store->setSelectedStage(PipelineStage::frames);
    w.settle("half-framed");
    EXPECT_EQ(w.item("frameCount")->property("text").toString(), "6/12");
    EXPECT_DOUBLE_EQ(w.item("frameMeter")->property("value").toDouble(), 0.5);

    QQuickItem* motionRow = w.item("stageRow6");
    ASSERT_NE(motionRow, nullptr);
    EXPECT_EQ(WindowHarness::findItem(motionRow, "stageLabel")->property("text").toString(), "Motion");
    EXPECT_EQ(WindowHarness::findItem(motionRow, "statusDot")->property("color").value<QColor>(),
              design::Palette::amber());
    EXPECT_TRUE(w.item("stageRow4")->property("isSelected").toBool());
    EXPECT_FALSE(motionRow->property("isSelected").toBool());

    w.store->setLastError("The planner failed.");
    w.tap(motionRow);
    EXPECT_EQ(w.store->selectedStage(), PipelineStage::motion);
    EXPECT_FALSE(w.store->lastError().has_value());
    w.settle();
    bool showsMotion = false;
    for (auto* text : w.window->findChildren<QQuickItem*>("title"))
        showsMotion = showsMotion || text->property("text").toString() == "Parallax motion.";
    EXPECT_TRUE(showsMotion);
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}

TEST(MainWindow, CapsuleShowsRunningThenTheErrorUntilDismissed)
{
    WindowHarness w(projectWithChunks(12, 6));
    ASSERT_NE(w.window, nullptr);
    QQuickItem* capsule = w.item("statusCapsule");
    QQuickItem* dismiss = w.item("dismissButton");
    ASSERT_NE(capsule, nullptr);
    ASSERT_NE(dismiss, nullptr);

    HeldOperation op(*w.store, "Generating frames (3/6)");
    w.store->setLastError("Couldn't render 1 element (boat). Tap \u201cRender elements\u201d to retry.");
    w.settle("running");
    EXPECT_TRUE(capsule->isVisible());
    EXPECT_EQ(w.item("capsuleText")->property("text").toString(), "Generating frames (3/6)");
    EXPECT_FALSE(dismiss->isVisible());

    op.release();
    ASSERT_TRUE(StoreHarness::waitForIdle(*w.store));
    w.settle("error");
    EXPECT_TRUE(dismiss->isVisible());
    EXPECT_TRUE(w.item("capsuleText")->property("text").toString().startsWith("Couldn't render"));

    w.tap(dismiss);
    EXPECT_FALSE(w.store->lastError().has_value());
    w.settle();
    EXPECT_FALSE(capsule->isVisible());
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}

TEST(MainWindow, MenusCarryTheSavedProjectsAndTheirShortcuts)
{
    WindowHarness w(projectWithChunks(4, 1, "Kept"));
    ASSERT_NE(w.window, nullptr);
    QObject* openMenu = w.object("openProjectMenu");
    ASSERT_NE(openMenu, nullptr);
    // "No saved projects", the divider and "Refresh List".
    EXPECT_EQ(openMenu->property("count").toInt(), 3);

    // The saved projects are read on a worker: their rows arrive in the menu once read.
    const auto rowShown = [openMenu](const char* text) {
        for (auto* item : openMenu->findChildren<QObject*>())
            if (item->property("text").toString() == QString::fromUtf8(text))
                return true;
        return false;
    };
    const Uuid keptID = w.store->project().id;
    w.window->requestActivate();
    QTest::keyClick(w.window, Qt::Key_N, Qt::ControlModifier);
    EXPECT_NE(w.store->project().id, keptID) << "Ctrl+N starts a new project";
    // The project left behind is listed above the divider.
    EXPECT_TRUE(QTest::qWaitFor([&] { return rowShown("Kept \u2014 1/4 frames"); }, 30000));
    EXPECT_EQ(openMenu->property("count").toInt(), 3);

    // A project saved meanwhile shows after Refresh List.
    ProjectLibrary(w.h.projectsRoot(), w.h.settings).save(projectWithChunks(2, 2, "Restored"));
    QObject* refreshRow = nullptr;
    for (auto* item : openMenu->findChildren<QObject*>())
        if (item->property("text").toString() == "Refresh List" && item->metaObject()->indexOfSignal("triggered()") >= 0)
            refreshRow = item;
    ASSERT_NE(refreshRow, nullptr);
    QMetaObject::invokeMethod(refreshRow, "triggered");
    EXPECT_TRUE(QTest::qWaitFor([&] { return rowShown("Restored \u2014 2/2 frames"); }, 30000));
    EXPECT_EQ(openMenu->property("count").toInt(), 4);

    if (!qEnvironmentVariableIsEmpty("WINDOW_SHOTS")) {
        QMetaObject::invokeMethod(w.object("fileMenu"), "open");
        QMetaObject::invokeMethod(openMenu, "open");
        w.settle("menu");
        QMetaObject::invokeMethod(openMenu, "close");
        QMetaObject::invokeMethod(w.object("fileMenu"), "close");
    }

    QTest::keyClick(w.window, Qt::Key_O, Qt::ControlModifier);
    EXPECT_TRUE(openMenu->property("visible").toBool()) << "Ctrl+O shows the Open Project submenu";
    QMetaObject::invokeMethod(openMenu, "close");
    QMetaObject::invokeMethod(w.object("fileMenu"), "close");
    w.settle();

    w.store->editProject([](Project& p) { p.title = "Changed"; });
    QTest::keyClick(w.window, Qt::Key_R, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(w.store->project().title, "Untitled") << "Ctrl+Shift+R resets the project";
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}

TEST(Program, StartsOffscreenShowsItsWindowAndQuits)
{
    files::TemporaryDirectory home("app-smoke");
    QProcessEnvironment env = vl::test::smokeEnvironment(home.path());

    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(VL_APP_BINARY), {});
    ASSERT_TRUE(program.waitForStarted(10000));
    ASSERT_TRUE(program.waitForFinished(120000)) << "the program did not quit after its first frame";
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << errors.toStdString();
    EXPECT_FALSE(errors.contains(".qml:")) << errors.toStdString();
    // On its way out it opened and cancelled every dialog the menus open: a QML module
    // a dialog loads only when it first opens must be installed.
    EXPECT_FALSE(errors.contains("is not installed")) << errors.toStdString();
    EXPECT_TRUE(errors.contains("Smoke run: opened and cancelled planFileDialog")) << errors.toStdString();
    // And the window a start shows instead when it cannot go on.
    EXPECT_TRUE(errors.contains("Smoke run: opened and cancelled startProblemWindow")) << errors.toStdString();

    // It started on the sample project and saved it on the way out.
    const auto projects = home.path() / "data" / "Verseloom" / "projects";
    ASSERT_TRUE(std::filesystem::exists(projects));
    int saved = 0;
    for (const auto& entry : std::filesystem::directory_iterator(projects))
        saved += std::filesystem::exists(entry.path() / "project.json") ? 1 : 0;
    EXPECT_EQ(saved, 1);
}

namespace {

// The program as a user starts it, over user folders under `home`. `staying`: it runs
// until the test ends it; otherwise it quits after its smoke run.
struct ProgramRun {
    ProgramRun(const std::filesystem::path& home, bool staying, const QStringList& arguments = {})
    {
        QProcessEnvironment env = vl::test::smokeEnvironment(home);
        if (staying)
            env.remove("VL_QUIT_AFTER_FIRST_FRAME");
        process.setProcessEnvironment(env);
        process.start(QStringLiteral(VL_APP_BINARY), arguments);
    }

    // Reads its standard error until that holds `text`.
    bool waitForError(const char* text)
    {
        return vl::testing::waitUntil(
            [&] {
                errors += QString::fromLocal8Bit(process.readAllStandardError());
                return errors.contains(QLatin1String(text));
            },
            120000);
    }
    // Waits for it to end, with all it wrote to standard error.
    bool finish()
    {
        const bool ended = process.waitForFinished(180000);
        errors += QString::fromLocal8Bit(process.readAllStandardError());
        return ended;
    }
    void signal(int number) { ::kill(static_cast<pid_t>(process.processId()), number); }

    QProcess process;
    QString errors;
};

// Until the running copy under `home` listens for later starts.
bool listening(const std::filesystem::path& home)
{
    return vl::testing::waitUntil([&] { return std::filesystem::exists(home / "runtime" / "verseloom.socket"); },
                                  120000);
}

} // namespace

TEST(Program, ASecondStartHandsOverToTheRunningOneAndACrashedOneIsTakenOver)
{
    files::TemporaryDirectory home("app-instance");
    ProgramRun first(home.path(), true);
    ASSERT_TRUE(listening(home.path())) << "the first start never listened";

    // A second start with the same user folders: it hands its arguments over and goes.
    ProgramRun second(home.path(), true, {QStringLiteral("--from-the-desktop")});
    ASSERT_TRUE(second.finish()) << "the second start stayed";
    EXPECT_EQ(second.process.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.process.exitCode(), 0) << second.errors.toStdString();
    EXPECT_TRUE(first.waitForError("[Instance] a second start came here (1 arguments)")) << first.errors.toStdString();
    EXPECT_EQ(first.process.state(), QProcess::Running);

    // The first one crashes, leaving its lock and socket behind: the next start runs.
    first.process.kill();
    ASSERT_TRUE(first.finish());
    ASSERT_TRUE(std::filesystem::exists(home.path() / "runtime" / "verseloom.socket"));
    ProgramRun third(home.path(), false);
    ASSERT_TRUE(third.finish());
    EXPECT_EQ(third.process.exitCode(), 0) << third.errors.toStdString();
    EXPECT_TRUE(third.errors.contains("Smoke run: opened and cancelled")) << "it ran its window: "
                                                                          << third.errors.toStdString();
}

// A start that meets a running copy which answers no more (stopped here) waits for it,
// and once that copy is gone it runs itself instead of giving up.
TEST(Program, ASecondStartWaitsForACopyThatAnswersNoMoreAndRunsOnceItIsGone)
{
    files::TemporaryDirectory home("app-instance-wait");
    ProgramRun first(home.path(), true);
    ASSERT_TRUE(listening(home.path())) << "the first start never listened";
    first.signal(SIGSTOP); // holds the lock, answers nothing

    ProgramRun second(home.path(), false);
    ASSERT_TRUE(second.waitForError("[Instance] another copy holds the lock")) << second.errors.toStdString();
    EXPECT_EQ(second.process.state(), QProcess::Running) << "it waits";

    first.process.kill();
    ASSERT_TRUE(first.finish());
    ASSERT_TRUE(second.finish());
    EXPECT_EQ(second.process.exitCode(), 0) << second.errors.toStdString();
    EXPECT_TRUE(second.errors.contains("Smoke run: opened and cancelled")) << "it ran its window: "
                                                                           << second.errors.toStdString();
}

// SIGTERM (kill, the system shutting down), SIGHUP (a closed terminal) and SIGINT (Ctrl+C) end the run
// as quitting does: edits the autosave has not written yet are saved first.
TEST(Program, EndingSignalsSaveTheOpenProjectBeforeTheEnd)
{
    for (const int signal : {SIGTERM, SIGHUP, SIGINT}) {
        SCOPED_TRACE(strsignal(signal));
        files::TemporaryDirectory home("app-session-end");
        const auto projects = home.path() / "projects";
        QProcess probe;
        probe.setProcessEnvironment(vl::test::smokeEnvironment(home.path()));
        probe.start(QStringLiteral(VL_SESSION_END_PROBE), {QString::fromStdString(projects.string())});
        ASSERT_TRUE(probe.waitForStarted(60000));
        QString out;
        ASSERT_TRUE(vl::testing::waitUntil(
            [&] {
                out += QString::fromLocal8Bit(probe.readAllStandardOutput());
                return out.contains('\n');
            },
            120000))
            << "the probe never got ready";
        ASSERT_TRUE(out.startsWith("ready ")) << out.toStdString();
        const auto id = Uuid::parse(out.mid(6).trimmed().toStdString());
        ASSERT_TRUE(id);

        ::kill(static_cast<pid_t>(probe.processId()), signal);
        ASSERT_TRUE(probe.waitForFinished(60000));
        const std::string errors = probe.readAllStandardError().toStdString();
        EXPECT_EQ(probe.exitStatus(), QProcess::NormalExit) << "ended by the signal itself: " << errors;
        EXPECT_EQ(probe.exitCode(), 0) << errors;
        MemorySettings settings;
        const auto saved = ProjectLibrary(projects, settings).loadProject(*id);
        ASSERT_TRUE(saved) << "the edit was lost: " << errors;
        EXPECT_EQ(saved->title, "Edited just before the end");
    }
}

// The program itself takes SIGTERM as a request to quit, also while the first-run guide
// is up (a sheet that does not let itself be closed).
TEST(Program, SigtermQuitsTheProgramTheWayQuittingDoes)
{
    files::TemporaryDirectory home("app-sigterm");
    ProgramRun program(home.path(), true);
    // Its first autosave lands once the store and its session handling are set up.
    const auto projects = home.path() / "data" / "Verseloom" / "projects";
    const auto saved = [&] {
        std::error_code ignored;
        for (const auto& entry : std::filesystem::directory_iterator(projects, ignored))
            if (std::filesystem::exists(entry.path() / "project.json"))
                return true;
        return false;
    };
    ASSERT_TRUE(vl::testing::waitUntil(saved, 120000)) << "the program never saved its project";

    program.signal(SIGTERM);
    ASSERT_TRUE(program.finish());
    EXPECT_EQ(program.process.exitStatus(), QProcess::NormalExit) << program.errors.toStdString();
    EXPECT_EQ(program.process.exitCode(), 0) << program.errors.toStdString();
    EXPECT_TRUE(program.errors.contains("[Session] SIGTERM arrived")) << program.errors.toStdString();
}

TEST(MainWindow, DeclaresTheDialogsItsMenusOpen)
{
    WindowHarness w(std::nullopt);
    ASSERT_NE(w.window, nullptr);
    QStringList names;
    for (QObject* dialog : declaredDialogs(w.window))
        names << dialog->objectName();
    EXPECT_TRUE(names.contains("planFileDialog")) << names.join(", ").toStdString();
}

TEST(MainWindow, ClosingWithEditsThatCannotBeSavedKeepsTheWindowOnce)
{
    WindowHarness w(projectWithChunks(2, 0, "Unsaved"));
    ASSERT_NE(w.window, nullptr);
    w.store->flushAutosave();
    const auto file = MediaLibrary(w.store->project().id, w.h.projectsRoot()).projectFile();
    ASSERT_TRUE(std::filesystem::exists(file));
    // A folder where the document goes: no save can land, even for root.
    std::filesystem::remove(file);
    std::filesystem::create_directories(file / "in the way");
    w.store->editProject([](Project& p) { p.title = "Edited"; });

    w.window->close();
    EXPECT_TRUE(w.window->isVisible()) << "the window stays while the edit is unsaved";
    ASSERT_TRUE(w.store->lastError());
    EXPECT_TRUE(w.store->lastError()->starts_with("Couldn't save the project")) << *w.store->lastError();
    w.window->close();
    EXPECT_FALSE(w.window->isVisible()) << "closed again, it goes";
    std::filesystem::remove_all(file);
}

// Ctrl+Q saves like closing the window: an edit just made is written and the program
// quits; when it cannot be written, the window stays, the banner says why, and the
// program goes on.
TEST(MainWindow, QuitSavesLikeClosingTheWindow)
{
    for (const bool writable : {true, false}) {
        SCOPED_TRACE(writable ? "the project can be saved" : "the project cannot be saved");
        WindowHarness w(projectWithChunks(2, 0, "Before"));
        ASSERT_NE(w.window, nullptr);
        int quits = 0;
        QObject::connect(w.engine.get(), &QQmlEngine::quit, [&] { ++quits; });
        w.store->flushAutosave();
        const auto file = MediaLibrary(w.store->project().id, w.h.projectsRoot()).projectFile();
        if (!writable) {
            // A folder where the document goes: no save can land, even for root.
            std::filesystem::remove(file);
            std::filesystem::create_directories(file / "in the way");
        }
        w.store->editProject([](Project& p) { p.title = "Quit right after this"; });

        w.window->requestActivate();
        QTest::keyClick(w.window, Qt::Key_Q, Qt::ControlModifier);
        w.settle();
        EXPECT_EQ(w.window->isVisible(), !writable);
        EXPECT_EQ(quits, writable ? 1 : 0);
        if (writable) {
            const auto saved = ProjectLibrary(w.h.projectsRoot(), w.h.settings).loadProject(w.store->project().id);
            ASSERT_TRUE(saved);
            EXPECT_EQ(saved->title, "Quit right after this");
        } else {
            ASSERT_TRUE(w.store->lastError());
            EXPECT_TRUE(w.store->lastError()->starts_with("Couldn't save the project")) << *w.store->lastError();
            std::filesystem::remove_all(file);
        }
        EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
    }
}

TEST(Program, ImportPlanFromClipboardReadsTheDesktopsClipboard)
{
    files::TemporaryDirectory home("app-clipboard");
    MemorySettings settings;
    // The program's own store context, with only the places on disk and the keyring
    // moved out of the user's way.
    StoreContext context = programStoreContext(settings);
    ASSERT_NE(context.clipboard, nullptr);
    context.projectsRoot = home.path() / "projects";
    context.loadKey = [] { return std::optional<std::string>(); };
    ProjectStore store(ProjectStore::defaultNewProject(), {}, context);
    AppShell shell(store);
    QQmlApplicationEngine engine;
    QQuickWindow* window = shell.load(engine);
    ASSERT_NE(window, nullptr);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(window));

    QGuiApplication::clipboard()->setText(QStringLiteral(
        R"({"frames": [{"chunkNumber": 1, "lyricExcerpt": "one"}, {"chunkNumber": 2}], "motif": "kites"})"));
    window->requestActivate();
    QTest::keyClick(window, Qt::Key_I, Qt::ControlModifier | Qt::ShiftModifier);
    // The plan is read and checked on a worker, then merged.
    ASSERT_TRUE(StoreHarness::waitForIdle(store));
    EXPECT_FALSE(store.lastError()) << *store.lastError();
    EXPECT_EQ(store.project().chunks.size(), 2u);
    QGuiApplication::clipboard()->clear();
}

TEST(MainWindow, MenuRowsShowTheirKeysAndDisabledRowsLookDisabled)
{
    WindowHarness w(projectWithChunks(4, 1, "Kept"));
    ASSERT_NE(w.window, nullptr);
    QObject* fileMenu = w.object("fileMenu");
    QObject* importMenu = w.object("importMenu");
    QObject* openMenu = w.object("openProjectMenu");
    ASSERT_TRUE(fileMenu && importMenu && openMenu);

    // Each row of a menu as the user reads it: its text and the keys shown beside it.
    const auto rows = [](QObject* menu) {
        std::vector<std::pair<std::string, std::string>> shown;
        const int count = menu->property("count").toInt();
        for (int i = 0; i < count; ++i) {
            QQuickItem* row = nullptr;
            QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, row), Q_ARG(int, i));
            if (!row || row->inherits("QQuickMenuSeparator"))
                continue;
            QQuickItem* text = WindowHarness::findItem(row, "menuText");
            EXPECT_FALSE(text && text->property("truncated").toBool())
                << row->property("text").toString().toStdString() << " is cut short";
            QQuickItem* keys = WindowHarness::findItem(row, "menuKeys");
            const bool keysShown = keys && keys->isVisible() && !keys->property("text").toString().isEmpty();
            shown.emplace_back(row->property("text").toString().toStdString(),
                               keysShown ? keys->property("text").toString().toStdString() : "");
        }
        return shown;
    };
    using Rows = std::vector<std::pair<std::string, std::string>>;
    QMetaObject::invokeMethod(fileMenu, "open");
    w.settle();
    EXPECT_EQ(rows(fileMenu),
              (Rows{{"New Project", "Ctrl+N"},
                    {"Open Project", "Ctrl+O"},
                    {"Reset Project…", "Ctrl+Shift+R"},
                    {"Settings…", "Ctrl+,"},
                    {"Quit", "Ctrl+Q"}}));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.store->savedProjectsRead(); }, 30000));
    QMetaObject::invokeMethod(openMenu, "open");
    w.settle("menu-open-project");
    QQuickItem* inert = nullptr;
    QMetaObject::invokeMethod(openMenu, "itemAt", Q_RETURN_ARG(QQuickItem*, inert), Q_ARG(int, 0));
    ASSERT_NE(inert, nullptr);
    EXPECT_EQ(inert->property("text").toString(), "No saved projects");
    EXPECT_FALSE(inert->isEnabled());
    EXPECT_LT(WindowHarness::findItem(inert, "menuText")->parentItem()->opacity(), 0.6) << "drawn faded";
    QQuickItem* refresh = nullptr;
    QMetaObject::invokeMethod(openMenu, "itemAt", Q_RETURN_ARG(QQuickItem*, refresh), Q_ARG(int, 2));
    ASSERT_NE(refresh, nullptr);
    EXPECT_DOUBLE_EQ(WindowHarness::findItem(refresh, "menuText")->parentItem()->opacity(), 1.0);
    QMetaObject::invokeMethod(openMenu, "close");
    QMetaObject::invokeMethod(fileMenu, "close");

    QMetaObject::invokeMethod(importMenu, "open");
    w.settle("menu-import");
    EXPECT_EQ(rows(importMenu),
              (Rows{{"Import Plan from Clipboard", "Ctrl+Shift+I"}, {"Import Plan from File…", ""}}));
    QMetaObject::invokeMethod(importMenu, "close");
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}

TEST(MainWindow, TheScreensFromIntakeToStoryboardLoadWithoutWarnings)
{
    struct Shot {
        PipelineStage stage;
        const char* name;
        const char* root; // the screen's object name
    };
    const Shot shots[] = {
        {PipelineStage::intake, "intake", "intakeView"},
        {PipelineStage::timing, "timing", "timingReviewView"},
        {PipelineStage::characters, "characters", "characterManagerView"},
        {PipelineStage::storyboard, "storyboard", "storyboardView"},
        {PipelineStage::style, "style", "styleGuidanceView"},
    };
    // Two elements rendered, their pictures on the loopback vendor.
    const auto planned = [](const fakes::FakeVendor& vendor) {
        Project p = plannedProject(12,
                                   {element("boat", "prop", vendor.defaultImageURL()),
                                    element("pier", "place", vendor.defaultImageURL()), element("lamp"),
                                    element("harbour", "place"), element("gull", "animal")},
                                   {"#ff3366", "#00ffaa", "#3366ff", "#ffaa00", "#aa00ff", "#00aaff", "#ff00aa"});
        p.chunks[0].frame = frameAt("/frames/0.png");
        return p;
    };
    for (const bool sample : {true, false}) {
        WindowHarness w(std::nullopt);
        ASSERT_NE(w.window, nullptr);
        if (!sample)
            w.store->setProject(planned(w.h.vendor));
        for (const Shot& shot : shots) {
            SCOPED_TRACE(shot.name);
            w.store->setSelectedStage(shot.stage);
            const std::string name = std::string(sample ? "sample-" : "planned-") + shot.name;
            w.settle(name.c_str());
            EXPECT_NE(w.item(shot.root), nullptr);
        }
        EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
    }
}

TEST(MainWindow, StageScreensAreBuiltAheadOnceAndKept)
{
    WindowHarness w(projectWithChunks(6, 3));
    ASSERT_NE(w.window, nullptr);
    const auto screenSlots = w.window->findChildren<QQuickItem*>("screenSlot");
    const int placeholder = static_cast<int>(WorkspaceModel::Screen::PlaceholderScreen);
    const auto builtScreen = [&](PipelineStage stage) -> QObject* {
        const int screen = static_cast<int>(WorkspaceModel::screenFor(stage));
        for (QQuickItem* slot : screenSlots)
            if (slot->property("screen").toInt() == screen)
                return slot->property("item").value<QObject*>();
        return nullptr;
    };
    ASSERT_EQ(screenSlots.size(), static_cast<qsizetype>(kAllPipelineStages.size()) + 1);
    // Once the window is up, every stage's screen is built before it is chosen.
    ASSERT_TRUE(QTest::qWaitFor([&] {
        for (PipelineStage stage : kAllPipelineStages)
            if (!builtScreen(stage))
                return false;
        return true;
    }, 120000)) << "the screens were not built ahead";

    std::map<PipelineStage, QObject*> first;
    for (PipelineStage stage : kAllPipelineStages)
        first[stage] = builtScreen(stage);
    for (int round = 0; round < 2; ++round)
        for (PipelineStage stage : kAllPipelineStages) {
            SCOPED_TRACE(std::string(title(stage)));
            w.store->setSelectedStage(stage);
            // Shown at once, and the very screen built before: not made again.
            QObject* screen = builtScreen(stage);
            EXPECT_EQ(screen, first[stage]);
            ASSERT_NE(screen, nullptr);
            EXPECT_TRUE(qobject_cast<QQuickItem*>(screen)->isVisible());
            int shown = 0;
            for (QQuickItem* slot : screenSlots)
                shown += slot->isVisible() ? 1 : 0;
            EXPECT_EQ(shown, 1) << "only the chosen stage's screen is shown";
        }
    for (QQuickItem* slot : screenSlots) {
        if (slot->property("screen").toInt() == placeholder) {
            EXPECT_EQ(slot->property("item").value<QObject*>(), nullptr) << "no stage needs the placeholder";
        }
    }
    w.settle();
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}
