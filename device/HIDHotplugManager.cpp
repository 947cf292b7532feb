#include "HIDHotplugManager.h"

HIDHotplugManager *HIDHotplugManager::instance()
{
    static HIDHotplugManager *s_instance = new HIDHotplugManager();
    return s_instance;
}

HIDHotplugManager::HIDHotplugManager(QObject *parent)
    : QObject(parent)
{
}

void HIDHotplugManager::stopAndDisconnectDevice()
{
}
