#include "design/Fonts.h"

#include <QFile>
#include <QFontDatabase>

#include <utility>

namespace vl::design {

FontRegistrar::FontRegistrar(QString directory) : m_directory(std::move(directory)) {}

void FontRegistrar::registerFonts() {
    if (m_done) {
        return;
    }
    for (const char* name : kBundledFontFiles) {
        const QString path = m_directory + u'/' + QLatin1String(name) + QStringLiteral(".ttf");
        if (!QFile::exists(path)) {
            continue;
        }
        const int id = QFontDatabase::addApplicationFont(path);
        if (id < 0) {
            continue; // unreadable font file: the family simply falls back
        }
        m_families += QFontDatabase::applicationFontFamilies(id);
    }
    m_done = true;
}

void registerBundledFonts() {
    static FontRegistrar registrar{QString::fromLatin1(kBundledFontDirectory)};
    registrar.registerFonts();
}

} // namespace vl::design
