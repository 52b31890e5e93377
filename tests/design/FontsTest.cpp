#include "GuiApp.h"

#include "design/Fonts.h"
#include "model/Files.h"

#include <QFile>
#include <QFontDatabase>

#include <gtest/gtest.h>

using vl::design::FontRegistrar;

namespace {

enum class Put { bundled, missing, garbage };

// Puts one font file into `dir` as the bundle would carry it, or a broken stand-in.
void place(const std::filesystem::path& dir, const char* name, Put what) {
    const QString target = QString::fromStdString((dir / (std::string(name) + ".ttf")).string());
    if (what == Put::bundled) {
        ASSERT_TRUE(QFile::copy(QStringLiteral(":/verseloom/fonts/%1.ttf").arg(QLatin1String(name)), target));
    } else if (what == Put::garbage) {
        QFile f(target);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("not a font");
    }
}

} // namespace

TEST(Fonts, BundledFontsRegisterFromTheResourcesAndASecondCallIsHarmless) {
    vl::test::ensureGuiApplication();
    vl::design::registerBundledFonts();
    vl::design::registerBundledFonts();
    const QStringList families = QFontDatabase::families();
    EXPECT_TRUE(families.contains(QStringLiteral("Anton")));
    EXPECT_TRUE(families.contains(QStringLiteral("Permanent Marker")));
}

TEST(Fonts, EachFileRegistersOnItsOwnAndBadOnesAreSkipped) {
    vl::test::ensureGuiApplication();
    struct Case {
        const char* tag;
        Put anton;
        Put marker;
        QStringList families;
    };
    const Case cases[] = {
        {"both", Put::bundled, Put::bundled, {"Anton", "Permanent Marker"}},
        {"marker missing", Put::bundled, Put::missing, {"Anton"}},
        {"anton missing", Put::missing, Put::bundled, {"Permanent Marker"}},
        {"anton unreadable", Put::garbage, Put::bundled, {"Permanent Marker"}},
        {"none", Put::missing, Put::missing, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.tag);
        vl::files::TemporaryDirectory dir("fonts");
        place(dir.path(), "Anton-Regular", c.anton);
        place(dir.path(), "PermanentMarker-Regular", c.marker);
        FontRegistrar registrar(QString::fromStdString(dir.path().string()));
        registrar.registerFonts();
        EXPECT_TRUE(registrar.hasRun());
        EXPECT_EQ(registrar.registeredFamilies(), c.families);
    }
}

TEST(Fonts, ASecondCallDoesNothingEvenWhenTheMissingFileHasAppeared) {
    vl::test::ensureGuiApplication();
    vl::files::TemporaryDirectory dir("fonts");
    place(dir.path(), "Anton-Regular", Put::bundled);
    FontRegistrar registrar(QString::fromStdString(dir.path().string()));
    registrar.registerFonts();
    ASSERT_EQ(registrar.registeredFamilies(), QStringList{"Anton"});

    place(dir.path(), "PermanentMarker-Regular", Put::bundled);
    registrar.registerFonts();
    EXPECT_EQ(registrar.registeredFamilies(), QStringList{"Anton"});
}
