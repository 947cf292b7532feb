#pragma once

#include <QObject>
#include <QVariantList>

// The emulated device of an end-to-end QML run (VELORAN_EMULATE), handed to
// QML as the singleton EmulatedDevice of "VeloranTestSupport".
class EmulatedDevice : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    // The attribute's current bytes; empty for an unknown id.
    Q_INVOKABLE QVariantList attribute(int id) const;
    // The device changes the attribute itself and notifies its host; false
    // for an unknown id, a bad length or a value outside 0..255.
    Q_INVOKABLE bool changeAttribute(int id, const QVariantList &bytes);
    // Messages of that id the device took in; retransmissions not counted.
    Q_INVOKABLE int receivedCount(int messageId) const;
    // The knob's hotkey gesture: private message 0x8003 with the value byte;
    // false when no device is plugged or the value is outside 0..255.
    Q_INVOKABLE bool pressKnob(int value = 1);
    // The live input level of an automatic-gain measurement: private
    // message 0x8002; false when no device is plugged or the level is
    // outside 0..255.
    Q_INVOKABLE bool sendAutoGainLevel(int level);
    // Accepted host writes come back as notifications (off by default).
    Q_INVOKABLE void setEchoWrites(bool on);
    Q_INVOKABLE void plug();
    Q_INVOKABLE void unplug();
};
