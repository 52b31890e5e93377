#pragma once

#include <QColor>
#include <QObject>
#include <QtQml/qqmlregistration.h>

namespace vl::design {

// What a status chip says about its subject. QML spells the cases Intent.Neutral …
// Intent.Accent; view models can hand the same values over as ints.
namespace Intent {
Q_NAMESPACE
QML_ELEMENT
enum Value : quint8 { Neutral, Pending, Good, Warn, Bad, Accent };
Q_ENUM_NS(Value)
} // namespace Intent

// One colour per intent, used for the chip's text, fill and outline. Pending and warn
// share amber on purpose.
QColor intentColor(Intent::Value intent);

} // namespace vl::design
