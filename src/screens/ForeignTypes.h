#pragma once

#include "pipeline/ProjectStore.h"

#include <QObject>
#include <QtQml/qqml.h>

namespace vl::screens {

// The store, which knows nothing of QML, named as a QML type so every read of it is checked.
struct ProjectStoreForeign {
    Q_GADGET
    QML_FOREIGN(vl::ProjectStore)
    QML_NAMED_ELEMENT(ProjectStore)
    QML_UNCREATABLE("The program builds the store.")
};

} // namespace vl::screens
