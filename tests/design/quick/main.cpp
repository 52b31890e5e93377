#include "design/Fonts.h"

#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

Q_IMPORT_QML_PLUGIN(Verseloom_DesignPlugin)

class Setup : public QObject {
    Q_OBJECT

public slots:
    void applicationAvailable() { vl::design::registerBundledFonts(); }

    void qmlEngineAvailable(QQmlEngine* engine) {
        // The module lives in the program's resources (static plugin).
        engine->addImportPath(QStringLiteral("qrc:/"));
    }
};

QUICK_TEST_MAIN_WITH_SETUP(design, Setup)

#include "main.moc"
