#pragma once

#include <QPalette>
#include <QQmlEngine>

class QGuiApplication;

namespace Startup {

QPalette darkPalette();

// Material style, dark palette and the "darkMode" property.
void applyDarkLook(QGuiApplication &app);

// A native service handed to QML as a singleton of its own module; the
// object stays owned by C++ (it lives until the process ends).
template<typename T>
void registerSingleton(const char *uri, const char *typeName, T *(*instance)() = &T::instance)
{
    qmlRegisterSingletonType<T>(uri, 1, 0, typeName, [instance](QQmlEngine *, QJSEngine *) -> QObject * {
        T *object = instance();
        QQmlEngine::setObjectOwnership(object, QQmlEngine::CppOwnership);
        return object;
    });
}

// Settings, usage events, network and languages, in that order.
void registerCoreSingletons();

// The system bridge over the program's settings store, its monitor device
// started, registered for QML.
void registerSystemBridge();

// The six native singletons, in the order the interface expects; creates the
// system bridge (and starts its monitor device) and the device manager.
void registerSingletons();

} // namespace Startup
