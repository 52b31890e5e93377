#include "model/Files.h"
#include "pipeline/QtSettings.h"

#include <gtest/gtest.h>

using namespace vl;

TEST(QtSettings, ValuesSurviveARestartWithTheirTypes)
{
    files::TemporaryDirectory folder("settings-test");
    const QString path = QString::fromStdString((folder.path() / "Verseloom.conf").string());
    {
        QtSettings settings(path);
        settings.setString("lastProjectID", "0F0E");
        settings.setString("proxyBaseURL", "");
        settings.setString("digits", "42");
        settings.setInteger("sharewareOnboardingVersion", 2);
        settings.setInteger("big", 9'000'000'000LL);
        settings.setBoolean("paid", true);
        settings.setBoolean("off", false);
        settings.setString("gone", "x");
        settings.remove("gone");
        // While the process runs, a value reads back only as the type it was written as.
        EXPECT_FALSE(settings.integer("lastProjectID").has_value());
        EXPECT_FALSE(settings.string("paid").has_value());
        EXPECT_EQ(settings.integer("sharewareOnboardingVersion"), 2);
    }

    QtSettings reopened(path);
    EXPECT_EQ(reopened.string("lastProjectID"), "0F0E");
    EXPECT_EQ(reopened.string("proxyBaseURL"), "");
    EXPECT_EQ(reopened.integer("sharewareOnboardingVersion"), 2);
    EXPECT_EQ(reopened.integer("big"), 9'000'000'000LL);
    EXPECT_EQ(reopened.integer("digits"), 42);
    EXPECT_EQ(reopened.boolean("paid"), true);
    EXPECT_EQ(reopened.boolean("off"), false);
    EXPECT_FALSE(reopened.string("gone").has_value());
    EXPECT_FALSE(reopened.integer("missing").has_value());
    // Text that is not a number or a Boolean reads as absent, not as 0 or false.
    EXPECT_FALSE(reopened.integer("lastProjectID").has_value());
    EXPECT_FALSE(reopened.boolean("lastProjectID").has_value());
    EXPECT_FALSE(reopened.integer("proxyBaseURL").has_value());
}
