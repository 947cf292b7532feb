#pragma once

// Firmware upgrade through the device's FlashBoot boot loader: switch the
// device into its boot loader, check the image's CRC with it, erase, write the
// image in numbered packets, confirm and finish. Runs on one worker thread;
// progress goes to the callback on that thread.

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>

class HidUpgradeApi : public QObject
{
    Q_OBJECT

public:
    enum Result {
        ResultOk = 0,
        ResultCommandFailed = 1,
        ResultNoDevice = 2,
        ResultBadFile = 3,
        ResultNoFlashBoot = 4,
    };
    static constexpr quint32 kCodeAddress = 0x10000;
    static constexpr int kEraseWaitMs = 3500;
    static constexpr int kCloseWaitMs = 300;
    static constexpr int kBootWaitMs = 5000;

    using ProgressCallback = std::function<void(int percent, const QString &message)>;

    explicit HidUpgradeApi(QObject *parent = nullptr);
    ~HidUpgradeApi() override;

    void setProgressCallback(ProgressCallback callback);
    bool waitForDevice(quint16 vendorId);
    int runUpgrade(const QString &path, quint16 vendorId, quint16 bootProductId);
    QString lastError() const;

    quint16 findDevicePid(quint16 vendorId, int tries);
    bool enterFlashBoot(quint16 vendorId, quint16 bootProductId);
    bool readFlashBootVersion();
    bool loadFirmwareImage(const QString &path, QByteArray &image, quint32 &crc);
    bool sendFirmwareImage(const QByteArray &image);
    int checkCommandReply(int expected);
    void reportProgress(int percent, const QString &message);
    void reportError(const QString &message);
    void closeDeviceAndWait(int ms);

private:
    // Reads the whole file; false with the error text set otherwise.
    static bool readImageFile(const QString &path, QByteArray &image, QString &error);
    void sleepMs(int ms);

    ProgressCallback m_progress;
    QString m_lastError;
};
