#include "ModelHarness.h"

#include "fakes/FakeDesktop.h"
#include "fakes/WindowHarness.h"
#include "installer/AppCopy.h"
#include "installer/view/InstallerShell.h"

#include <QFont>
#include <QGuiApplication>
#include <QProcess>
#include <QProcessEnvironment>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>
#include <QTest>
#include <QtQml/qqmlextensionplugin.h>

#include "fakes/SmokeEnvironment.h"

#include <gtest/gtest.h>

Q_IMPORT_QML_PLUGIN(Verseloom_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_InstallerPlugin)

namespace vl::installer {
namespace {

namespace fs = std::filesystem;
using Step = InstallerModel::Step;

// The installer window as the program loads it, over a model in the sandbox. With
// WINDOW_SHOTS set, settle() leaves pictures there.
struct WindowHarness : test::ModelHarness, vl::test::WindowHarness {
    vl::test::FakeDesktop desktop;
    vl::test::FakeFilePicker picker;
    int quits = 0;
    std::unique_ptr<InstallerShell> shell;

    void open()
    {
        shell = std::make_unique<InstallerShell>(*model, desktop, [this] { ++quits; });
        load([this](QQmlApplicationEngine& e) {
            QQuickWindow* loaded = shell->load(e);
            shell->setFilePicker(&picker);
            return loaded;
        });
    }

    ~WindowHarness()
    {
        unload(); // before the shell and the model it binds to
        shell.reset();
    }

    void settle(const QString& shotName = {}) const
    {
        vl::test::WindowHarness::settle(window, shotName.isEmpty() ? shotName : "installer-" + shotName);
    }

    std::vector<std::string> footer() const
    {
        std::vector<std::string> names;
        for (const char* name : {"backButton", "continueButton", "installButton", "tryAgainButton", "quitButton",
                                 "revealButton", "openAppButton"})
            if (shown(name))
                names.push_back(name);
        return names;
    }
};

TEST(InstallerWindow, walksEveryPageToAFinishedInstall)
{
    WindowHarness w;
    w.model->setFirstName({});
    w.model->setEmail({});
    w.open();
    ASSERT_NE(w.window, nullptr);
    EXPECT_TRUE(w.exposed);
    EXPECT_EQ(w.window->width(), 1000);
    EXPECT_EQ(w.window->height(), 640);
    EXPECT_EQ(w.window->minimumSize(), w.window->maximumSize()) << "the window cannot be resized";
    EXPECT_EQ(w.window->title(), "Install Verseloom");

    const char* shots[] = {"01-welcome", "02-license", "03-terms", "04-privacy", "05-location", "06-profile",
                           "07-save-folder", "08-whisper", "09-parallax"};
    for (int page = 0; page <= static_cast<int>(Step::parallax); ++page) {
        ASSERT_EQ(static_cast<int>(w.model->step()), page);
        EXPECT_EQ(w.item("pageTitle")->property("text").toString(), pageTitle(static_cast<Step>(page)));
        switch (static_cast<Step>(page)) {
        case Step::license: w.model->setAcceptedLicense(true); break;
        case Step::terms: w.model->setAcceptedTerms(true); break;
        case Step::privacy: w.model->setAcceptedPrivacy(true); break;
        case Step::installLocation:
            EXPECT_EQ(w.item("destinationText")->property("text").toString().toStdString(),
                      (w.box.destination / "verseloom").string())
                << "the folder the program itself lands in";
            break;
        case Step::profile:
            w.model->setFirstName("Ann");
            w.model->setEmail("ann@example.org");
            break;
        default: break;
        }
        w.settle(shots[page]);
        if (page < static_cast<int>(Step::parallax))
            w.shell->controller().continueOn();
    }
    EXPECT_EQ(w.footer(), (std::vector<std::string>{"backButton", "installButton"}));
    EXPECT_EQ(w.item("stepRow7")->property("isDone").toBool(), true);
    EXPECT_EQ(w.item("stepRow8")->property("isActive").toBool(), true);

    w.shell->controller().install();
    ASSERT_TRUE(w.waitForEnd());
    ASSERT_TRUE(test::waitUntil([&] { return !w.model->whisperSummary().isEmpty(); }));
    w.settle("11-complete");
    EXPECT_EQ(w.model->step(), Step::complete);
    EXPECT_EQ(w.footer(), (std::vector<std::string>{"quitButton", "revealButton", "openAppButton"}));
    EXPECT_EQ(w.item("installedTo")->property("text").toString(),
              "Installed to " + QString::fromStdString(w.box.destination.string()));
    EXPECT_TRUE(w.item("whisperSummary")->property("text").toString().startsWith("Transcription uses On-device"));
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}

TEST(InstallerWindow, showsARunInProgressAndAStoppedRun)
{
    WindowHarness w;
    w.box.context.canWrite = [](const fs::path&) { return false; };
    w.box.context.pkexecProgram = w.box.pkexecThatExits(126);
    w.model->pickWhisperChoice(InstallerModel::WhisperChoice::install);
    w.server.setSilent(true); // the profile step waits
    w.open();
    ASSERT_NE(w.window, nullptr);
    while (w.model->step() != Step::parallax)
        w.model->advance();
    w.shell->controller().install();
    ASSERT_TRUE(test::waitUntil([&] { return w.server.requests().size() == 1; }));
    w.settle("10-installing");
    EXPECT_TRUE(w.footer().empty()) << "no button while the run is under way";
    EXPECT_TRUE(w.shown("componentCard5"));
    EXPECT_TRUE(w.findItem(w.item("componentCard1"), "spinner")->isVisible());
    EXPECT_TRUE(w.findItem(w.item("componentCard5"), "optionalChip")->isVisible());
    EXPECT_FALSE(w.findItem(w.item("componentCard0"), "optionalChip")->isVisible());
    EXPECT_EQ(w.item("statusLine")->property("text").toString(), "Saving your update and export preferences\u2026");
    EXPECT_FALSE(w.shown("failureText"));
    for (int row = 0; row < 9; ++row)
        EXPECT_TRUE(w.item(("stepRow" + std::to_string(row)).c_str())->property("isDone").toBool());
    EXPECT_TRUE(w.item("stepRow9")->property("isActive").toBool());
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}

TEST(InstallerWindow, aDismissedPromptShowsItsFailureWithBackAndTryAgain)
{
    WindowHarness w;
    w.box.context.canWrite = [](const fs::path&) { return false; };
    w.box.context.pkexecProgram = w.box.pkexecThatExits(126);
    w.open();
    ASSERT_NE(w.window, nullptr);
    while (w.model->step() != Step::parallax)
        w.model->advance();
    w.shell->controller().install();
    ASSERT_TRUE(w.waitForEnd());
    w.settle("10-stopped");
    EXPECT_EQ(w.footer(), (std::vector<std::string>{"backButton", "tryAgainButton"}));
    EXPECT_TRUE(w.shown("failureText"));
    EXPECT_EQ(w.item("failureText")->property("text").toString(), QString::fromUtf8(kCancelledMessage));
    EXPECT_EQ(w.item("statusLine")->property("text").toString(), "Installation stopped.");
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}

// The pixel size a Text item's font is drawn at here (a point size is turned into pixels at
// the screen's logical resolution, in whole dots per inch).
double drawnPixelSize(QQuickItem* text)
{
    const QFont font = text->property("font").value<QFont>();
    if (font.pixelSize() > 0)
        return font.pixelSize();
    return font.pointSizeF() * qRound(QGuiApplication::primaryScreen()->logicalDotsPerInchY()) / 72.0;
}

TEST(InstallerWindow, theSidebarChipsSitInTwoRowsAndTheSmallTextsAreTwelveAndAHalf)
{
    WindowHarness w;
    w.open();
    ASSERT_NE(w.window, nullptr);
    w.model->advance(); // the licence page
    w.settle("02-license-sidebar");

    QQuickItem* sidebar = w.item("sidebar");
    ASSERT_NE(sidebar, nullptr);
    std::vector<QRectF> chips;
    for (int i = 0; i < 5; ++i) {
        QQuickItem* chip = w.item(("capabilityChip" + std::to_string(i)).c_str());
        ASSERT_NE(chip, nullptr) << i;
        chips.push_back(chip->mapRectToItem(sidebar, QRectF(0, 0, chip->width(), chip->height())));
        EXPECT_GE(chips.back().left(), 0) << i << ": inside the sidebar";
        EXPECT_LE(chips.back().right(), sidebar->width()) << i << ": inside the sidebar";
    }
    // Three in the first row, two in the second, left to right, each row on one line.
    EXPECT_EQ(chips[1].center().y(), chips[0].center().y());
    EXPECT_EQ(chips[2].center().y(), chips[0].center().y());
    EXPECT_EQ(chips[4].center().y(), chips[3].center().y());
    for (int i : {0, 1, 2})
        EXPECT_GT(chips[3].top(), chips[i].bottom()) << i;
    EXPECT_LT(chips[0].right(), chips[1].left());
    EXPECT_LT(chips[1].right(), chips[2].left());
    EXPECT_LT(chips[3].right(), chips[4].left());
    QQuickItem* shortChip = w.item("capabilityChip1");
    EXPECT_EQ(shortChip->width(), shortChip->implicitWidth()) << "a chip with room keeps its whole word";
    // A chip short of room wraps its words rather than cutting them.
    for (int i = 0; i < 5; ++i) {
        QQuickItem* chip = w.item(("capabilityChip" + std::to_string(i)).c_str());
        QQuickItem* text = w.findItem(chip, "chipText");
        ASSERT_NE(text, nullptr) << i;
        EXPECT_FALSE(text->property("truncated").toBool()) << i << ": " << text->property("text").toString().toStdString();
        EXPECT_LE(text->property("contentHeight").toReal(), chip->height()) << i;
    }

    EXPECT_DOUBLE_EQ(drawnPixelSize(w.findItem(w.item("stepRow4"), "title")), 12.5);
    EXPECT_DOUBLE_EQ(drawnPixelSize(w.item("documentText")), 12.5);
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}

TEST(InstallerWindow, aFailedWhisperBuildShowsWhyOnItsCard)
{
    WindowHarness w;
    w.box.fakePython();
    w.box.setPipMode(test::PipMode::fail);
    w.model->pickWhisperChoice(InstallerModel::WhisperChoice::install);
    w.open();
    ASSERT_NE(w.window, nullptr);
    while (w.model->step() != Step::parallax)
        w.model->advance();
    w.shell->controller().install();
    ASSERT_TRUE(w.waitForEnd());
    ASSERT_EQ(w.states().back(), "whisper:skipped");
    // Shown on the last page the run reached before it moved on.
    w.model->goBack();
    w.settle("10-whisper-skipped");
    QQuickItem* detail = w.findItem(w.item("componentCard5"), "detail");
    QQuickItem* reason = w.findItem(w.item("componentCard5"), "reason");
    ASSERT_NE(detail, nullptr);
    ASSERT_NE(reason, nullptr);
    EXPECT_TRUE(detail->property("text").toString().startsWith("A setup command failed (exit 1): "));
    EXPECT_EQ(detail->property("lineCount").toInt(), 1) << "the command may be cut to one line";
    // The last words of the command, whole, however long the command before them was.
    EXPECT_EQ(reason->property("text").toString(),
              "Collecting openai-whisper\nERROR: Could not find a version that satisfies the requirement "
              "openai-whisper (from versions: none)\nERROR: No matching distribution found for openai-whisper");
    EXPECT_TRUE(reason->isVisible());
    EXPECT_FALSE(reason->property("truncated").toBool());
    EXPECT_GE(reason->property("lineCount").toInt(), 3);
    EXPECT_TRUE(w.warnings.isEmpty()) << w.warnings.join('\n').toStdString();
}

TEST(Program, startsOffscreenShowsItsWindowAndQuits)
{
    test::Sandbox box;
    QProcessEnvironment env = vl::test::smokeEnvironment(box.root.path());
    {
        const fs::path home = box.root.path() / "home";
        fs::create_directories(home);
        env.insert("HOME", QString::fromStdString(home.string()));
    }
    env.insert("PATH", "/nonexistent"); // the Whisper detection finds nothing of this machine's
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(VL_INSTALLER_BINARY), {});
    ASSERT_TRUE(program.waitForStarted(10000));
    ASSERT_TRUE(program.waitForFinished(120000)) << "the installer did not quit after its first frame";
    const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 0) << errors.toStdString();
    EXPECT_FALSE(errors.contains(".qml:")) << errors.toStdString();
}

TEST(Program, takesADestinationOfTheUsersOwn)
{
    test::Sandbox box;
    const struct {
        QString destination;
        int exitCode;
    } cases[] = {
        {QString::fromStdString((box.root.path() / "apps").string()), 0},
        {QStringLiteral("/"), 2},
        {QString(), 2},
        {QStringLiteral("~bob/apps"), 2},
    };
    for (const auto& c : cases) {
        QProcessEnvironment env = vl::test::smokeEnvironment(box.root.path());
        env.insert("HOME", QString::fromStdString(box.home.string()));
        env.insert("PATH", "/nonexistent");
        QProcess program;
        program.setProcessEnvironment(env);
        program.start(QStringLiteral(VL_INSTALLER_BINARY), {QStringLiteral("--destination"), c.destination});
        ASSERT_TRUE(program.waitForStarted(10000));
        ASSERT_TRUE(program.waitForFinished(120000)) << c.destination.toStdString();
        const QString errors = QString::fromLocal8Bit(program.readAllStandardError());
        EXPECT_EQ(program.exitCode(), c.exitCode) << c.destination.toStdString() << errors.toStdString();
        if (c.exitCode != 0) {
            EXPECT_TRUE(errors.contains("the location must be an absolute folder other than /") ||
                        errors.contains("--destination needs a folder") || errors.contains("\u201c~bob/apps\u201d"))
                << errors.toStdString();
        }
    }
}

} // namespace
} // namespace vl::installer
