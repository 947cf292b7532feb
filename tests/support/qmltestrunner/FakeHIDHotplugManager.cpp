#include "FakeHIDHotplugManager.h"

void FakeHIDHotplugManager::setDeviceInfo(const QVariantMap &info)
{
    m_deviceInfo = info;
    emit deviceInfoChanged();
}

QVariantMap FakeHIDHotplugManager::getDeviceInfo()
{
    return m_deviceInfo;
}

void FakeHIDHotplugManager::messageSend(uint16_t attID, QByteArray byteArray)
{
    record(QStringLiteral("messageSend"), {int(attID), bytesToList(byteArray)});
}

void FakeHIDHotplugManager::messageGet(uint16_t attID)
{
    record(QStringLiteral("messageGet"), {int(attID)});
}

void FakeHIDHotplugManager::messageGetAll()
{
    record(QStringLiteral("messageGetAll"));
}

QVariantList FakeHIDHotplugManager::byteArrayToVariantList(QByteArray byteArray)
{
    return bytesToList(byteArray);
}

void FakeHIDHotplugManager::upgradeFirmware(QString filePath)
{
    record(QStringLiteral("upgradeFirmware"), {filePath});
}

void FakeHIDHotplugManager::stopAndDisconnectDevice()
{
    record(QStringLiteral("stopAndDisconnectDevice"));
}

void FakeHIDHotplugManager::startAndConnectDevice()
{
    record(QStringLiteral("startAndConnectDevice"));
}

void FakeHIDHotplugManager::sendPriMessage(uint32_t msgid, QByteArray byteArray)
{
    record(QStringLiteral("sendPriMessage"), {double(msgid), bytesToList(byteArray)});
}

void FakeHIDHotplugManager::reset()
{
    setDeviceInfo({});
    CallRecorder::reset();
}
