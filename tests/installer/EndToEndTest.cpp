#include "ModelHarness.h"

#include "installer/DesktopEntry.h"

#include <QProcess>
#include <QProcessEnvironment>

#include "fakes/SmokeEnvironment.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace vl::installer {
namespace {

namespace fs = std::filesystem;

using test::ModelHarness;

// The application tree that the payload target staged from the real build, installed by
// the model through the privileged path, starts and draws its window.
TEST(EndToEnd, theRealPayloadInstallsAndStarts)
{
    const fs::path payload = VL_PAYLOAD_DIR;
    ASSERT_TRUE(isExecutableFile(payload / "verseloom/bin/verseloom")) << "build the payload target first";

    ModelHarness h(false);
    h.box.context.payloadFolder = payload;
    h.box.context.canWrite = [](const fs::path&) { return false; };
    h.box.context.pkexecProgram = h.box.pkexecThatRuns();
    h.make();
    h.install();
    ASSERT_TRUE(h.waitForEnd(300000));
    ASSERT_TRUE(h.model->finished()) << h.model->failure().toStdString();
    EXPECT_EQ(h.detail("fonts"), "Anton + Permanent Marker");

    const fs::path program = h.box.target() / "bin/verseloom";
    const std::string entry = test::readText(h.box.context.applicationsFolder / kDesktopEntryName);
    EXPECT_NE(entry.find("Exec=\"" + program.string() + "\""), std::string::npos) << entry;

    QProcessEnvironment env = vl::test::smokeEnvironment(h.box.root.path() / "run");
    QProcess app;
    app.setProcessEnvironment(env);
    app.start(QString::fromStdString(program.string()), {});
    ASSERT_TRUE(app.waitForStarted(10000));
    ASSERT_TRUE(app.waitForFinished(180000)) << "the installed program did not quit after its first frame";
    const QString errors = QString::fromLocal8Bit(app.readAllStandardError());
    EXPECT_EQ(app.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(app.exitCode(), 0) << errors.toStdString();
}

} // namespace
} // namespace vl::installer
