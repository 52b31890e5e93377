#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QObject;
class QQuickWindow;

namespace vl::app {

// The dialogs and windows a window declares: Qt Quick file, folder and message dialogs,
// Controls dialogs, the program's sheets (windows with open()) and other windows (shown
// with show(), like the settings window).
QList<QObject*> declaredDialogs(QQuickWindow* window);

// Opens each declared dialog in turn, then each of `others` (windows the program shows
// instead of this one), lets it draw, cancels it and waits for it to go away, then
// calls `done` on the window's thread with the names of the dialogs that opened and
// closed, and one line per dialog that would not. The program's smoke run uses it: a
// QML module a dialog needs is only loaded the first time the dialog opens.
void tourDialogs(QQuickWindow* window,
                 std::function<void(const QStringList& visited, const QStringList& problems)> done,
                 const QList<QObject*>& others = {});

} // namespace vl::app
