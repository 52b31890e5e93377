#include "pipeline/SystemClipboard.h"

#include "pipeline/X11Clipboard.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QMimeData>

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

std::function<ClipboardText()> SystemClipboard::textReader(std::size_t maxBytes) const
{
    watch();
    QClipboard* clipboard = desktopClipboard();
    if (!clipboard)
        return [] { return ClipboardText{}; };
    // Another program's copy on X11: fetched through a connection of our own, which
    // asks its size first. Qt would fetch all of it, however large, on this thread.
    if (QGuiApplication::platformName() == QLatin1String("xcb") && !clipboard->ownsClipboard())
        return [maxBytes] { return readX11ClipboardText(maxBytes); };
    // Our own copy (or a platform whose clipboard lives in this process) is in memory
    // already; only its conversion is left to the reader.
    const QMimeData* data = clipboard->mimeData();
    if (!data || !data->hasText())
        return [] { return ClipboardText{}; };
    QString text = data->text();
    // UTF-8 takes at least one byte per UTF-16 unit.
    if (static_cast<std::size_t>(text.size()) > maxBytes)
        return [] { return ClipboardText{ClipboardText::Kind::tooLarge, {}}; };
    return [text = std::move(text), maxBytes] {
        const QByteArray utf8 = text.toUtf8();
        if (static_cast<std::size_t>(utf8.size()) > maxBytes)
            return ClipboardText{ClipboardText::Kind::tooLarge, {}};
        return ClipboardText{ClipboardText::Kind::text, utf8.toStdString()};
    };
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
