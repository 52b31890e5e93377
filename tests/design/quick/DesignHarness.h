#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

// What the design tests read from outside: where the gallery test leaves its picture
// (VL_GALLERY_PNG), or empty for nowhere. QML reaches it as the singleton Harness.
class DesignHarness : public QObject {
    Q_OBJECT
    QML_NAMED_ELEMENT(Harness)
    QML_SINGLETON
    Q_PROPERTY(QString galleryImagePath READ galleryImagePath CONSTANT)

public:
    QString galleryImagePath() const { return qEnvironmentVariable("VL_GALLERY_PNG"); }
};
