#include "ModelHarness.h"

#include "fakes/FakeDesktop.h"
#include "installer/view/InstallerController.h"

#include <QStandardPaths>

#include <gtest/gtest.h>

namespace vl::installer {
namespace {

namespace fs = std::filesystem;
using Step = InstallerModel::Step;
using Choice = InstallerModel::WhisperChoice;
using test::ModelHarness;
using test::Sandbox;

FooterButtons buttons(std::initializer_list<const char*> shown, bool continueEnabled = false)
{
    FooterButtons b;
    for (const std::string name : shown) {
        b.back |= name == "back";
        b.continueShown |= name == "continue";
        b.install |= name == "install";
        b.tryAgain |= name == "tryAgain";
        b.closing |= name == "closing";
    }
    b.continueEnabled = continueEnabled;
    return b;
}

TEST(Footer, showsTheButtonsOfEachPageAndRunState)
{
    const struct {
        const char* what;
        Step step;
        bool installing, failure, canContinue;
        FooterButtons expected;
    } cases[] = {
        {"welcome", Step::welcome, false, false, true, buttons({"continue"}, true)},
        {"licence unticked", Step::license, false, false, false, buttons({"back", "continue"}, false)},
        {"licence ticked", Step::license, false, false, true, buttons({"back", "continue"}, true)},
        {"speech page", Step::whisper, false, false, true, buttons({"back", "continue"}, true)},
        {"parallax", Step::parallax, false, false, true, buttons({"back", "install"})},
        {"running", Step::installation, true, false, false, buttons({})},
        {"stopped", Step::installation, false, true, false, buttons({"back", "tryAgain"})},
        {"installation, never run", Step::installation, false, false, false, buttons({"back"})},
        {"complete", Step::complete, false, false, true, buttons({"closing"})},
    };
    for (const auto& c : cases)
        EXPECT_EQ(footerButtons(c.step, c.installing, c.failure, c.canContinue), c.expected) << c.what;
}

struct ControllerHarness : ModelHarness {
    vl::test::FakeDesktop desktop;
    vl::test::FakeFilePicker picker;
    int quits = 0;
    std::unique_ptr<InstallerController> controller;

    ControllerHarness()
    {
        controller = std::make_unique<InstallerController>(*model, desktop, [this] { ++quits; });
        controller->setFilePicker(&picker);
    }
};

TEST(Controller, theClosingButtonsRevealOpenAndQuit)
{
    ControllerHarness h;
    std::vector<fs::path> launched;
    h.box.context.launch = [&launched](const fs::path& program) {
        launched.push_back(program);
        return false; // the start failed: the installer still ends
    };
    h.controller->revealInstalled();
    EXPECT_EQ(h.desktop.revealed, QStringList{QString::fromStdString(h.box.target().string())});
    EXPECT_EQ(h.quits, 0);
    h.controller->openAppAndQuit();
    EXPECT_EQ(launched, std::vector<fs::path>{h.box.target() / "bin/verseloom"});
    EXPECT_EQ(h.quits, 1);
    h.controller->quitInstaller();
    EXPECT_EQ(h.quits, 2);

    fs::remove_all(h.box.payloadFolder);
    h.controller->revealInstalled();
    h.controller->openAppAndQuit();
    EXPECT_EQ(h.desktop.revealed.size(), 1) << "nothing to show without a payload";
    EXPECT_EQ(h.quits, 3) << "Open App ends the installer all the same";
}

TEST(Controller, chooseFolderStartsWhereTheUserIsAndUseDefaultStoresEmpty)
{
    ControllerHarness h;
    EXPECT_EQ(h.controller->exportFolderText(), "Use the app-managed folder");

    h.picker.answers = {"/home/ann/Videos/Lyric videos", ""};
    h.controller->chooseExportFolder();
    ASSERT_TRUE(test::waitUntil([&] { return !h.model->exportDestination().isEmpty(); }));
    ASSERT_EQ(h.picker.requests.size(), 1u);
    EXPECT_EQ(h.picker.requests[0].mode, support::FileRequest::Mode::Folder);
    EXPECT_EQ(h.picker.requests[0].acceptLabel, "Choose");
    EXPECT_EQ(h.picker.requests[0].startFolder, QStandardPaths::writableLocation(QStandardPaths::MoviesLocation));
    EXPECT_EQ(h.controller->exportFolderText(), "/home/ann/Videos/Lyric videos");

    h.controller->chooseExportFolder(); // cancelled
    test::waitUntil([] { return false; }, 100);
    EXPECT_EQ(h.picker.requests[1].startFolder, "/home/ann/Videos/Lyric videos");
    EXPECT_EQ(h.model->exportDestination(), "/home/ann/Videos/Lyric videos");

    h.controller->useDefaultExportFolder();
    EXPECT_EQ(h.model->exportDestination(), "");
    EXPECT_EQ(h.controller->exportFolderText(), "Use the app-managed folder");
}

TEST(Controller, aDetectedWhisperAddsAnOptionButNeverOverridesAPick)
{
    for (const bool pickedFirst : {false, true}) {
        ControllerHarness h;
        test::writeScript(h.box.home / ".local/bin/whisper", "#!/bin/sh\n");
        h.controller->windowShown();
        if (pickedFirst)
            h.controller->pickWhisper(static_cast<int>(Choice::install));
        EXPECT_EQ(h.controller->whisperOptions().size(), 2) << "nothing found yet";
        ASSERT_TRUE(test::waitUntil([&] { return !h.model->detectedWhisperPath().isEmpty(); }));

        const QVariantList options = h.controller->whisperOptions();
        ASSERT_EQ(options.size(), 3);
        const QVariantMap first = options[0].toMap();
        EXPECT_EQ(first["title"].toString(), "Use the Whisper installation found on this computer");
        EXPECT_EQ(first["detail"].toString(), "~/.local/bin/whisper");
        const Choice expected = pickedFirst ? Choice::install : Choice::existing;
        EXPECT_EQ(h.model->whisperChoice(), expected);
        for (const auto& option : options)
            EXPECT_EQ(option.toMap()["selected"].toBool(), option.toMap()["choice"].toInt() == static_cast<int>(expected));
        EXPECT_EQ(h.model->components().size(), 6u);
        EXPECT_EQ(h.model->components().back().id, pickedFirst ? "whisper" : "whisper-link");
    }
}

TEST(Controller, installRebuildsTheListMovesOnAndStarts)
{
    ControllerHarness h;
    h.controller->install();
    EXPECT_EQ(h.model->step(), Step::welcome) << "Install belongs to the parallax page";
    while (h.model->step() != Step::parallax)
        h.model->advance();
    h.model->pickWhisperChoice(Choice::install);
    h.controller->install();
    EXPECT_EQ(h.model->step(), Step::installation);
    EXPECT_TRUE(h.model->isInstalling());
    EXPECT_EQ(h.model->components().size(), 6u);
    ASSERT_TRUE(h.waitForEnd());
}

TEST(WhisperSummary, saysWhatTheInstalledAppWillUse)
{
    const struct {
        const char* what;
        std::function<void(Sandbox&)> arrange;
        std::string summary;
    } cases[] = {
        {"the installer's own runtime",
         [](Sandbox& box) {
             test::writeScript(WhisperRuntime::runtimeFolder(box.context.whisper) / "venv/bin/whisper", "#!/bin/sh\n");
         },
         "Local Whisper runtime is installed. Transcription runs fully on-device."},
        {"a linked runtime in the home folder",
         [](Sandbox& box) {
             const auto whisper = box.home / "tools/whisper";
             test::writeScript(whisper, "#!/bin/sh\n");
             WhisperRuntime::writeResolvedRuntime(box.context.whisper, whisper);
         },
         "Verseloom is linked to your Whisper runtime at ~/tools/whisper. Transcription runs on-device."},
        {"one only `which` knows",
         [](Sandbox& box) {
             const auto whisper = box.root.path() / "elsewhere/whisper";
             test::writeScript(whisper, "#!/bin/sh\n");
             box.setWhichAnswer(whisper.string());
         },
         ""},
        {"none", [](Sandbox&) {},
         "Transcription uses On-device Speech. You can add the local Whisper runtime later from the installer."},
    };
    for (const auto& c : cases) {
        Sandbox box;
        c.arrange(box);
        const std::string expected =
            c.summary.empty() ? "Verseloom is linked to your Whisper runtime at " +
                                    (box.root.path() / "elsewhere/whisper").string() + ". Transcription runs on-device."
                              : c.summary;
        EXPECT_EQ(InstallerModel::summarizeWhisper(box.context.whisper).toStdString(), expected) << c.what;
    }
}

TEST(WhisperSummary, isWorkedOutOnceWhenTheRunCompletes)
{
    ModelHarness h;
    h.install();
    ASSERT_TRUE(h.waitForEnd());
    ASSERT_TRUE(test::waitUntil([&] { return !h.model->whisperSummary().isEmpty(); }));
    EXPECT_EQ(h.model->whisperSummary(),
              "Transcription uses On-device Speech. You can add the local Whisper runtime later from the installer.");
    const int runs = h.box.whichRuns();
    EXPECT_EQ(runs, 1) << "one `which` for the summary";
    for (int i = 0; i < 50; ++i)
        (void)h.model->whisperSummary();
    test::waitUntil([] { return false; }, 200);
    EXPECT_EQ(h.box.whichRuns(), runs) << "reading the summary starts no child process";
}

} // namespace
} // namespace vl::installer
