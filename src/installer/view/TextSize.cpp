#include "installer/view/TextSize.h"

#include <QGuiApplication>
#include <QScreen>
#include <QtMath>

namespace vl::installer {

qreal TextSize::points(qreal pixels)
{
    // The resolution Qt turns point sizes into pixels with: the primary screen's logical
    // one, in whole dots per inch, or 96 when the application asks for it.
    qreal dpi = 96;
    if (!QCoreApplication::testAttribute(Qt::AA_Use96Dpi)) {
        if (const QScreen* screen = QGuiApplication::primaryScreen())
            dpi = qRound(screen->logicalDotsPerInchY());
    }
    return pixels * 72.0 / dpi;
}

} // namespace vl::installer
