#pragma once

#include <QHash>
#include <QJSEngine>
#include <QObject>
#include <QPointer>
#include <QQmlEngine>
#include <QtGlobal>

#include <type_traits>

namespace vl::design {

// An object built in C++ that QML reaches as the singleton of its type, one per engine:
// whoever builds the object (the shell, a test harness) registers it for an engine before
// that engine loads any QML, and the type's static `create` hands it out from here. C++
// keeps ownership; a registration ends with its engine, and a destroyed object is never
// handed out.
template <typename T>
class EngineSingleton {
    // Qt 6.4 builds a default-constructible singleton itself and never asks `create`.
    static_assert(!std::is_default_constructible_v<T>, "a registered singleton must not be default-constructible");

public:
    static void registerFor(QQmlEngine& engine, T& instance)
    {
        QQmlEngine* key = &engine;
        if (!instances().contains(key))
            QObject::connect(key, &QObject::destroyed, [key] { instances().remove(key); });
        instances().insert(key, &instance);
    }

    // For T::create: the object registered for `engine`, or null with a warning.
    static T* instanceFor(QQmlEngine* engine)
    {
        T* instance = instances().value(engine).data();
        if (instance)
            QJSEngine::setObjectOwnership(instance, QJSEngine::CppOwnership);
        else
            qWarning("No %s was registered for this QML engine.", T::staticMetaObject.className());
        return instance;
    }

private:
    static QHash<QQmlEngine*, QPointer<T>>& instances()
    {
        static QHash<QQmlEngine*, QPointer<T>> all;
        return all;
    }
};

} // namespace vl::design
