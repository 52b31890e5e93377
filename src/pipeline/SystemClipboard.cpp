#include "pipeline/SystemClipboard.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>

namespace vl {

std::optional<std::string> SystemClipboard::text() const
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return std::nullopt;
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        return std::nullopt;
    const QString content = clipboard->text();
    if (content.isNull())
        return std::nullopt;
    return content.toStdString();
}

} // namespace vl
