#include "app/DialogTour.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QPointer>
#include <QQuickWindow>
#include <QTimer>
#include <QWindow>

#include <memory>

namespace vl::app {

namespace {

constexpr int kPollMs = 50;
constexpr int kDrawMs = 300;     // lets an open dialog lay out and draw a few frames
constexpr int kCeilingMs = 20000; // generous: a loaded machine must not fail the run

// A window of its own besides the main one: a sheet (with open()) or a plain window.
QQuickWindow* ownWindow(QObject* object, QQuickWindow* owner)
{
    auto* window = qobject_cast<QQuickWindow*>(object);
    return window && window != owner ? window : nullptr;
}

bool isSheet(QObject* object, QQuickWindow* owner)
{
    return ownWindow(object, owner) && object->metaObject()->indexOfMethod("open()") >= 0;
}

void open(QObject* dialog, QQuickWindow* owner)
{
    if (ownWindow(dialog, owner) && !isSheet(dialog, owner))
        QMetaObject::invokeMethod(dialog, "show");
    else
        QMetaObject::invokeMethod(dialog, "open");
}

QString nameOf(QObject* dialog)
{
    QString name = dialog->objectName();
    if (name.isEmpty())
        name = QString::fromLatin1(dialog->metaObject()->className());
    const QString title = dialog->property("title").toString();
    return title.isEmpty() ? name : name + QStringLiteral(" (\"") + title + QStringLiteral("\")");
}

bool isShowing(QObject* dialog)
{
    return dialog->property("visible").toBool();
}

// Cancels as the user would; a sheet that cannot be dismissed is finished.
void cancel(QObject* dialog, QQuickWindow* owner)
{
    if (ownWindow(dialog, owner)) {
        QMetaObject::invokeMethod(dialog, "close");
        if (isShowing(dialog) && dialog->metaObject()->indexOfMethod("finish()") >= 0)
            QMetaObject::invokeMethod(dialog, "finish");
    } else {
        QMetaObject::invokeMethod(dialog, "reject");
    }
}

struct Tour {
    QPointer<QQuickWindow> window;
    QList<QPointer<QObject>> dialogs;
    int next = 0;
    QStringList visited;
    QStringList problems;
    std::function<void(const QStringList&, const QStringList&)> done;
};

// Polls until `condition` holds (then `then`) or the ceiling passes (then `timedOut`).
void waitFor(std::shared_ptr<Tour> tour, std::function<bool()> condition, std::function<void()> then,
             std::function<void()> timedOut, std::shared_ptr<QElapsedTimer> clock = nullptr)
{
    if (!clock) {
        clock = std::make_shared<QElapsedTimer>();
        clock->start();
    }
    if (condition()) {
        then();
        return;
    }
    if (clock->elapsed() > kCeilingMs) {
        timedOut();
        return;
    }
    QTimer::singleShot(kPollMs, tour->window, [=] { waitFor(tour, condition, then, timedOut, clock); });
}

void visitNext(const std::shared_ptr<Tour>& tour)
{
    if (!tour->window)
        return;
    while (tour->next < tour->dialogs.size() && !tour->dialogs[tour->next])
        ++tour->next;
    if (tour->next >= tour->dialogs.size()) {
        tour->done(tour->visited, tour->problems);
        return;
    }
    QPointer<QObject> dialog = tour->dialogs[tour->next++];
    const QString name = nameOf(dialog);
    // A sheet hangs on the window that opens it, as the user sees it: that window first.
    QPointer<QWindow> shownParent;
    if (QQuickWindow* window = ownWindow(dialog, tour->window)) {
        QWindow* parent = window->transientParent();
        if (parent && parent != tour->window.data() && !parent->isVisible()) {
            parent->show();
            shownParent = parent;
        }
    }
    open(dialog, tour->window);
    waitFor(
        tour, [dialog] { return !dialog || isShowing(dialog); },
        [tour, dialog, name, shownParent] {
            QTimer::singleShot(kDrawMs, tour->window, [tour, dialog, name, shownParent] {
                if (!dialog) {
                    tour->problems << name + QStringLiteral(" went away while open");
                    visitNext(tour);
                    return;
                }
                cancel(dialog, tour->window);
                waitFor(
                    tour, [dialog] { return !dialog || !isShowing(dialog); },
                    [tour, name, shownParent] {
                        if (shownParent)
                            shownParent->close();
                        tour->visited << name;
                        visitNext(tour);
                    },
                    [tour, name] {
                        tour->problems << name + QStringLiteral(" did not close when cancelled");
                        visitNext(tour);
                    });
            });
        },
        [tour, name] {
            tour->problems << name + QStringLiteral(" did not open");
            visitNext(tour);
        });
}

} // namespace

QList<QObject*> declaredDialogs(QQuickWindow* window)
{
    QList<QObject*> dialogs;
    for (QObject* object : window->findChildren<QObject*>()) {
        if (object->inherits("QQuickAbstractDialog") || object->inherits("QQuickDialog") || ownWindow(object, window))
            dialogs << object;
    }
    return dialogs;
}

void tourDialogs(QQuickWindow* window,
                 std::function<void(const QStringList& visited, const QStringList& problems)> done,
                 const QList<QObject*>& others)
{
    auto tour = std::make_shared<Tour>();
    tour->window = window;
    for (QObject* dialog : declaredDialogs(window) + others)
        tour->dialogs << dialog;
    tour->done = std::move(done);
    visitNext(tour);
}

} // namespace vl::app
