#pragma once

#include <QString>
#include <QUrl>

#include <filesystem>

namespace vl {

// File dialogs and drops hand over file:// addresses; typed text is a plain path.
inline std::filesystem::path localFilePath(const QString& pathOrURL)
{
    const QUrl url(pathOrURL);
    if (url.isLocalFile())
        return url.toLocalFile().toStdString();
    return pathOrURL.toStdString();
}

} // namespace vl
