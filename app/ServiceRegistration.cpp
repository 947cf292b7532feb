// Kept apart from Startup.cpp so that programs linking only the core
// services (the QML test runner) do not pull in the bridge and device code.
#include "app/Startup.h"

#include "bridge/SystemBridge.h"
#include "device/HIDHotplugManager.h"

namespace Startup {

void registerSingletons()
{
    registerCoreSingletons();

    SystemBridge::instance()->initializeMonitorDevice();
    registerSingleton<SystemBridge>("VeloranDeckSystemBridge", "SystemBridge");

    HIDHotplugManager::instance();
    registerSingleton<HIDHotplugManager>("VeloranDeckHIDHotplug", "HIDHotplugManager");
}

} // namespace Startup
