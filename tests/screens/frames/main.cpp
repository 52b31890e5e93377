#include "FramesHarness.h"

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
        harness_ = std::make_unique<vl::testing::FramesHarness>(*engine);
    }

    void cleanupTestCase() { harness_.reset(); }

private:
    std::unique_ptr<vl::testing::FramesHarness> harness_;
};

QUICK_TEST_MAIN_WITH_SETUP(frames, Setup)

#include "main.moc"
