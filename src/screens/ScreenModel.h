#pragma once

#include "screens/ScreenServices.h"

#include <QObject>
#include <QPointer>
#include <QtQml/qqmlregistration.h>

namespace vl::screens {

// The C++ half of a stage screen: it reads the store, decides what the screen shows
// (texts, enabled states, which form) and runs the screen's actions. The QML half only
// lays out and binds. Every derived value is recomputed when the store announces a
// change, and `changed` is emitted only when one of them really differs, so a
// keystroke that changes nothing a screen shows re-evaluates none of its bindings.
// Derived models name it with its namespace (`public vl::screens::…`): the QML type
// registrar records a base class as written, and only the full name links the types.
class ScreenModel : public QObject {
    Q_OBJECT
    QML_ANONYMOUS
    Q_PROPERTY(vl::screens::ScreenServices* services READ services WRITE setServices NOTIFY servicesChanged)
    Q_PROPERTY(bool busy READ busy NOTIFY changed)

public:
    ScreenServices* services() const { return services_.data(); }
    void setServices(ScreenServices* services);

    // An operation of the store is running: every button that starts one is disabled.
    bool busy() const;

signals:
    void servicesChanged();
    void changed();

protected:
    explicit ScreenModel(QObject* parent = nullptr);

    // Null before services are set and after the store is gone.
    ProjectStore* store() const { return services_ ? services_->store() : nullptr; }
    // Recomputes the screen's values; true when any of them differs from before.
    virtual bool refresh() = 0;
    // Recomputes and announces a difference (also for the model's own view state).
    void update();

private:
    QPointer<ScreenServices> services_;
    QList<QMetaObject::Connection> connections_;
    bool busy_ = false;
};

} // namespace vl::screens
