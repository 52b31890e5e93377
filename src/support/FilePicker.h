#pragma once

#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QUrl>
#include <QWindow>

#include <functional>

class QQmlEngine;

namespace vl::support {

// What to ask the user for.
struct FileRequest {
    enum class Mode { OpenFile, Folder };
    Mode mode = Mode::OpenFile;
    QString title;
    QStringList nameFilters;  // "Audio (*.mp3 *.wav)"; open-file mode only
    QString acceptLabel;      // empty: the dialog's own
    QString startFolder;      // local folder; empty: the dialog's own choice
};

// The open dialog's filter for pictures: only the formats the program takes in (PNG,
// JPEG, WebP; see model/ImageHeader.h).
QString pictureNameFilter();

// Asks the user for a file or a folder. The answer comes later, on the main thread: the
// chosen local path, or an empty string when the user cancelled. Screens get one injected,
// so tests answer for the user.
class FilePicker {
public:
    using Answer = std::function<void(const QString& path)>;
    virtual ~FilePicker() = default;
    virtual void pick(const FileRequest& request, Answer answer) = 0;
};

// The real one: Qt Quick's file and folder dialogs, created in the given engine and shown
// over the given window.
class QmlFilePicker final : public FilePicker {
public:
    explicit QmlFilePicker(QQmlEngine& engine, QWindow* parentWindow = nullptr);
    void setParentWindow(QWindow* window);
    void pick(const FileRequest& request, Answer answer) override;

private:
    QQmlEngine& engine_;
    QPointer<QWindow> parentWindow_;
};

} // namespace vl::support
