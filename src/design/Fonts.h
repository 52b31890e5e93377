#pragma once

#include <QString>
#include <QStringList>

namespace vl::design {

// The display faces the screens name: "Anton" and "Permanent Marker".
inline constexpr const char* kBundledFontFiles[] = {"Anton-Regular", "PermanentMarker-Regular"};

// Where the program carries its font files.
inline constexpr const char* kBundledFontDirectory = ":/verseloom/fonts";

// Registers the bundled font files of one folder with this process, once. A missing or
// unreadable file is skipped without a word: views naming that family fall back to
// the default sans. Main thread only (the font database is not thread-safe).
class FontRegistrar {
public:
    explicit FontRegistrar(QString directory);

    // Runs on the first call only; later calls return at once, whatever the folder holds then.
    void registerFonts();

    bool hasRun() const { return m_done; }
    // Families registered by this registrar, in file order.
    QStringList registeredFamilies() const { return m_families; }

private:
    QString m_directory;
    bool m_done = false;
    QStringList m_families;
};

// Registers the two fonts from the program's resources; call before the first window
// is built. Safe to call again.
void registerBundledFonts();

} // namespace vl::design
