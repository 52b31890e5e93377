#pragma once

#include <QString>

#include <memory>

class QQmlEngine;
class QQuickWindow;

namespace vl::app {

// The window a start shows when it cannot go on, saying `message`, made hidden in
// `engine` (which must outlive it); nullptr when it cannot be made.
std::unique_ptr<QQuickWindow> makeStartProblemWindow(QQmlEngine& engine, const QString& message);

} // namespace vl::app
