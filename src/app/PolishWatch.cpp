#include "app/PolishWatch.h"

#include <QEvent>
#include <QQuickItem>
#include <QQuickWindow>
#include <QtQuick/private/qquickitem_p.h>
#include <QtQuick/private/qquickwindow_p.h>

#include <algorithm>

namespace vl::app {

namespace {

// Far more than any sane window needs; only keeps a true loop from hanging the count.
constexpr int passLimit = 100000;

} // namespace

QString describeItem(const QQuickItem* item)
{
    QStringList parts;
    for (int depth = 0; item && depth < 5; ++depth, item = item->parentItem()) {
        QString part = QString::fromLatin1(item->metaObject()->className());
        if (!item->objectName().isEmpty())
            part += QLatin1Char('(') + item->objectName() + QLatin1Char(')');
        parts << part;
    }
    return parts.join(QLatin1String(" < "));
}

PolishWatch::PolishWatch(QQuickWindow* window, Until until, QObject* parent)
    : QObject(parent), window_(window), stopsAtFirstFrame_(until == Until::firstFrame)
{
    window->installEventFilter(this);
    connect(window, &QQuickWindow::frameSwapped, this, [this] {
        shown_ = true;
        if (window_ && stopsAtFirstFrame_)
            window_->removeEventFilter(this);
    }, Qt::SingleShotConnection);
}

bool PolishWatch::eventFilter(QObject* watched, QEvent* event)
{
    // Both lead to a frame, which begins with the polish pass.
    if (watched == window_ && (!shown_ || !stopsAtFirstFrame_) && (event->type() == QEvent::UpdateRequest || event->type() == QEvent::Expose))
        polishNow();
    return false;
}

void PolishWatch::polishNow()
{
    QQuickWindowPrivate* window = QQuickWindowPrivate::get(window_);
    // As Qt's own pass: an item may ask for polish again (itself or another) while
    // being polished, so take items until none is left.
    for (int pass = 0; pass < passLimit && !window->itemsToPolish.isEmpty(); ++pass) {
        QQuickItem* item = window->itemsToPolish.takeLast();
        QQuickItemPrivate* itemPrivate = QQuickItemPrivate::get(item);
        itemPrivate->polishScheduled = false;
        Count& count = counts_[item];
        if (++count.polishes == 1)
            count.description = describeItem(item);
        itemPrivate->updatePolish();
        item->ensurePolished(); // the item's own updatePolish()
    }
}

QStringList PolishWatch::itemsPolishedMoreThan(int limit) const
{
    QStringList lines;
    for (const Count& count : counts_)
        if (count.polishes > limit)
            lines << QStringLiteral("%1 polished %2 times").arg(count.description).arg(count.polishes);
    lines.sort();
    return lines;
}

QQuickWindow* PolishWatch::window() const { return window_; }

int PolishWatch::mostPolishes() const
{
    int most = 0;
    for (const Count& count : counts_)
        most = std::max(most, count.polishes);
    return most;
}

} // namespace vl::app
