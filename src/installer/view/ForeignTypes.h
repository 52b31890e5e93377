#pragma once

#include "installer/InstallerModel.h"

#include <QObject>
#include <QtQml/qqml.h>

namespace vl::installer {

// The core's model, which knows nothing of QML, named as a QML type so the pages' typed
// properties and every read of them are checked.
struct InstallerModelForeign {
    Q_GADGET
    QML_FOREIGN(vl::installer::InstallerModel)
    QML_NAMED_ELEMENT(InstallerModel)
    QML_UNCREATABLE("The installer builds its model.")
};

} // namespace vl::installer
