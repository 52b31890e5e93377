#pragma once

#include <QColor>
#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace vl::design {

// The palette as QML sees it: Theme.night … Theme.glowSoft, plus the two colour
// functions the components and screens need.
class Theme : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QColor night READ night CONSTANT)
    Q_PROPERTY(QColor surface READ surface CONSTANT)
    Q_PROPERTY(QColor cream READ cream CONSTANT)
    Q_PROPERTY(QColor muted READ muted CONSTANT)
    Q_PROPERTY(QColor lime READ lime CONSTANT)
    Q_PROPERTY(QColor coral READ coral CONSTANT)
    Q_PROPERTY(QColor amber READ amber CONSTANT)
    Q_PROPERTY(QColor pine READ pine CONSTANT)
    Q_PROPERTY(QColor glow READ glow CONSTANT)
    Q_PROPERTY(QColor glowSoft READ glowSoft CONSTANT)

public:
    using QObject::QObject;

    QColor night() const;
    QColor surface() const;
    QColor cream() const;
    QColor muted() const;
    QColor lime() const;
    QColor coral() const;
    QColor amber() const;
    QColor pine() const;
    QColor glow() const;
    QColor glowSoft() const;

    // The hex colour reader; Theme.muted for anything that is not six hex digits.
    Q_INVOKABLE QColor colorFromHex(const QString& text) const;
    // An Intent value's colour; an unknown value reads as neutral.
    Q_INVOKABLE QColor intentColor(int intent) const;
    // `color` at `opacity` times its own opacity ("Theme.lime at opacity 0.35").
    Q_INVOKABLE QColor faded(const QColor& color, double opacity) const;
};

} // namespace vl::design
