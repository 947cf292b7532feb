#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
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
    // Power: the base's plug, or the R7 unit's.
    Q_INVOKABLE void plug();
    Q_INVOKABLE void unplug();

    // --- firmware ---
    // A valid firmware file of the run's model, `bytes` long in all: the
    // pull road's file (head and image) for the T40 and U20, the boot
    // loader's image for the R7. Empty when no device is installed or the
    // size cannot hold an image.
    Q_INVOKABLE QByteArray firmwareFile(int major, int minor, int bytes) const;
    // The image the device runs from now: the pull road's flashed body, or
    // the image in the R7's flash (as long as its descriptor says).
    Q_INVOKABLE QByteArray firmwareImage() const;
    // One upgrade fault at a time: "none"; "refuse" (the pull road's start
    // answered with `at`, 1 for a low battery); "powerLoss" (power lost when
    // block `at` is due, or, on the R7, at data packet `at`). False for an
    // unknown kind or a fault the model has not.
    Q_INVOKABLE bool setUpgradeFault(const QString &kind, int at = 0);
};
