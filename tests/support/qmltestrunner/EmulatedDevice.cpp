#include "EmulatedDevice.h"

#include "device/EmulatedDeviceMode.h"
#include "device/emulator/hid_attachment.h"
#include "device/emulator/mic_base_emulator.h"

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
