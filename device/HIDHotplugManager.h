#pragma once

#include "threading/RepeatingTimer.h"
#include "device/pullupgrade/pull_upgrade_server.h"

#include <QByteArray>
#include <QFuture>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <QVariantMap>

#include <cstdint>
#include <memory>

class HIDDevice;
class HidBackend;
struct msg_record;
struct msg_reply_info;

// The one object through which the program reaches the microphone base: it
// scans the bus every 2 s for a supported device, opens it through
// HIDDevice, hosts the device message protocol on one transport port and
// ticks it every millisecond, keeps the device information map and offers
// attribute and private messages to QML.
//
// GUI thread only. The protocol core is process-wide, so only one manager
// may exist at a time; its callbacks reach the manager that hosts it.
class HIDHotplugManager : public QObject
{
    Q_OBJECT
public:
    static constexpr quint16 kVendorId = 0x3A71;
    static constexpr quint16 kProductT40 = 0x000D;
    static constexpr quint16 kProductU20 = 0x000E;
    static constexpr quint16 kProductR7 = 0x9829;
    static constexpr quint16 kProductBootLoader = 0x0820;
    static constexpr quint16 kUsagePage = 0x8C;
    static constexpr quint16 kUsagePageR7 = 0x0C;
    static constexpr int kScanIntervalMs = 2000;
    static constexpr int kTickIntervalMs = 1;
    static constexpr int kMaxAttributeBytes = 200;
    static constexpr int kMaxPrivateMessageBytes = 0xFFFF;
    static constexpr quint32 kPrivateAutoGainLevel = 0x8002;
    static constexpr quint32 kPrivateKnobHotkey = 0x8003;
    static constexpr quint32 kPrivatePullUpgrade = 0x8006;
    static constexpr int kDeviceChecks = 10;
    static constexpr int kDeviceCheckPauseMs = 500;
    // A pull run whose result was lost waits this long after its last report
    // for the device to come back: as long as the upgrade page waits for one.
    static constexpr uint32_t kPullReturnWaitMs = 60000;

    // The program's manager on the process-wide HID backend as it stands at
    // the first call (the program's start-up installs any other backend
    // before); never deleted.
    static HIDHotplugManager *instance();

    // A manager on another backend and timers (tests). It starts scanning at
    // once, like the program's.
    HIDHotplugManager(HidBackend &backend, RepeatingTimerFactory &timers, QObject *parent = nullptr);
    ~HIDHotplugManager() override;

    Q_INVOKABLE QVariantMap getDeviceInfo() const;
    Q_INVOKABLE void messageSend(uint16_t attID, QByteArray byteArray);
    Q_INVOKABLE void messageGet(uint16_t attID);
    Q_INVOKABLE void messageGetAll();
    Q_INVOKABLE QVariantList byteArrayToVariantList(QByteArray byteArray) const;
    Q_INVOKABLE void stopAndDisconnectDevice();
    Q_INVOKABLE void startAndConnectDevice();
    Q_INVOKABLE void sendPriMessage(uint32_t msgid, QByteArray byteArray);
    // T40 and U20: the device pulls the file block by block through 0x8006
    // upgrade frames; a new call restarts the run. When the device reboots
    // after its last block without its result having arrived, the run ends
    // on its return by the version it reports. Any other model (or a
    // device found in its boot loader): the boot-loader worker on the global
    // thread pool. Refused while that worker runs.
    Q_INVOKABLE void upgradeFirmware(QString filePath);

    // The boot-loader road on a pool thread: waits for the device, runs the
    // upgrade and queues every progress report to the manager's thread.
    // Pauses go through the boot-loader link's clock.
    static void runBootloaderUpgrade(HIDHotplugManager *manager, const QString &filePath, quint16 vendorId,
                                     quint16 bootProductId);
    bool bootloaderUpgradeRunning() const;

    // The file of the current or last pull upgrade.
    QByteArray firmwareImage() const;
    // One upgrade frame of this command and data, as a tracked 0x8006 request.
    void sendUpgradeFrame(uint8_t command, const QByteArray &data);

signals:
    void deviceConnected(QVariantMap deviceInfo, bool isConnected);
    void messageReceived(uint16_t attID, QVariantList byteArray);
    void priMsgCallback(uint32_t msgid, uint8_t value);
    void upgradeFirmwareProgress(int progress, QString message);
    void upgradeFirmwareSignal();

private slots:
    void onScanTimer();
    void onTimeout();
    void onHidDeviceConnected(const QString &path);
    void onHidDeviceDisconnected(const QString &path);
    void onHidDataReceived(const QString &path, const QByteArray &data);

private:
    // Plain-function callbacks of the protocol core forward to these.
    friend struct HotplugCoreCallbacks;
    int writeFrameToDevice(int port, int length, const uint8_t *frame);
    void onNodeLogin(int origin, int kind, quint32 address);
    int onDeviceName(const msg_reply_info &info, const uint8_t *data);
    int onDeviceSerial(const msg_reply_info &info, const uint8_t *data);
    int onDeviceVersion(const msg_reply_info &info, const uint8_t *data);
    void onProtocolError(int code, int messageId);
    int onAttributeMessage(const msg_reply_info &info, uint8_t attID, const uint8_t *data);
    void onPrivateMessage(int port, const msg_record &record);
    void onUpgradeRequestTimeout(const msg_record &record);
    void applyPullUpgrade(const veloran::pullupgrade::ServerOutput &out);
    // Ends the wait for a device gone after its last block once the page has
    // given the run up.
    void checkPullReturnWait();

    void scanDevices();
    void emitDeviceConnected();
    // The device behind the port is gone: its nodes and any half-received
    // frame are dropped, so that the next session logs in afresh.
    void forgetDevice();

    HidBackend &m_backend;
    quint16 m_usbVendorId = 0;
    quint16 m_usbProductId = 0;
    quint16 m_usagePage = 0;
    quint32 m_peerAddress = 0; // node number in the low byte
    std::unique_ptr<RepeatingTimer> m_scanTimer;
    std::unique_ptr<RepeatingTimer> m_tickTimer;
    bool m_online = false;
    bool m_bootLoaderSeen = false; // a device in its boot loader is on the bus, signalled once
    int m_port = 0;
    QVariantMap m_deviceInfo;
    HIDDevice *m_hidDevice = nullptr; // child
    veloran::pullupgrade::PullUpgradeServer m_pullUpgrade; // holds the firmware image
    uint32_t m_pullLastReportMs = 0; // protocol clock at the pull road's last report or start
    // The boot-loader worker; only the GUI thread starts it or asks about it.
    // It owns the link while it runs: no second run, no device opened.
    QFuture<void> m_bootloaderWorker;
};
