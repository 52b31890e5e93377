#include "pipeline/SystemClipboard.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>

namespace vl {

namespace {

QClipboard* desktopClipboard()
{
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
        return nullptr;
    return QGuiApplication::clipboard();
}

} // namespace

SystemClipboard::SystemClipboard()
{
    watch();
}

SystemClipboard::~SystemClipboard()
{
    QObject::disconnect(watching_);
}

void SystemClipboard::watch() const
{
    if (watching_)
        return;
    if (QClipboard* clipboard = desktopClipboard())
        watching_ = QObject::connect(clipboard, &QClipboard::dataChanged, [this] { ++changes_; });
}

std::optional<std::string> SystemClipboard::text() const
{
    watch();
    QClipboard* clipboard = desktopClipboard();
    if (!clipboard)
        return std::nullopt;
    const QString content = clipboard->text();
    if (content.isNull())
        return std::nullopt;
    return content.toStdString();
}

long long SystemClipboard::changeCount() const
{
    watch();
    return changes_;
}

void SystemClipboard::clear()
{
    watch();
    if (QClipboard* clipboard = desktopClipboard())
        clipboard->clear();
}

} // namespace vl
