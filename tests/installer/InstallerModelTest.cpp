#include "ModelHarness.h"

#include "installer/AppCopy.h"
#include "installer/DesktopEntry.h"
#include "installer/UpdateSubscription.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <sys/stat.h>

namespace vl::installer {
namespace {

namespace fs = std::filesystem;

using Step = InstallerModel::Step;
using Choice = InstallerModel::WhisperChoice;
using test::ModelHarness;
using test::Sandbox;

std::vector<std::string> ids(const InstallerModel& model)
{
    std::vector<std::string> list;
    for (const auto& component : model.components())
        list.push_back(component.id);
    return list;
}

TEST(InstallerModel, startsOnWelcomeWithTheFiveBaseComponents)
{
    Sandbox box;
    InstallerModel model(box.context);
    EXPECT_EQ(model.step(), Step::welcome);
    EXPECT_EQ(model.whisperChoice(), Choice::appleSpeech);
    EXPECT_EQ(model.statusLine(), QStringLiteral("Preparing your cinematic workspace\u2026"));
    EXPECT_EQ(model.destination(), QString::fromStdString(box.destination.string()));
    EXPECT_EQ(model.firstName(), "");
    EXPECT_EQ(model.exportDestination(), "");
    EXPECT_EQ(ids(model), (std::vector<std::string>{"verify", "profile", "renderer", "depthflow", "fonts"}));
    for (const auto& component : model.components()) {
        EXPECT_TRUE(component.required);
        EXPECT_EQ(component.state, InstallComponent::State::pending);
        EXPECT_FALSE(component.detail.has_value());
    }
    EXPECT_EQ(model.components()[3].title, "Install OpenGL Parallax Engine");
    EXPECT_EQ(InstallerModel::stepTitle(Step::profile), "Name & Email");
    EXPECT_EQ(InstallerModel::stepSymbol(Step::installation), "square.and.arrow.down.on.square");
}

TEST(InstallerModel, prefillsTheProfileFromTheSharedSuite)
{
    Sandbox box;
    box.suite.setString(kSubscriberFirstNameKey, "Ann");
    box.suite.setString(kSubscriberEmailKey, "ann@example.org");
    box.suite.setString(kDefaultExportDestinationKey, "/home/ann/Videos");
    InstallerModel model(box.context);
    EXPECT_EQ(model.firstName(), "Ann");
    EXPECT_EQ(model.email(), "ann@example.org");
    EXPECT_EQ(model.exportDestination(), "/home/ann/Videos");
}

TEST(InstallerModel, continueFollowsEachPagesRule)
{
    Sandbox box;
    InstallerModel model(box.context);
    const struct {
        Step step;
        std::function<void()> allow; // empty: always allowed
    } pages[] = {
        {Step::welcome, {}},
        {Step::license, [&] { model.setAcceptedLicense(true); }},
        {Step::terms, [&] { model.setAcceptedTerms(true); }},
        {Step::privacy, [&] { model.setAcceptedPrivacy(true); }},
        {Step::installLocation, {}},
        {Step::profile, [&] { model.setFirstName("Ann"); model.setEmail("a@b.c"); }},
        {Step::exportFolder, {}},
        {Step::whisper, {}},
        {Step::parallax, {}},
    };
    for (const auto& page : pages) {
        ASSERT_EQ(model.step(), page.step);
        EXPECT_EQ(model.canContinue(), !page.allow) << InstallerModel::stepTitle(page.step).toStdString();
        if (page.allow) {
            page.allow();
            EXPECT_TRUE(model.canContinue()) << InstallerModel::stepTitle(page.step).toStdString();
        }
        model.advance();
    }
    EXPECT_EQ(model.step(), Step::installation);
    EXPECT_FALSE(model.canContinue()) << "the installation page waits for a finished run";

    // Going back keeps the ticks; clearing one closes its page again.
    while (model.step() != Step::license)
        model.goBack();
    EXPECT_TRUE(model.canContinue());
    model.setAcceptedLicense(false);
    EXPECT_FALSE(model.canContinue());
}

TEST(InstallerModel, theProfileNeedsANameAndAnAddressHoldingAtAndDot)
{
    const struct {
        const char* name;
        const char* email;
        bool valid;
    } cases[] = {
        {"Ann", "ann@example.org", true}, {"   \t", "ann@example.org", false}, {"Ann", "ann@example", false},
        {"Ann", "ann.example", false},     {"Ann", "a.b@c", true},               {" Ann ", " ANN@EXAMPLE.ORG ", true},
        {"", "", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(profileIsValid(c.name, c.email), c.valid) << '"' << c.name << "\" \"" << c.email << '"';
}

TEST(InstallerModel, pagesMoveOneAtATimeAndStopAtTheEnds)
{
    Sandbox box;
    InstallerModel model(box.context);
    model.goBack();
    EXPECT_EQ(model.step(), Step::welcome);
    for (int i = 0; i < 20; ++i)
        model.advance();
    EXPECT_EQ(model.step(), Step::complete);
    model.goBack();
    EXPECT_EQ(model.step(), Step::installation);
}

TEST(InstallerModel, theSpeechChoiceDecidesTheSixthComponent)
{
    Sandbox box;
    box.context.whisper.lookup.home = "/home/ann";
    InstallerModel model(box.context);
    const auto last = [&] { return model.components().back(); };

    model.pickWhisperChoice(Choice::install);
    model.refreshComponents();
    ASSERT_EQ(model.components().size(), 6u);
    EXPECT_EQ(last().id, "whisper");
    EXPECT_FALSE(last().required);
    EXPECT_EQ(last().detail, "Optional \u00b7 local speech-to-text");

    model.pickWhisperChoice(Choice::appleSpeech);
    model.refreshComponents();
    EXPECT_EQ(model.components().size(), 5u);

    model.pickWhisperChoice(Choice::existing);
    model.refreshComponents();
    EXPECT_EQ(model.components().size(), 5u) << "nothing detected, nothing to link";

    model.setComponentState(InstallComponent::State::failed, 0);
    model.setComponentState(InstallComponent::State::failed, 99); // ignored
    model.setComponentDetail("kept?", "verify");
    model.setComponentDetail("nowhere", "no-such-id");
    model.pickWhisperChoice(Choice::install);
    model.refreshComponents();
    EXPECT_EQ(model.components()[0].state, InstallComponent::State::pending) << "a fresh list each time";
    EXPECT_FALSE(model.components()[0].detail.has_value());
    EXPECT_EQ(last().state, InstallComponent::State::pending);
}

TEST(InstallerModel, aDetectedWhisperIsOfferedAndChosenUnlessTheUserChoseFirst)
{
    for (const bool pickedFirst : {false, true}) {
        Sandbox box;
        const fs::path found = box.home / ".local/bin/whisper";
        test::writeScript(found, "#!/bin/sh\n");
        InstallerModel model(box.context);
        model.refreshComponents();
        if (pickedFirst)
            model.pickWhisperChoice(Choice::install);
        model.startWhisperDetection();
        ASSERT_TRUE(test::waitUntil([&] { return !model.detectedWhisperPath().isEmpty(); }));
        EXPECT_EQ(model.detectedWhisperPath(), QString::fromStdString(found.string()));
        if (pickedFirst) {
            EXPECT_EQ(model.whisperChoice(), Choice::install) << "the user's pick stands";
            EXPECT_EQ(model.components().back().id, "whisper");
        } else {
            EXPECT_EQ(model.whisperChoice(), Choice::existing);
            EXPECT_EQ(model.components().back().id, "whisper-link");
            EXPECT_EQ(model.components().back().detail, "Detected \u00b7 ~/.local/bin/whisper");
        }
        EXPECT_EQ(model.components().size(), 6u);
    }
}

TEST(InstallerModel, noDetectionWhenTheInstallersOwnRuntimeIsThere)
{
    Sandbox box;
    test::writeScript(box.home / ".local/bin/whisper", "#!/bin/sh\n");
    test::writeScript(WhisperRuntime::runtimeFolder(box.context.whisper) / "venv/bin/whisper", "#!/bin/sh\n");
    InstallerModel model(box.context);
    model.startWhisperDetection();
    test::waitUntil([] { return false; }, 300);
    EXPECT_FALSE(box.whichRan());
    EXPECT_EQ(model.detectedWhisperPath(), "");
    EXPECT_EQ(model.whisperChoice(), Choice::appleSpeech);
}

TEST(InstallerModel, payloadAndTargetAndOpeningTheApp)
{
    Sandbox box;
    std::vector<fs::path> launched;
    box.context.launch = [&launched](const fs::path& program) {
        launched.push_back(program);
        return true;
    };
    {
        InstallerModel model(box.context);
        EXPECT_EQ(model.appPayloadPath(), std::nullopt);
        EXPECT_EQ(model.installedAppPath(), std::nullopt);
        model.openInstalledApp();
        EXPECT_TRUE(launched.empty());
    }
    box.makePayload();
    InstallerModel model(box.context);
    EXPECT_EQ(model.appPayloadPath(), box.payloadFolder / "verseloom");
    EXPECT_EQ(model.installedAppPath(), box.target());
    model.openInstalledApp();
    EXPECT_EQ(launched, std::vector<fs::path>{box.target() / "bin/verseloom"});
}

// --- the run ------------------------------------------------------------------------

TEST(InstallationRun, installsWithoutAskingWhenTheDestinationIsWritable)
{
    ModelHarness h;
    h.model->setExportDestination(QStringLiteral("/home/ann/Videos"));
    h.install();
    EXPECT_TRUE(h.model->isInstalling());
    EXPECT_EQ(h.model->step(), Step::installation);
    ASSERT_TRUE(h.waitForEnd());

    EXPECT_TRUE(h.model->finished());
    EXPECT_EQ(h.model->failure(), "");
    EXPECT_EQ(h.model->step(), Step::complete);
    EXPECT_EQ(h.model->statusLine(), "Verseloom is ready.");
    EXPECT_EQ(h.progress, (std::vector<double>{0.2, 0.4, 0.6, 0.8, 1.0}));
    EXPECT_EQ(h.states(), (std::vector<std::string>{"verify:done", "profile:done", "renderer:done", "depthflow:done",
                                                    "fonts:done"}));
    EXPECT_EQ(h.detail("verify"), "verseloom verified");
    EXPECT_EQ(h.detail("profile"), "Updates enabled \u00b7 custom exports folder");
    EXPECT_EQ(h.detail("renderer"), "Installed to " + h.box.destination.string()) << "no password was asked for";
    EXPECT_EQ(h.detail("depthflow"), "Bundled \u00b7 native motion engine");
    EXPECT_EQ(h.detail("fonts"), "Anton + Permanent Marker");
    EXPECT_TRUE(isExecutableFile(h.box.target() / "bin/verseloom"));
    EXPECT_TRUE(fs::exists(h.box.context.applicationsFolder / kDesktopEntryName));
    EXPECT_EQ(h.box.suite.string(kDefaultExportDestinationKey), "/home/ann/Videos");

    h.model->startInstallation();
    EXPECT_FALSE(h.model->isInstalling()) << "a completed run is not started again";
    h.model->refreshComponents();
    EXPECT_EQ(h.states().front(), "verify:done") << "nor is its list rebuilt";
}

TEST(InstallationRun, asksForRightsWhenTheDestinationIsNotWritable)
{
    ModelHarness h;
    h.box.context.canWrite = [](const fs::path&) { return false; };
    h.box.context.pkexecProgram = h.box.pkexecThatRuns();
    h.install();
    ASSERT_TRUE(h.waitForEnd());
    EXPECT_TRUE(h.model->finished()) << h.model->failure().toStdString();
    EXPECT_EQ(h.detail("renderer"), "Installed to " + h.box.destination.string() + " \u00b7 authenticated");
    EXPECT_TRUE(isExecutableFile(h.box.target() / "bin/verseloom"));
}

TEST(InstallationRun, aDismissedPromptStopsAtTheRendererAndTryAgainGoesOnFromThere)
{
    ModelHarness h;
    h.box.context.canWrite = [](const fs::path&) { return false; };
    h.box.context.pkexecProgram = h.box.pkexecThatExits(126);
    h.install();
    ASSERT_TRUE(h.waitForEnd());

    EXPECT_FALSE(h.model->finished());
    EXPECT_EQ(h.model->step(), Step::installation);
    EXPECT_EQ(h.model->failure(), QString::fromUtf8(kCancelledMessage));
    EXPECT_EQ(h.model->statusLine(), "Installation stopped.");
    EXPECT_EQ(h.states(), (std::vector<std::string>{"verify:done", "profile:done", "renderer:failed",
                                                    "depthflow:pending", "fonts:pending"}));
    EXPECT_DOUBLE_EQ(h.model->overallProgress(), 0.4);
    EXPECT_FALSE(h.model->canContinue());
    EXPECT_EQ(h.server.requests().size(), 1u);

    h.box.context.pkexecProgram = h.box.pkexecThatRuns();
    h.model->startInstallation();
    EXPECT_EQ(h.model->failure(), "");
    ASSERT_TRUE(h.waitForEnd());
    EXPECT_TRUE(h.model->finished()) << h.model->failure().toStdString();
    EXPECT_EQ(h.server.requests().size(), 1u) << "an accepted subscription is not sent again";
    EXPECT_EQ(h.progress, (std::vector<double>{0.2, 0.4, 0.2, 0.4, 0.6, 0.8, 1.0}));
}

// A pkexec stand-in that runs the command as we are and counts how often it asked.
fs::path countingPkexec(Sandbox& box)
{
    const fs::path pkexec = box.tools / "pkexec-counts";
    test::writeScript(pkexec, "#!/bin/sh\necho asked >> '" + (box.tools / "pkexec-asked").string() + "'\nexec \"$@\"\n");
    return pkexec;
}

int timesAsked(const Sandbox& box)
{
    const std::string asked = test::readText(box.tools / "pkexec-asked");
    return static_cast<int>(std::count(asked.begin(), asked.end(), '\n'));
}

TEST(InstallationRun, withoutPkexecARunThatNeedsRightsStopsBeforeItStarts)
{
    ModelHarness h;
    h.box.context.canWrite = [](const fs::path&) { return false; };
    h.box.context.pkexecProgram = h.box.root.path() / "no/pkexec";
    const std::string sentence = "Installing into " + h.box.destination.string() +
                                 " needs administrator rights, and pkexec is not installed to ask for them: install "
                                 "the pkexec package (polkit) and try again, or run verseloom-installer --destination "
                                 "with a folder you own.";
    h.install();
    for (int attempt = 0; attempt < 2; ++attempt) {
        ASSERT_TRUE(h.waitForEnd());
        EXPECT_FALSE(h.model->isInstalling());
        EXPECT_EQ(h.model->failure().toStdString(), sentence) << attempt;
        EXPECT_EQ(h.model->statusLine(), "Installation stopped.");
        EXPECT_EQ(h.states(), (std::vector<std::string>{"verify:pending", "profile:pending", "renderer:failed",
                                                        "depthflow:pending", "fonts:pending"}));
        EXPECT_TRUE(h.server.requests().empty()) << attempt << ": nothing is sent for a run that cannot finish";
        EXPECT_FALSE(fs::exists(h.box.target()));
        h.model->startInstallation(); // Try Again, still without pkexec
    }

    // Once pkexec is there, Try Again installs.
    h.box.context.pkexecProgram = countingPkexec(h.box);
    h.model->startInstallation();
    ASSERT_TRUE(h.waitForEnd());
    EXPECT_TRUE(h.model->finished()) << h.model->failure().toStdString();
    EXPECT_EQ(h.server.requests().size(), 1u);
    EXPECT_EQ(timesAsked(h.box), 1);
}

TEST(InstallationRun, aFailedCopyIntoTheUsersOwnFolderSaysWhyAndAsksForNoPassword)
{
    // With pkexec at hand or not: a folder the user may write is the user's to fix.
    for (const bool withPkexec : {true, false}) {
        ModelHarness h;
        ASSERT_EQ(::mkfifo((h.box.payloadFolder / "verseloom/a-pipe").c_str(), 0644), 0);
        h.box.context.pkexecProgram = withPkexec ? countingPkexec(h.box) : h.box.root.path() / "no/pkexec";
        h.install();
        ASSERT_TRUE(h.waitForEnd());
        const std::string failure = h.model->failure().toStdString();
        EXPECT_TRUE(failure.starts_with("Verseloom could not be copied into " + h.box.destination.string() + ": "))
            << failure;
        EXPECT_TRUE(failure.ends_with(": Operation not supported (" +
                                      (h.box.payloadFolder / "verseloom/a-pipe").string() + ")."))
            << "the copy's own reason, and where: " << failure;
        EXPECT_EQ(h.states()[2], "renderer:failed");
        EXPECT_EQ(timesAsked(h.box), 0) << "no administrator prompt for the user's own folder";
        EXPECT_FALSE(fs::exists(h.box.target()));
    }
}

TEST(InstallationRun, aFolderThatIsNotAnInstallStopsTheRunBeforeItStarts)
{
    ModelHarness h;
    test::writeText(h.box.target() / "thesis.tex", "mine");
    h.install();
    ASSERT_TRUE(h.waitForEnd());
    EXPECT_EQ(h.model->failure().toStdString(),
              h.box.target().string() + " is not a Verseloom installation, so the installer leaves it alone. Move it "
                                        "elsewhere or choose another folder.");
    EXPECT_EQ(h.states(), (std::vector<std::string>{"verify:pending", "profile:pending", "renderer:failed",
                                                    "depthflow:pending", "fonts:pending"}));
    EXPECT_TRUE(h.server.requests().empty()) << "nothing is sent for a run that cannot finish";
    EXPECT_EQ(test::readText(h.box.target() / "thesis.tex"), "mine");
}

TEST(InstallationRun, aRetryRepeatsOnlyWhatFailed)
{
    ModelHarness h;
    h.box.context.canWrite = [](const fs::path&) { return false; };
    h.box.context.pkexecProgram = countingPkexec(h.box);
    // The menu entry cannot be written: a file stands where its folder goes.
    test::writeText(h.box.context.applicationsFolder, "in the way");
    h.install();
    ASSERT_TRUE(h.waitForEnd());
    EXPECT_TRUE(h.model->failure().startsWith("Verseloom was installed, but its applications menu entry could not be "
                                              "written"))
        << h.model->failure().toStdString();
    EXPECT_EQ(h.states()[2], "renderer:failed");
    EXPECT_TRUE(isExecutableFile(h.box.target() / "bin/verseloom"));
    EXPECT_EQ(timesAsked(h.box), 1);

    fs::remove(h.box.context.applicationsFolder);
    h.model->startInstallation(); // Try Again
    ASSERT_TRUE(h.waitForEnd());
    EXPECT_TRUE(h.model->finished()) << h.model->failure().toStdString();
    EXPECT_EQ(timesAsked(h.box), 1) << "the program in place is not copied again";
    EXPECT_EQ(h.server.requests().size(), 1u);
    EXPECT_EQ(h.detail("renderer"), "Installed to " + h.box.destination.string() + " \u00b7 authenticated");
    EXPECT_TRUE(fs::exists(h.box.context.applicationsFolder / kDesktopEntryName));
}

TEST(InstallationRun, backAndInstallAgainSendsOnlyAChangedProfile)
{
    for (const bool changed : {false, true}) {
        ModelHarness h;
        h.box.context.canWrite = [](const fs::path&) { return false; };
        h.box.context.pkexecProgram = h.box.pkexecThatExits(126);
        h.install();
        ASSERT_TRUE(h.waitForEnd());
        ASSERT_EQ(h.server.requests().size(), 1u);

        // Back to the parallax page and Install again, which rebuilds the list.
        h.model->goBack();
        if (changed)
            h.model->setEmail(QStringLiteral("ann@example.net"));
        else
            h.model->setEmail(QStringLiteral(" ANN@example.org ")); // the same address once normalised
        h.model->setExportDestination(QStringLiteral("/home/ann/Videos"));
        h.box.context.pkexecProgram = h.box.pkexecThatRuns();
        h.model->refreshComponents();
        h.model->advance();
        h.model->startInstallation();
        ASSERT_TRUE(h.waitForEnd());
        EXPECT_TRUE(h.model->finished()) << h.model->failure().toStdString();
        EXPECT_EQ(h.server.requests().size(), changed ? 2u : 1u) << changed;
        EXPECT_EQ(h.box.suite.string(kDefaultExportDestinationKey), "/home/ann/Videos") << "stored all the same";
        EXPECT_EQ(h.detail("profile"), "Updates enabled \u00b7 custom exports folder");
    }
}

TEST(InstallationRun, requiredStepsStopTheRunWithTheirSentence)
{
    const struct {
        const char* what;
        std::function<void(ModelHarness&)> arrange;
        std::string failedId;
        std::string message;
    } cases[] = {
        {"no payload", [](ModelHarness& h) { fs::remove_all(h.box.payloadFolder); }, "verify",
         "The installer payload is missing its Verseloom application."},
        {"an invalid profile", [](ModelHarness& h) { h.model->setEmail("nobody"); }, "profile",
         kInvalidProfileMessage},
        {"the server refuses", [](ModelHarness& h) { h.server.setStatus(500); }, "profile",
         kSubscriptionRejectedMessage},
        {"not authorised", [](ModelHarness& h) {
             h.box.context.canWrite = [](const fs::path&) { return false; };
             h.box.context.pkexecProgram = h.box.pkexecThatExits(127, "Not authorized");
         },
         "renderer", kRefusedMessage},
        {"no authentication agent", [](ModelHarness& h) {
             h.box.context.canWrite = [](const fs::path&) { return false; };
             h.box.context.pkexecProgram =
                 h.box.pkexecThatExits(127, "Error executing command as another user: No authentication agent found.");
         },
         "renderer", "Administrator authorization failed \u2014 Verseloom was not installed. pkexec said: Error "
                     "executing command as another user: No authentication agent found."},
    };
    for (const auto& c : cases) {
        ModelHarness h;
        c.arrange(h);
        h.install();
        ASSERT_TRUE(h.waitForEnd()) << c.what;
        EXPECT_FALSE(h.model->finished()) << c.what;
        EXPECT_EQ(h.model->failure().toStdString(), c.message) << c.what;
        bool reached = false;
        for (const auto& component : h.model->components()) {
            if (component.id == c.failedId) {
                EXPECT_EQ(component.state, InstallComponent::State::failed) << c.what;
                reached = true;
            } else {
                EXPECT_EQ(component.state,
                          reached ? InstallComponent::State::pending : InstallComponent::State::done)
                    << c.what << ": " << component.id;
            }
        }
        EXPECT_FALSE(h.box.suite.string(kSubscriberEmailKey).has_value() && c.failedId == "profile") << c.what;
    }
}

TEST(InstallationRun, aFailedWhisperInstallIsSkippedAndTheRunCompletes)
{
    ModelHarness h; // no python3 anywhere
    h.model->pickWhisperChoice(Choice::install);
    h.install();
    ASSERT_TRUE(h.waitForEnd());
    EXPECT_TRUE(h.model->finished());
    EXPECT_EQ(h.model->step(), Step::complete);
    EXPECT_EQ(h.model->failure(), "");
    EXPECT_EQ(h.states().back(), "whisper:skipped");
    EXPECT_EQ(h.detail("whisper"), kMissingPythonMessage);
    ASSERT_EQ(h.progress.size(), 6u);
    for (std::size_t i = 0; i < 6; ++i)
        EXPECT_DOUBLE_EQ(h.progress[i], static_cast<double>(i + 1) / 6.0);
}

TEST(InstallationRun, theWhisperInstallReportsItsLinesOnTheStatusLine)
{
    ModelHarness h;
    h.box.fakePython();
    QStringList lines;
    QObject::connect(h.model.get(), &InstallerModel::statusLineChanged,
                     [&] { lines.push_back(h.model->statusLine()); });
    h.model->pickWhisperChoice(Choice::install);
    h.install();
    ASSERT_TRUE(h.waitForEnd());
    EXPECT_EQ(h.states().back(), "whisper:done");
    EXPECT_EQ(h.detail("whisper"), "Optional \u00b7 local speech-to-text");
    EXPECT_TRUE(lines.contains("Downloading the Whisper runtime\u2026"));
    EXPECT_TRUE(lines.contains("Collecting openai-whisper"));
    EXPECT_TRUE(lines.contains("Whisper runtime installed."));
    EXPECT_EQ(lines.back(), "Verseloom is ready.");
    EXPECT_TRUE(WhisperRuntime::venvWhisperPath(h.box.context.whisper).has_value());
}

TEST(InstallationRun, linksADetectedWhisper)
{
    ModelHarness h;
    const fs::path found = h.box.home / "miniforge3/envs/asr/bin/whisper";
    test::writeScript(found, "#!/bin/sh\n");
    h.model->startWhisperDetection();
    ASSERT_TRUE(test::waitUntil([&] { return !h.model->detectedWhisperPath().isEmpty(); }));
    h.install();
    ASSERT_TRUE(h.waitForEnd());
    EXPECT_EQ(h.states().back(), "whisper-link:done");
    EXPECT_EQ(h.detail("whisper-link"), "Linked \u00b7 ~/miniforge3/envs/asr/bin/whisper");
    EXPECT_EQ(WhisperRuntime::readResolvedRuntime(h.box.context.whisper), found);
}

TEST(InstallationRun, anInstalledTreeWithoutFontsIsNoFailure)
{
    ModelHarness h(false);
    h.box.makePayload(false);
    h.install();
    ASSERT_TRUE(h.waitForEnd());
    EXPECT_TRUE(h.model->finished());
    EXPECT_EQ(h.detail("fonts"), "Typography ready");
}

TEST(InstallationRun, refusesToGoBackOrRebuildWhileRunning)
{
    ModelHarness h;
    h.server.setSilent(true); // holds the profile step
    h.install();
    ASSERT_TRUE(test::waitUntil([&] { return h.server.requests().size() == 1; }));
    h.model->goBack();
    EXPECT_EQ(h.model->step(), Step::installation);
    h.model->pickWhisperChoice(Choice::install);
    h.model->refreshComponents();
    EXPECT_EQ(h.model->components().size(), 5u);
    h.model->startInstallation();
    EXPECT_EQ(h.server.requests().size(), 1u);
    EXPECT_EQ(h.states()[1], "profile:running");
    // The model goes away mid-step: its worker is stopped and nothing lands afterwards.
    h.model.reset();
}

} // namespace
} // namespace vl::installer
