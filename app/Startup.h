#pragma once

#include <QPalette>

class QGuiApplication;

namespace Startup {

QPalette darkPalette();

// Material style, dark palette and the "darkMode" property.
void applyDarkLook(QGuiApplication &app);

// The six native singletons, in the order the interface expects; creates the
// system bridge (and starts its monitor device) and the device manager.
void registerSingletons();

} // namespace Startup
