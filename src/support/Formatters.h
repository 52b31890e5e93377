#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqmlregistration.h>

namespace vl::support {

// Song positions as the screens show them. Both round first, so 59.999 s is "1:00.00"
// and never "0:60.00"; negative and non-finite values show as zero.
QString formatMinutesSeconds(double seconds);            // 75.5 -> "1:16", 3725 -> "62:05"
QString formatMinutesSecondsHundredths(double seconds);  // 75.456 -> "1:15.46"

// The same two, for QML: `Format.minutesSeconds(t)`.
class Format : public QObject {
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
public:
    using QObject::QObject;
    Q_INVOKABLE static QString minutesSeconds(double seconds) { return formatMinutesSeconds(seconds); }
    Q_INVOKABLE static QString minutesSecondsHundredths(double seconds)
    {
        return formatMinutesSecondsHundredths(seconds);
    }
};

} // namespace vl::support
