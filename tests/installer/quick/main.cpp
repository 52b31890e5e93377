#include "PagesHarness.h"

#include "design/Fonts.h"

#include <QQmlEngine>
#include <QQuickStyle>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

Q_IMPORT_QML_PLUGIN(Verseloom_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_InstallerPlugin)

namespace {

class Setup : public QObject {
    Q_OBJECT

public slots:
    void applicationAvailable()
    {
        vl::design::registerBundledFonts();
        QQuickStyle::setStyle(QStringLiteral("Fusion"));
    }

    void qmlEngineAvailable(QQmlEngine* engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/"));
        vl::installer::test::PagesHarness::registerFor(*engine, harness_);
    }

private:
    vl::installer::test::PagesHarness harness_;
};

} // namespace

QUICK_TEST_MAIN_WITH_SETUP(installer, Setup)

#include "main.moc"
