// Kept apart from Startup.cpp so that programs linking only the core
// services (the QML test runner) do not pull in the bridge and device code.
#include "app/Startup.h"

#include "app/SettingsManager.h"
#include "bridge/SystemBridge.h"
#include "device/HIDHotplugManager.h"

namespace Startup {

void registerSystemBridge()
{
    SystemBridge::setStoredSettings(SettingsManager::instance());
    SystemBridge::instance()->initializeMonitorDevice();
    registerSingleton<SystemBridge>("VeloranDeckSystemBridge", "SystemBridge");
}

void registerSingletons()
{
    registerCoreSingletons();

    registerSystemBridge();

    HIDHotplugManager::instance();
    registerSingleton<HIDHotplugManager>("VeloranDeckHIDHotplug", "HIDHotplugManager");
}

} // namespace Startup
