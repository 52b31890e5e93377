// Qt Quick Test over the stage screens: each tst_*.qml loads a screen offscreen against
// one store whose project a test picks with `Fixtures.load(name)`.

#include "QuickFixtures.h"

#include "design/Fonts.h"
#include "screens/PictureProvider.h"

#include <QQmlEngine>
#include <QtQml/qqmlextensionplugin.h>
#include <QtQuickTest>

#include <memory>

Q_IMPORT_QML_PLUGIN(Verseloom_DesignPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_SupportPlugin)
Q_IMPORT_QML_PLUGIN(Verseloom_ScreensPlugin)

class Setup : public QObject {
    Q_OBJECT

public slots:
    void applicationAvailable() { vl::design::registerBundledFonts(); }

    void qmlEngineAvailable(QQmlEngine* engine)
    {
        engine->addImportPath(QStringLiteral("qrc:/"));
        vl::screens::PictureProvider::addTo(*engine);
        fixtures_ = std::make_unique<vl::testing::QuickFixtures>(*engine);
    }

    void cleanupTestCase() { fixtures_.reset(); }

private:
    std::unique_ptr<vl::testing::QuickFixtures> fixtures_;
};

QUICK_TEST_MAIN_WITH_SETUP(screens, Setup)

#include "main.moc"
