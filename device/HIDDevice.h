#pragma once

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <atomic>
#include <map>
#include <memory>

class HidBackend;
class HidHandle;
class QThread;

// Raw HID transport: opens every interface of one vendor/product id pair
// whose usage page matches, reads each on its own thread and writes output
// reports to all of them. Knows nothing of the device protocol.
//
// Everything except the reader threads runs on the owner thread (the thread
// the object lives in); dataReceived is emitted from the reader threads and
// reaches receivers on other threads queued.
class HIDDevice : public QObject
{
    Q_OBJECT
public:
    static constexpr int kReadTimeoutMs = 50; // how soon a reader sees a stop request
    static constexpr int kReadBufferBytes = 65;

    explicit HIDDevice(QObject *parent = nullptr); // uses the process-wide backend
    explicit HIDDevice(HidBackend &backend, QObject *parent = nullptr);
    ~HIDDevice() override;

    void openDevices(quint16 vendorId, quint16 productId, quint16 usagePage);
    void closeDevice(const QString &path);
    void closeAllDevices();
    bool writeAll(const QByteArray &report);
    bool writeToDevice(const QString &path, const QByteArray &data);
    bool hasDevices() const;
    QStringList devicePaths() const;

signals:
    void dataReceived(const QString &path, const QByteArray &data);
    void deviceConnected(const QString &path);
    void deviceDisconnected(const QString &path);

private:
    // What one reader needs; the reader never looks at m_devices.
    struct ReaderState
    {
        ReaderState(HidHandle *h, const QString &p) : handle(h), path(p) {}
        HidHandle *const handle; // closed only after the reader has been joined
        const QString path;
        std::atomic<bool> running{true}; // cleared by the owner when closing starts
    };
    struct HidDeviceEntry
    {
        std::shared_ptr<ReaderState> state;
        QPointer<QThread> readerThread;
    };
    class PendingCloses;

    void startDataReadThread(const QString &path);
    void readerLoop(const std::shared_ptr<ReaderState> &state);
    bool readerStep(ReaderState &state, uint8_t *buffer);
    void closeEntryOf(const std::shared_ptr<ReaderState> &state);
    void releaseEntry(HidDeviceEntry &entry);

    HidBackend &m_backend;
    quint16 m_vendorId = 0;
    quint16 m_productId = 0;
    quint16 m_usagePage = 0;
    std::map<QString, HidDeviceEntry> m_devices; // owner thread only
    std::shared_ptr<PendingCloses> m_pendingCloses; // shared with the close tasks on the pool
};
