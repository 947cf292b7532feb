#include "SystemBridge.h"

SystemBridge *SystemBridge::instance()
{
    static SystemBridge *s_instance = new SystemBridge();
    return s_instance;
}

SystemBridge::SystemBridge(QObject *parent)
    : QObject(parent)
{
}

void SystemBridge::initializeMonitorDevice()
{
}

void SystemBridge::stopPowerEventMonitor()
{
}
