#include "device/HIDHotplugManager.h"

#include "device/HIDDevice.h"
#include "device/HidFrameTransport.h"
#include "device/HidTrafficLog.h"
#include "threading/QtHandoff.h"
#include "device/bootloader/HidProtocol.h"
#include "device/bootloader/HidUpgradeApi.h"
#include "platform/os/Clock.h"
#include "device/hid/HidBackend.h"
#include "device/protocol/msg_handlers.h"
#include "device/protocol/msg_protocol.h"
#include "device/protocol/msg_runtime.h"
#include "device/pullupgrade/pull_upgrade_codec.h"

#include <QDateTime>
#include <QDebug>
#include <QFile>
#include <QPromise>

namespace {

HIDHotplugManager *s_host = nullptr; // the manager that hosts the protocol core; GUI thread only

QString hex4(quint32 value)
{
    return QStringLiteral("0x%1").arg(value, 4, 16, QLatin1Char('0'));
}

QByteArray bytesOf(const uint8_t *data, int length)
{
    if (!data || length <= 0)
        return {};
    return QByteArray(reinterpret_cast<const char *>(data), length);
}

// A device text: the given bytes up to the first NUL, as UTF-8.
QString deviceText(const msg_reply_info &info, const uint8_t *data)
{
    if (info.status != 0)
        return {};
    QByteArray bytes = bytesOf(data, info.length);
    const qsizetype nul = bytes.indexOf('\0');
    if (nul >= 0)
        bytes.truncate(nul);
    return QString::fromUtf8(bytes);
}

} // namespace

// The protocol core calls plain functions; these hand each call to the
// manager that hosts the core, if there still is one.
struct HotplugCoreCallbacks
{
    static int sendFrame(int port, int length, const uint8_t *frame)
    {
        return s_host ? s_host->writeFrameToDevice(port, length, frame) : -1;
    }
    static void login(int from, int kind, uint32_t address)
    {
        if (s_host)
            s_host->onNodeLogin(from, kind, address);
    }
    static void name(const msg_reply_info *info, const uint8_t *data)
    {
        if (s_host && info)
            s_host->onDeviceName(*info, data);
    }
    static void serial(const msg_reply_info *info, const uint8_t *data)
    {
        if (s_host && info)
            s_host->onDeviceSerial(*info, data);
    }
    static void version(const msg_reply_info *info, const uint8_t *data)
    {
        if (s_host && info)
            s_host->onDeviceVersion(*info, data);
    }
    static void error(int code, int messageId)
    {
        if (s_host)
            s_host->onProtocolError(code, messageId);
    }
    static void attribute(const msg_reply_info *info, uint8_t attribute, const uint8_t *value)
    {
        if (s_host && info)
            s_host->onAttributeMessage(*info, attribute, value);
    }
    static int privateMessage(int port, msg_record *record)
    {
        if (s_host && record)
            s_host->onPrivateMessage(port, *record);
        return 0;
    }
    static int upgradeTimeout(int, msg_record *record)
    {
        if (s_host && record)
            s_host->onUpgradeRequestTimeout(*record);
        return 0;
    }
};

HIDHotplugManager *HIDHotplugManager::instance()
{
    static HIDHotplugManager *s_instance = new HIDHotplugManager(hidBackend(), qtTimerFactory());
    return s_instance;
}

HIDHotplugManager::HIDHotplugManager(HidBackend &backend, RepeatingTimerFactory &timers, QObject *parent)
    : QObject(parent)
    , m_backend(backend)
{
    m_hidDevice = new HIDDevice(backend, this);
    connect(m_hidDevice, &HIDDevice::deviceConnected, this, &HIDHotplugManager::onHidDeviceConnected);
    connect(m_hidDevice, &HIDDevice::deviceDisconnected, this, &HIDHotplugManager::onHidDeviceDisconnected);
    connect(m_hidDevice, &HIDDevice::dataReceived, this, &HIDHotplugManager::onHidDataReceived);

    m_scanTimer = timers.create(this, [this] { onScanTimer(); });
    m_scanTimer->start(kScanIntervalMs);
    m_tickTimer = timers.create(this, [this] { onTimeout(); });
    m_tickTimer->start(kTickIntervalMs);

    s_host = this;
    msg_init();
    m_port = msg_add_port(&HotplugCoreCallbacks::sendFrame);

    msg_set_login_callback(&HotplugCoreCallbacks::login);
    msg_set_name_callback(&HotplugCoreCallbacks::name);
    msg_set_serial_callback(&HotplugCoreCallbacks::serial);
    msg_set_version_callback(&HotplugCoreCallbacks::version);
    msg_set_error_callback(&HotplugCoreCallbacks::error);
    msg_set_attr_callback(&HotplugCoreCallbacks::attribute);

    msg_register_handler(uint16_t(kPrivateAutoGainLevel), &HotplugCoreCallbacks::privateMessage, nullptr);
    msg_register_handler(uint16_t(kPrivateKnobHotkey), &HotplugCoreCallbacks::privateMessage, nullptr);
    msg_register_handler(uint16_t(kPrivatePullUpgrade), &HotplugCoreCallbacks::privateMessage,
                         &HotplugCoreCallbacks::upgradeTimeout);

    qDebug().noquote() << "HIDHotplugManager 单例创建完成，开始监测设备";
    qDebug().noquote() << "监测设备 VID:" << hex4(m_usbVendorId) << "PID:" << hex4(m_usbProductId);
}

HIDHotplugManager::~HIDHotplugManager()
{
    // The worker reports to this object until it returns.
    m_bootloaderWorker.waitForFinished();
    m_scanTimer->stop();
    m_tickTimer->stop();
    if (s_host == this)
        s_host = nullptr;
    qDebug().noquote() << "HIDHotplugManager 单例销毁完成，停止监测设备";
}

QVariantMap HIDHotplugManager::getDeviceInfo() const
{
    return m_deviceInfo;
}

void HIDHotplugManager::messageSend(uint16_t attID, QByteArray byteArray)
{
    if (!m_hidDevice->hasDevices())
        return;
    // The length travels in one byte and the device takes at most 200 value
    // bytes; cutting the value would set something else than was asked.
    if (byteArray.size() > kMaxAttributeBytes) {
        qWarning().noquote() << "HIDHotplugManager::messageSend 属性数据过长，拒绝发送 attID:" << attID
                             << "长度:" << byteArray.size() << "上限:" << kMaxAttributeBytes;
        return;
    }
    qDebug().noquote() << "属性发送 " << "attID:" << attID << "数据:" << byteArray.toHex();
    msg_attr_set(m_peerAddress, uint8_t(attID), uint8_t(byteArray.size()),
                 reinterpret_cast<const uint8_t *>(byteArray.constData()));
    HidTrafficLog::appendAttributeLog(attID, byteArray, QStringLiteral("发送"));
}

void HIDHotplugManager::messageGet(uint16_t attID)
{
    if (!m_hidDevice->hasDevices())
        return;
    qDebug().noquote() << "属性获取 " << "attID:" << attID;
    msg_attr_get(m_peerAddress, uint8_t(attID));
}

void HIDHotplugManager::messageGetAll()
{
    if (!m_hidDevice->hasDevices())
        return;
    qDebug().noquote() << "获取所有属性";
    msg_attr_get_list(m_peerAddress, 0, nullptr);
}

QVariantList HIDHotplugManager::byteArrayToVariantList(QByteArray byteArray) const
{
    QVariantList list;
    list.reserve(byteArray.size());
    for (char byte : byteArray)
        list.append(static_cast<uint>(static_cast<uint8_t>(byte)));
    return list;
}

void HIDHotplugManager::stopAndDisconnectDevice()
{
    qDebug().noquote() << "HIDHotplugManager::stopAndDisconnectDevice 停止监测并断开设备";
    if (m_scanTimer->isActive())
        m_scanTimer->stop();
    if (m_tickTimer->isActive())
        m_tickTimer->stop();
    m_hidDevice->closeAllDevices();
    m_online = false;
    // Also when nothing was open: a node heard before must log in afresh.
    forgetDevice();
}

void HIDHotplugManager::startAndConnectDevice()
{
    qDebug().noquote() << "HIDHotplugManager::startAndConnectDevice 启动监测并尝试连接设备";
    if (!m_scanTimer->isActive())
        m_scanTimer->start(kScanIntervalMs);
    if (!m_tickTimer->isActive())
        m_tickTimer->start(kTickIntervalMs);
}

void HIDHotplugManager::sendPriMessage(uint32_t msgid, QByteArray byteArray)
{
    if (byteArray.size() > kMaxPrivateMessageBytes) {
        qWarning().noquote() << "HIDHotplugManager::sendPriMessage 私有消息过长，拒绝发送 msgid:" << hex4(msgid)
                             << "长度:" << byteArray.size() << "上限:" << kMaxPrivateMessageBytes;
        return;
    }
    msg_record record{};
    record.type = msgid == kPrivatePullUpgrade ? kMsgTypeRequest : kMsgTypeNotification;
    record.length = uint16_t(byteArray.size());
    record.id = uint16_t(msgid);
    record.destination = m_peerAddress;
    // Borrowed: msg_send copies what it keeps.
    record.payload = byteArray.isEmpty() ? nullptr : reinterpret_cast<uint8_t *>(byteArray.data());
    msg_send(kMsgSendTrack, &record);
    HidTrafficLog::appendAttributeLog(uint16_t(msgid), byteArray, QStringLiteral("发送"));
}

void HIDHotplugManager::onScanTimer()
{
    checkPullReturnWait();
    scanDevices();
}

void HIDHotplugManager::onTimeout()
{
    msg_tick();
    msg_advance_clock(1);
}

void HIDHotplugManager::scanDevices()
{
    if (m_hidDevice->hasDevices())
        return;
    // The worker has the device to itself, through its reboots.
    if (bootloaderUpgradeRunning())
        return;

    bool found = false;
    bool bootLoader = false;
    for (const HidDeviceInfo &entry : m_backend.enumerate(0, 0)) {
        if (entry.vendorId != kVendorId)
            continue;
        if (entry.productId == kProductBootLoader)
            bootLoader = true;
        if (entry.productId != kProductT40 && entry.productId != kProductU20 && entry.productId != kProductR7)
            continue;
        m_usbVendorId = entry.vendorId;
        m_usbProductId = entry.productId;
        m_deviceInfo[QStringLiteral("dpid")] = int(entry.productId);
        found = true;
        break;
    }

    // A device left in its boot loader (an interrupted upgrade) speaks no
    // message protocol: the interface is told once per appearance, so that
    // it can upgrade it again; scanning goes on meanwhile.
    if (!found && bootLoader) {
        if (!m_bootLoaderSeen) {
            m_bootLoaderSeen = true;
            m_usbVendorId = kVendorId;
            m_usbProductId = kProductBootLoader;
            qDebug().noquote() << "检测到处于升级模式的设备 VID:" << hex4(m_usbVendorId) << "PID:" << hex4(m_usbProductId);
            emit upgradeFirmwareSignal();
        }
    } else {
        m_bootLoaderSeen = false;
    }

    if (found && !m_online) {
        m_online = true;
        qDebug().noquote() << "设备已在线";
    } else if (!found && m_online) {
        m_online = false;
        qDebug().noquote() << "设备已离线";
    }

    if (m_online && !m_hidDevice->hasDevices()) {
        m_usagePage = m_usbProductId == kProductR7 ? kUsagePageR7 : kUsagePage;
        qDebug().noquote() << "设备在线，尝试连接" << "FIXED_USAGE:" << m_usagePage;
        m_hidDevice->openDevices(m_usbVendorId, m_usbProductId, m_usagePage);
    }
}

int HIDHotplugManager::writeFrameToDevice(int /*port*/, int length, const uint8_t *frame)
{
    if (!m_hidDevice->hasDevices() || !frame || length <= 0)
        return -1;
    return writeFrameReports(*m_hidDevice, m_usbProductId, bytesOf(frame, length));
}

void HIDHotplugManager::onHidDataReceived(const QString &path, const QByteArray &data)
{
    // A report read just before its interface was closed may still be queued;
    // parsed after the close it would bring back the nodes the close forgot.
    if (!m_hidDevice->devicePaths().contains(path))
        return;
    const QByteArray bytes = frameBytesFromReport(m_usbProductId, data);
    if (!bytes.isEmpty())
        msg_parse_bytes(m_port, int(bytes.size()), reinterpret_cast<const uint8_t *>(bytes.constData()));
}

void HIDHotplugManager::onNodeLogin(int origin, int kind, quint32 address)
{
    if (!msg_answer_login(origin, address))
        return;
    m_peerAddress = address;
    if (msg_address_node(address) != 0) {
        m_deviceInfo[QStringLiteral("pid")] = int(msg_address_group(address));
        m_deviceInfo[QStringLiteral("vid")] = int(msg_address_network(address));
    }
    qDebug().noquote() << QDateTime::currentDateTime().toString(Qt::ISODateWithMs) << "用户登录回调 from:" << origin
                       << "type:" << kind
                       << QStringLiteral("VID:%1 PID:%2 CHID:%3")
                              .arg(hex4(msg_address_network(address)), hex4(msg_address_group(address)),
                                   hex4(msg_address_node(address)));
}

int HIDHotplugManager::onDeviceName(const msg_reply_info &info, const uint8_t *data)
{
    const QString name = deviceText(info, data);
    if (name.isEmpty())
        return -1;
    m_deviceInfo[QStringLiteral("name")] = name;
    emitDeviceConnected();
    qDebug().noquote() << "设备名回调，长度:" << info.length << "数据:" << bytesOf(data, info.length).toHex()
                       << "设备名:" << name;
    return 0;
}

int HIDHotplugManager::onDeviceSerial(const msg_reply_info &info, const uint8_t *data)
{
    const QString serial = deviceText(info, data);
    if (serial.isEmpty())
        return -1;
    m_deviceInfo[QStringLiteral("sn")] = serial;
    emitDeviceConnected();
    qDebug().noquote() << "SN回调，长度:" << info.length << "数据:" << bytesOf(data, info.length).toHex()
                       << "SN:" << serial;
    return 0;
}

int HIDHotplugManager::onDeviceVersion(const msg_reply_info &info, const uint8_t *data)
{
    if (!data)
        return 0;
    // The text is formed from bytes 9 and 10; a shorter answer must not
    // read past its end nor replace a good version.
    constexpr int kMinorByte = 10;
    if (info.length <= kMinorByte) {
        qWarning().noquote() << "版本回调，长度:" << info.length << "版本数据过短，忽略:"
                             << bytesOf(data, info.length).toHex();
        return 0;
    }
    const QString version =
        QStringLiteral("V%1.%2").arg(int(data[9])).arg(int(data[kMinorByte]), 2, 10, QLatin1Char('0'));
    m_deviceInfo[QStringLiteral("version")] = version;
    // A pull run that lost its result ends before the page hears of the
    // device, so that the page does not hand it the file again.
    checkPullReturnWait();
    applyPullUpgrade(m_pullUpgrade.deviceBack(version.toStdString()));
    emitDeviceConnected();
    qDebug().noquote() << "版本回调，长度:" << info.length << "版本:" << version;
    return 0;
}

void HIDHotplugManager::onProtocolError(int code, int messageId)
{
    qDebug().noquote() << "错误回调 id:" << code << "msgid:" << messageId;
}

int HIDHotplugManager::onAttributeMessage(const msg_reply_info &info, uint8_t attID, const uint8_t *data)
{
    if (info.status != 0 || info.length == 0 || attID == 0 || !data)
        return -1;
    const QByteArray bytes = bytesOf(data, info.length);
    const QVariantList list = byteArrayToVariantList(bytes);
    emit messageReceived(attID, list);
    qDebug().noquote() << "属性回调 " << "attID:" << attID << "数据:" << bytes.toHex() << "转换后数组长度:"
                       << list.size();
    HidTrafficLog::appendAttributeLog(attID, bytes, QStringLiteral("接收"));
    return 0;
}

void HIDHotplugManager::upgradeFirmware(QString filePath)
{
    using veloran::pullupgrade::PullUpgradeServer;
    if (bootloaderUpgradeRunning()) {
        qWarning().noquote() << "HIDHotplugManager::upgradeFirmware 固件升级进行中，拒绝再次升级:" << filePath;
        return;
    }
    if (m_usbProductId == kProductT40 || m_usbProductId == kProductU20) {
        QFile file(filePath);
        if (!file.open(QIODevice::ReadOnly)) {
            qDebug().noquote() << "读取文件失败";
            emit upgradeFirmwareProgress(0, QStringLiteral("升级失败"));
            return;
        }
        // One byte over the limit is enough for the server to refuse the file.
        const QByteArray bytes = file.read(qint64(PullUpgradeServer::kMaxImageBytes) + 1);
        file.close();
        m_pullLastReportMs = msg_clock_ms();
        const QString versionBefore = m_deviceInfo.value(QStringLiteral("version")).toString();
        applyPullUpgrade(m_pullUpgrade.start({bytes.begin(), bytes.end()}, versionBefore.toStdString()));
        return;
    }

    auto promise = std::make_shared<QPromise<void>>();
    m_bootloaderWorker = promise->future();
    promise->start();
    const quint16 vendorId = m_usbVendorId;
    startPooled([this, promise, filePath, vendorId] {
        runBootloaderUpgrade(this, filePath, vendorId, kProductBootLoader);
        promise->finish();
    });
}

bool HIDHotplugManager::bootloaderUpgradeRunning() const
{
    return m_bootloaderWorker.isRunning();
}

void HIDHotplugManager::runBootloaderUpgrade(HIDHotplugManager *manager, const QString &filePath, quint16 vendorId,
                                             quint16 bootProductId)
{
    // The signal itself is queued: it is emitted on the manager's thread
    // with copies Qt makes of the arguments.
    const auto report = [manager](int progress, const QString &message) {
        QMetaObject::invokeMethod(manager, "upgradeFirmwareProgress", Qt::QueuedConnection, Q_ARG(int, progress),
                                  Q_ARG(QString, message));
    };
    HidUpgradeApi upgrade;
    upgrade.setProgressCallback(report);

    bool present = false;
    for (int check = 0; check < kDeviceChecks && !present; ++check) {
        present = upgrade.waitForDevice(vendorId);
        if (!present)
            hidProtocol::instance()->clock().sleepForMs(kDeviceCheckPauseMs);
    }
    if (!present) {
        qWarning().noquote() << QStringLiteral("未检测到 VID=0x%1 的 HID 设备（已重试 10 次 / 5s）").arg(vendorId, 0, 16);
        report(0, QStringLiteral("升级失败"));
        return;
    }
    if (upgrade.runUpgrade(filePath, vendorId, bootProductId) == HidUpgradeApi::ResultOk) {
        qDebug().noquote() << "升级成功完成";
        return;
    }
    qWarning().noquote() << QStringLiteral("升级失败: ") + upgrade.lastError();
    report(0, QStringLiteral("升级失败"));
}

QByteArray HIDHotplugManager::firmwareImage() const
{
    const std::vector<uint8_t> &image = m_pullUpgrade.image();
    return QByteArray(reinterpret_cast<const char *>(image.data()), qsizetype(image.size()));
}

void HIDHotplugManager::sendUpgradeFrame(uint8_t command, const QByteArray &data)
{
    const auto frame = veloran::pullupgrade::encodeUpgradeFrame(
        command, reinterpret_cast<const uint8_t *>(data.constData()), size_t(data.size()));
    if (!frame)
        return; // the server never builds one that does not fit
    sendPriMessage(kPrivatePullUpgrade, QByteArray(reinterpret_cast<const char *>(frame->data()), qsizetype(frame->size())));
}

void HIDHotplugManager::applyPullUpgrade(const veloran::pullupgrade::ServerOutput &out)
{
    for (const std::string &line : out.logs)
        qDebug().noquote() << QString::fromStdString(line);
    if (out.send)
        sendUpgradeFrame(out.command,
                         QByteArray(reinterpret_cast<const char *>(out.data.data()), qsizetype(out.data.size())));
    if (out.hasProgress) {
        m_pullLastReportMs = msg_clock_ms();
        emit upgradeFirmwareProgress(out.progress, QString::fromStdString(out.message));
    }
}

void HIDHotplugManager::checkPullReturnWait()
{
    if (m_pullUpgrade.waitingForReturn() && msg_clock_ms() - m_pullLastReportMs >= kPullReturnWaitMs)
        applyPullUpgrade(m_pullUpgrade.stopWaiting());
}

void HIDHotplugManager::onUpgradeRequestTimeout(const msg_record &record)
{
    // No report: the page's own watchdog decides when the run has failed.
    qWarning().noquote() << "HIDHotplugManager 固件升级请求无应答，已放弃 seq:" << record.sequence;
}

void HIDHotplugManager::onPrivateMessage(int /*port*/, const msg_record &record)
{
    if (record.id == kPrivatePullUpgrade) {
        const veloran::pullupgrade::FrameOrigin origin{record.source, record.type, record.sequence};
        applyPullUpgrade(m_pullUpgrade.handle(origin, record.payload, record.length));
        return;
    }
    const uint8_t value = record.length > 0 && record.payload ? record.payload[0] : 0;
    emit priMsgCallback(record.id, value);
}

void HIDHotplugManager::onHidDeviceConnected(const QString &path)
{
    qDebug().noquote() << "HIDDevice 连接成功:" << path;
    // Bytes left over from an earlier session must not start this one's frame.
    msg_reset_port(m_port);
    emitDeviceConnected();
}

void HIDHotplugManager::onHidDeviceDisconnected(const QString &path)
{
    qDebug().noquote() << "HIDDevice 断开连接:" << path;
    m_deviceInfo.remove(QStringLiteral("version"));
    if (!m_hidDevice->hasDevices()) {
        forgetDevice();
        applyPullUpgrade(m_pullUpgrade.deviceGone());
    }
    emitDeviceConnected();
}

void HIDHotplugManager::emitDeviceConnected()
{
    emit deviceConnected(m_deviceInfo, m_hidDevice->hasDevices());
}

void HIDHotplugManager::forgetDevice()
{
    msg_forget_port_nodes(m_port);
    msg_reset_port(m_port);
}
