#include "GuiApp.h"

#include "design/Symbols.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QSvgRenderer>

#include <gtest/gtest.h>

#include <map>
#include <string>

using namespace vl::design;

namespace {

// Symbol names as our code writes them: the name of an Icon in QML, or a value given to
// something called symbol, systemImage, icon, iconName or symbolName, in QML
// (`symbol: "sparkles"`) or C++ (`.systemImage = "waveform"`, `symbol = u"cpu"`).
QStringList symbolNamesIn(const QString& source) {
    static const QRegularExpression iconBlock(
        QString::fromUtf8(R"re(\bIcon\s*\{[^{}]*?\bname\s*:\s*"([^"\n]*)")re"));
    static const QRegularExpression named(QString::fromUtf8(
        R"re(\b(?:symbol|systemImage|icon|iconName|symbolName)\s*[:=]\s*(?:QStringLiteral\(\s*|u8?)?"([^"\n]*)")re"));
    QStringList names;
    for (const auto* re : {&iconBlock, &named}) {
        auto it = re->globalMatch(source);
        while (it.hasNext()) {
            const QString name = it.next().captured(1);
            if (!name.isEmpty()) {
                names << name;
            }
        }
    }
    return names;
}

} // namespace

TEST(Symbols, LookupFindsExactNamesOnly) {
    struct Case {
        const char* symbol;
        const char* icon; // nullptr: unknown
    };
    const Case cases[] = {
        {"waveform", "soundwave"},
        {"waveform.badge.plus", "file-earmark-music"},
        {"app.badge", "app-indicator"},          // first row
        {"xmark.circle.fill", "x-circle-fill"},  // last row
        {"square.and.arrow.up.fill", "box-arrow-up"},
        {"wave", nullptr},
        {"waveform.badge", nullptr},
        {"Waveform", nullptr},
        {"", nullptr},
        {"zzz", nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.symbol);
        const auto icon = iconForSymbol(c.symbol);
        if (c.icon == nullptr) {
            EXPECT_FALSE(icon.has_value());
            EXPECT_TRUE(iconResourceForSymbol(QString::fromUtf8(c.symbol)).isEmpty());
        } else {
            ASSERT_TRUE(icon.has_value());
            EXPECT_EQ(*icon, c.icon);
            EXPECT_EQ(iconResourceForSymbol(QString::fromUtf8(c.symbol)),
                      QStringLiteral(":/verseloom/icons/%1.svg").arg(QLatin1String(c.icon)));
        }
    }
}

TEST(Symbols, TableIsSortedAndEveryIconIsBundledAndDrawable) {
    vl::test::ensureGuiApplication();
    const auto table = symbolTable();
    ASSERT_FALSE(table.empty());
    for (size_t i = 0; i < table.size(); ++i) {
        SCOPED_TRACE(std::string(table[i].symbol));
        if (i > 0) {
            // Lookups bisect the table.
            EXPECT_LT(table[i - 1].symbol, table[i].symbol);
        }
        const QString path = iconResourceForSymbol(QString::fromUtf8(table[i].symbol.data(),
                                                                     static_cast<qsizetype>(table[i].symbol.size())));
        ASSERT_TRUE(QFile::exists(path)) << path.toStdString();
        QSvgRenderer renderer(path);
        EXPECT_TRUE(renderer.isValid());
    }
}

TEST(Symbols, EveryBundledIconFileIsInTheTable) {
    QSet<QString> used;
    for (const auto& m : symbolTable()) {
        used.insert(QString::fromUtf8(m.icon.data(), static_cast<qsizetype>(m.icon.size())));
    }
    const QDir icons(QStringLiteral(VL_SOURCE_DIR "/resources/icons"));
    const QStringList files = icons.entryList({QStringLiteral("*.svg")}, QDir::Files);
    ASSERT_FALSE(files.isEmpty());
    for (const QString& file : files) {
        EXPECT_TRUE(used.contains(QFileInfo(file).completeBaseName())) << file.toStdString();
    }
}

TEST(Symbols, ScannerFindsNamesInTheWaysOurCodeWritesThem) {
    struct Case {
        const char* source;
        QStringList names;
    };
    const Case cases[] = {
        {"Icon { name: \"waveform\"; color: Theme.lime }", {"waveform"}},
        {"Icon {\n    id: mark\n    name: \"xmark\"\n}", {"xmark"}},
        {"PrimaryButton { text: \"Go\"; symbol: \"sparkles\" }", {"sparkles"}},
        {"property string symbol: \"cpu\"", {"cpu"}},
        {"{.id = \"verify\", .systemImage = \"checkmark.seal\"}", {"checkmark.seal"}},
        {"step.systemImage = QStringLiteral(\"gearshape\");", {"gearshape"}},
        {"CapabilityChip { icon: \"bolt.shield\"; text: \"Local\" }", {"bolt.shield"}},
        {"const auto symbol = u\"folder\";", {"folder"}},
        // Not symbol names: other fields called name, and icon names built at run time.
        {"ListElement { name: \"Alice\" }", {}},
        {"objectName: \"fill\"", {}},
        {"Icon { name: root.symbol }", {}},
        {"Icon { name: modelData }", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source);
        EXPECT_EQ(symbolNamesIn(QString::fromUtf8(c.source)), c.names);
    }
}

TEST(Symbols, EverySymbolNameInOurQmlAndCppHasAnIcon) {
    std::map<std::string, std::string> unknown; // name -> first file
    int found = 0;
    const QString thisFile = QFileInfo(QStringLiteral(__FILE__)).canonicalFilePath();
    for (const char* root : {VL_SOURCE_DIR "/src", VL_SOURCE_DIR "/tests"}) {
        QDirIterator it(QString::fromUtf8(root), {"*.qml", "*.cpp", "*.h"}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            if (QFileInfo(path).canonicalFilePath() == thisFile) {
                continue; // its scanner cases are not uses
            }
            QFile f(path);
            ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
            for (const QString& name : symbolNamesIn(QString::fromUtf8(f.readAll()))) {
                ++found;
                if (!iconForSymbol(name.toStdString())) {
                    unknown.emplace(name.toStdString(), path.toStdString());
                }
            }
        }
    }
    // The gallery alone names several; finding none means the scan went wrong.
    EXPECT_GT(found, 5);
    for (const auto& [name, file] : unknown) {
        ADD_FAILURE() << "no icon for the symbol \"" << name << "\" used in " << file;
    }
}
