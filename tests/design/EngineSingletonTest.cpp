#include "GuiApp.h"

#include "design/EngineSingleton.h"

#include <QPointer>
#include <QQmlComponent>
#include <QQmlEngine>

#include <gtest/gtest.h>

#include <memory>

namespace {

// A singleton built in C++ the way the shell builds its services: no default constructor.
class Probe : public QObject {
    Q_OBJECT
    Q_PROPERTY(QString name READ name CONSTANT)

public:
    explicit Probe(QString name) : name_(std::move(name)) {}
    QString name() const { return name_; }
    static Probe* create(QQmlEngine* engine, QJSEngine*) { return vl::design::EngineSingleton<Probe>::instanceFor(engine); }

private:
    QString name_;
};

std::unique_ptr<QQmlEngine> engineWithProbe()
{
    vl::test::ensureGuiApplication();
    static const int registered = qmlRegisterSingletonType<Probe>("VerseloomProbe", 1, 0, "Probe", &Probe::create);
    Q_UNUSED(registered);
    return std::make_unique<QQmlEngine>();
}

// What QML loaded by `engine` reads as `Probe.name`.
QString nameInQml(QQmlEngine& engine)
{
    QQmlComponent component(&engine);
    component.setData("import QtQml\nimport VerseloomProbe\nQtObject { property string seen: Probe.name }", QUrl());
    std::unique_ptr<QObject> object(component.create());
    return object ? object->property("seen").toString() : component.errorString();
}

} // namespace

TEST(EngineSingleton, EachEngineReadsTheObjectRegisteredForIt)
{
    Probe first(QStringLiteral("first")), second(QStringLiteral("second"));
    auto a = engineWithProbe();
    auto b = engineWithProbe();
    vl::design::EngineSingleton<Probe>::registerFor(*a, first);
    vl::design::EngineSingleton<Probe>::registerFor(*b, second);
    EXPECT_EQ(nameInQml(*b).toStdString(), "second");
    EXPECT_EQ(nameInQml(*a).toStdString(), "first");
}

TEST(EngineSingleton, TheObjectOutlivesTheEngineThatReadIt)
{
    auto probe = std::make_unique<Probe>(QStringLiteral("kept"));
    QPointer<Probe> watch(probe.get());
    auto engine = engineWithProbe();
    vl::design::EngineSingleton<Probe>::registerFor(*engine, *probe);
    ASSERT_EQ(nameInQml(*engine).toStdString(), "kept");
    engine.reset();
    EXPECT_FALSE(watch.isNull()) << "the engine deleted an object C++ owns";
}

TEST(EngineSingleton, NothingIsHandedOutWithoutALiveRegisteredObject)
{
    auto engine = engineWithProbe();
    EXPECT_EQ(Probe::create(engine.get(), nullptr), nullptr) << "never registered";
    {
        Probe gone(QStringLiteral("gone"));
        vl::design::EngineSingleton<Probe>::registerFor(*engine, gone);
    }
    EXPECT_EQ(Probe::create(engine.get(), nullptr), nullptr) << "destroyed before the engine asked";
}

#include "EngineSingletonTest.moc"
