#include "device/bootloader/HidUpgradeApi.h"

#include "device/bootloader/HidProtocol.h"
#include "device/bootloader/bootloader_codec.h"
#include "device/hid/HidBackend.h"
#include "platform/os/Clock.h"

#include <QDebug>
#include <QFile>
#include <QStringList>

using namespace bootloader;

namespace {

// Closes the link (and waits) on every way out once armed.
class CloseGuard
{
public:
    explicit CloseGuard(HidUpgradeApi &api)
        : m_api(api)
    {
    }
    ~CloseGuard() { m_api.closeDeviceAndWait(HidUpgradeApi::kCloseWaitMs); }
    CloseGuard(const CloseGuard &) = delete;
    CloseGuard &operator=(const CloseGuard &) = delete;

private:
    HidUpgradeApi &m_api;
};

} // namespace

HidUpgradeApi::HidUpgradeApi(QObject *parent)
    : QObject(parent)
{
}

HidUpgradeApi::~HidUpgradeApi() = default;

void HidUpgradeApi::setProgressCallback(ProgressCallback callback) { m_progress = std::move(callback); }

QString HidUpgradeApi::lastError() const { return m_lastError; }

void HidUpgradeApi::reportProgress(int percent, const QString &message)
{
    if (m_progress)
        m_progress(percent, message);
}

void HidUpgradeApi::reportError(const QString &message)
{
    m_lastError = message;
    qWarning().noquote() << message;
}

void HidUpgradeApi::sleepMs(int ms) { hidProtocol::instance()->clock().sleepForMs(ms); }

void HidUpgradeApi::closeDeviceAndWait(int ms)
{
    hidProtocol *link = hidProtocol::instance();
    if (!link->isOpen())
        return;
    link->closeDevice();
    if (ms > 0)
        sleepMs(ms);
}

quint16 HidUpgradeApi::findDevicePid(quint16 vendorId, int tries)
{
    for (int attempt = 0; attempt < tries; ++attempt) {
        for (const HidDeviceInfo &d : hidBackend().enumerate(0, 0)) {
            if (d.vendorId == vendorId)
                return d.productId;
        }
        sleepMs(100);
    }
    return 0;
}

bool HidUpgradeApi::waitForDevice(quint16 vendorId) { return findDevicePid(vendorId, 10) != 0; }

int HidUpgradeApi::checkCommandReply(int expected)
{
    hidProtocol *link = hidProtocol::instance();
    const int result = checkReply(expected, link->lastReply(), link->lastReplyCount());
    const std::string_view text = expectedReplyText(expected);
    if (result != 0 && !text.empty()) {
        QStringList actual;
        for (size_t i = 0; i < text.size(); ++i)
            actual << QStringLiteral("%1").arg(link->lastReply()[1 + i], 2, 16, QLatin1Char('0'));
        qWarning().noquote() << "命令应答不匹配, 期望:" << QString::fromLatin1(text.data(), qsizetype(text.size()))
                             << "实际:" << actual.join(QLatin1Char(' '));
    }
    return result;
}

bool HidUpgradeApi::readFlashBootVersion()
{
    hidProtocol *link = hidProtocol::instance();
    link->sendReadVersion();
    if (checkCommandReply(kCheckReadVersion) != 0)
        return false;
    const auto version = flashBootVersion(link->lastReply(), link->lastReplyCount());
    if (!version)
        return false;
    const QString text = QStringLiteral("FlashBoot 版本: %1-%2-%3")
                             .arg((*version)[0], 2, 16, QLatin1Char('0'))
                             .arg((*version)[1], 2, 16, QLatin1Char('0'))
                             .arg((*version)[2], 2, 16, QLatin1Char('0'));
    reportProgress(14, text.toUpper());
    return true;
}

bool HidUpgradeApi::enterFlashBoot(quint16 vendorId, quint16 bootProductId)
{
    const quint16 pid = findDevicePid(vendorId, 10);
    if (pid == bootProductId) {
        reportProgress(15, QStringLiteral("设备已在FlashBoot模式"));
        return true;
    }
    reportProgress(12, QStringLiteral("尝试切换至FlashBoot模式"));
    hidProtocol *link = hidProtocol::instance();
    if (!link->openDevice(vendorId, pid)) {
        reportError(QStringLiteral("打开SDK HID设备失败"));
        return false;
    }
    {
        CloseGuard guard(*this);
        if (!readFlashBootVersion()) {
            reportError(QStringLiteral("设备不存在FlashBoot"));
            return false;
        }
        link->sendRestart();
        reportProgress(18, QStringLiteral("已发送跳转命令，等待设备重启"));
    }
    os::Clock &clock = link->clock();
    const int64_t deadline = clock.deadlineAfterMs(kBootWaitMs);
    while (clock.nowNs() < deadline) {
        if (findDevicePid(vendorId, 1) == bootProductId) {
            reportProgress(20, QStringLiteral("设备已进入FlashBoot模式"));
            return true;
        }
        sleepMs(100);
    }
    reportError(QStringLiteral("SDK跳转到FlashBoot失败"));
    return false;
}

bool HidUpgradeApi::readImageFile(const QString &path, QByteArray &image, QString &error)
{
    image.clear();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("无法打开固件文件: %1").arg(path);
        return false;
    }
    const qint64 size = file.size();
    if (size < 1 || size > qint64(kMaxImageBytes)) {
        error = QStringLiteral("固件文件大小异常: %1 Bytes").arg(size);
        return false;
    }
    image = file.read(size);
    file.close();
    if (image.size() != size) {
        image.clear();
        error = QStringLiteral("读取固件文件失败");
        return false;
    }
    return true;
}

bool HidUpgradeApi::loadFirmwareImage(const QString &path, QByteArray &image, quint32 &crc)
{
    QString error;
    if (!readImageFile(path, image, error)) {
        reportError(error);
        return false;
    }
    crc = crc16Ccitt(reinterpret_cast<const uint8_t *>(image.constData()), size_t(image.size()), 0);
    reportProgress(35, QStringLiteral("固件加载完成: 大小=0x%1, CRC=0x%2")
                           .arg(image.size(), 0, 16)
                           .arg(crc, 4, 16, QLatin1Char('0')));
    return true;
}

bool HidUpgradeApi::sendFirmwareImage(const QByteArray &image)
{
    hidProtocol *link = hidProtocol::instance();
    const auto *bytes = reinterpret_cast<const uint8_t *>(image.constData());
    const size_t size = size_t(image.size());
    const uint16_t count = uint16_t(packetCount(size));
    for (size_t i = 0; i < count; ++i) {
        const auto packet = dataPacket(bytes, size, i, count);
        if (link->writeUpgradePacket(packet.data(), int(HID_UPGRADE_MAX_VALID_DATA_LENGTH), kModeData) < 0) {
            reportError(QStringLiteral("发送固件数据失败 (包%1/%2)").arg(i + 1).arg(count));
            return false;
        }
        reportProgress(70 + int(i * 10 / count), QStringLiteral("发送数据包 %1/%2").arg(i + 1).arg(count));
        link->waitEventLoop(5);
    }
    return true;
}

int HidUpgradeApi::runUpgrade(const QString &path, quint16 vendorId, quint16 bootProductId)
{
    m_lastError.clear();
    closeDeviceAndWait(kCloseWaitMs);
    reportProgress(0, QStringLiteral("开始HID升级..."));

    const quint16 pid = findDevicePid(vendorId, 10);
    if (pid == 0) {
        reportError(QStringLiteral("未找到指定VID的HID设备"));
        return ResultNoDevice;
    }
    reportProgress(5, QStringLiteral("发现设备 PID: 0x%1").arg(pid, 4, 16, QLatin1Char('0')));

    // A file that will be refused must not send the device into its boot
    // loader first: checked silently before the switch.
    {
        QByteArray probe;
        QString error;
        if (!readImageFile(path, probe, error)) {
            reportError(error);
            return ResultBadFile;
        }
    }

    if (!enterFlashBoot(vendorId, bootProductId))
        return ResultNoFlashBoot;

    QByteArray image;
    quint32 crc = 0;
    if (!loadFirmwareImage(path, image, crc))
        return ResultBadFile;

    reportProgress(40, QStringLiteral("打开FlashBoot HID设备"));
    hidProtocol *link = hidProtocol::instance();
    if (!link->openDevice(vendorId, bootProductId)) {
        reportError(QStringLiteral("打开FlashBoot HID设备失败"));
        return ResultNoDevice;
    }
    CloseGuard guard(*this);

    reportProgress(45, QStringLiteral("设备已打开，准备握手"));
    link->sendVerifyCrc(crc);
    if (checkCommandReply(kCheckVerifyCrc) != 0) {
        reportError(QStringLiteral("握手失败，错误ID[2-0]"));
        return ResultCommandFailed;
    }

    reportProgress(55, QStringLiteral("握手成功，擦除Flash"));
    link->sendCodeSize(kCodeAddress, quint32(image.size()), kEraseWaitMs);
    if (checkCommandReply(kCheckCode) != 0) {
        reportError(QStringLiteral("擦除失败，错误ID[3-2]"));
        return ResultCommandFailed;
    }

    reportProgress(70, QStringLiteral("刷写固件数据"));
    if (!sendFirmwareImage(image))
        return ResultCommandFailed;

    reportProgress(85, QStringLiteral("确认数据长度"));
    link->sendUpgradeConfirm(quint32(image.size()));
    if (checkCommandReply(kCheckAnyReply) != 0) {
        reportError(QStringLiteral("升级确认失败，错误ID[4-1]"));
        return ResultCommandFailed;
    }

    reportProgress(95, QStringLiteral("完成升级"));
    link->sendFinish();
    sleepMs(120);
    reportProgress(100, QStringLiteral("升级成功"));
    return ResultOk;
}
