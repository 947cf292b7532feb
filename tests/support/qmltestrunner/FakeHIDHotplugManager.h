#pragma once

#include "CallRecorder.h"

#include <QByteArray>
#include <QVariantMap>
#include <cstdint>

// Stands in for the device manager in QML tests. Tests emit its signals
// directly from QML (HIDHotplugManager.deviceConnected(info, true)) and
// read what the interface sent through calls/callsTo.
class FakeHIDHotplugManager : public CallRecorder
{
    Q_OBJECT
    // What getDeviceInfo returns; tests set it.
    Q_PROPERTY(QVariantMap deviceInfo READ deviceInfo WRITE setDeviceInfo NOTIFY deviceInfoChanged)
public:
    using CallRecorder::CallRecorder;

    QVariantMap deviceInfo() const { return m_deviceInfo; }
    void setDeviceInfo(const QVariantMap &info);

    Q_INVOKABLE QVariantMap getDeviceInfo();
    Q_INVOKABLE void messageSend(uint16_t attID, QByteArray byteArray);
    Q_INVOKABLE void messageGet(uint16_t attID);
    Q_INVOKABLE void messageGetAll();
    Q_INVOKABLE QVariantList byteArrayToVariantList(QByteArray byteArray);
    Q_INVOKABLE void upgradeFirmware(QString filePath);
    Q_INVOKABLE void stopAndDisconnectDevice();
    Q_INVOKABLE void startAndConnectDevice();
    Q_INVOKABLE void sendPriMessage(uint32_t msgid, QByteArray byteArray);

    Q_INVOKABLE void reset() override;

signals:
    void deviceConnected(QVariantMap deviceInfo, bool isConnected);
    void messageReceived(uint16_t attID, QVariantList byteArray);
    void priMsgCallback(uint32_t msgid, uint8_t value);
    void upgradeFirmwareProgress(int progress, QString message);
    void upgradeFirmwareSignal();
    void deviceInfoChanged();

private:
    QVariantMap m_deviceInfo;
};
