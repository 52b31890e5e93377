#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace vl::installer {

// Text sizes in pixels that are not whole (12.5): QML's font.pixelSize takes whole
// numbers only, so such a size is given as the point size Qt turns back into it.
class TextSize : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON

public:
    using QObject::QObject;

    // The point size drawn `pixels` high on this display.
    Q_INVOKABLE static qreal points(qreal pixels);
};

} // namespace vl::installer
