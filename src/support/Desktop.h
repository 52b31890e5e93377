#pragma once

#include <QString>
#include <QUrl>

namespace vl::support {

// The desktop around the program: the file manager and the web browser. Screens get one
// injected, so tests never open a window of another program.
class Desktop {
public:
    virtual ~Desktop() = default;

    // Shows the file or folder selected in the file manager; when no file manager answers
    // on the session bus, opens the folder that holds it.
    virtual void reveal(const QString& path) = 0;

    // Opens a web page (or any URL) in the user's browser. False when nothing opened it.
    virtual bool openUrl(const QUrl& url) = 0;
};

// The real desktop: org.freedesktop.FileManager1 over D-Bus, QDesktopServices otherwise.
class SystemDesktop final : public Desktop {
public:
    void reveal(const QString& path) override;
    bool openUrl(const QUrl& url) override;
};

// The one desktop the program uses.
Desktop& systemDesktop();

} // namespace vl::support
