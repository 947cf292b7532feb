#include "EmulatedDevice.h"

#include "app/EmulatedDeviceMode.h"
#include "device/emulator/hid_attachment.h"
#include "device/emulator/firmware_image.h"
#include "device/emulator/mic_base_emulator.h"
#include "device/emulator/mic_base_unit.h"

namespace {

constexpr size_t kPullHeadBytes = 32;

QByteArray bytesOf(const std::vector<uint8_t> &bytes)
{
    return QByteArray(reinterpret_cast<const char *>(bytes.data()), qsizetype(bytes.size()));
}

} // namespace

QVariantList EmulatedDevice::attribute(int id) const
{
    QVariantList bytes;
    auto *emulator = emulatedDeviceForTests();
    if (!emulator || id < 0 || id > 255)
        return bytes;
    const auto store = emulator->attributes();
    if (const auto *value = store.get(uint8_t(id))) {
        for (uint8_t byte : *value)
            bytes.append(int(byte));
    }
    return bytes;
}

bool EmulatedDevice::changeAttribute(int id, const QVariantList &bytes)
{
    auto *emulator = emulatedDeviceForTests();
    if (!emulator || id < 0 || id > 255)
        return false;
    std::vector<uint8_t> value;
    for (const QVariant &item : bytes) {
        bool ok = false;
        const int byte = item.toInt(&ok);
        if (!ok || byte < 0 || byte > 255)
            return false;
        value.push_back(uint8_t(byte));
    }
    return emulator->changeAttribute(uint8_t(id), value);
}

int EmulatedDevice::receivedCount(int messageId) const
{
    auto *emulator = emulatedDeviceForTests();
    if (!emulator || messageId < 0 || messageId > 0xFFFF)
        return 0;
    return int(emulator->receivedCount(uint16_t(messageId), false));
}

bool EmulatedDevice::pressKnob(int value)
{
    auto *emulator = emulatedDeviceForTests();
    if (!emulator || value < 0 || value > 255)
        return false;
    return emulator->pressKnob(uint8_t(value));
}

bool EmulatedDevice::sendAutoGainLevel(int level)
{
    auto *emulator = emulatedDeviceForTests();
    if (!emulator || level < 0 || level > 255)
        return false;
    return emulator->sendAutoGainLevel(uint8_t(level));
}

void EmulatedDevice::setEchoWrites(bool on)
{
    if (auto *emulator = emulatedDeviceForTests())
        emulator->setEchoWrites(on);
}

void EmulatedDevice::plug()
{
    setEmulatedDevicePlugged(true);
}

void EmulatedDevice::unplug()
{
    setEmulatedDevicePlugged(false);
}

QByteArray EmulatedDevice::firmwareFile(int major, int minor, int bytes) const
{
    using namespace veloran::emu;
    if (major < 0 || major > 255 || minor < 0 || minor > 255 || bytes < 0 || size_t(bytes) > pull::kMaxBodyBytes)
        return {};
    const size_t size = size_t(bytes);
    if (emulatedUnitForTests()) {
        if (size < kImageDescriptorBytes)
            return {};
        return bytesOf(makeFirmwareImage(Model::R7, uint8_t(major), uint8_t(minor), size));
    }
    const auto *emulator = emulatedDeviceForTests();
    if (!emulator || size < kPullHeadBytes + kImageDescriptorBytes)
        return {};
    return bytesOf(makePullFirmwareFile(emulator->config().model, uint8_t(major), uint8_t(minor), size - kPullHeadBytes));
}

QByteArray EmulatedDevice::firmwareImage() const
{
    using namespace veloran::emu;
    if (const auto *unit = emulatedUnitForTests()) {
        const auto head = unit->readFlash(FirmwareFlash::kApplicationAddress, kImageDescriptorBytes);
        if (head.size() < kImageDescriptorBytes)
            return {};
        return bytesOf(unit->readFlash(FirmwareFlash::kApplicationAddress, readLe(head.data() + 8, 4)));
    }
    const auto *emulator = emulatedDeviceForTests();
    return emulator ? bytesOf(emulator->firmwareBody()) : QByteArray();
}

bool EmulatedDevice::setUpgradeFault(const QString &kind, int at)
{
    using namespace veloran::emu;
    if (at < 0)
        return false;
    if (auto *unit = emulatedUnitForTests()) {
        UnitFaults faults;
        if (kind == QLatin1String("powerLoss"))
            faults.bootLoader.powerLossAtPacket = at;
        else if (kind != QLatin1String("none"))
            return false;
        unit->setFaults(faults);
        return true;
    }
    auto *emulator = emulatedDeviceForTests();
    if (!emulator)
        return false;
    PullFault fault;
    if (kind == QLatin1String("refuse") && at <= 255) {
        fault.kind = PullFault::Kind::RefuseStart;
        fault.result = uint8_t(at);
    } else if (kind == QLatin1String("powerLoss")) {
        fault.kind = PullFault::Kind::Unplug;
        fault.block = size_t(at);
    } else if (kind != QLatin1String("none")) {
        return false;
    }
    emulator->setPullFault(fault);
    return true;
}
