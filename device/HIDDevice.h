#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>
#include <vector>

class HidBackend;
class HidHandle;

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

private slots:
    void onReaderStopped();

private:
    // One open interface and its reader. The reader never looks at
    // m_devices; it only sees its own state.
    struct HidDeviceEntry
    {
        HidDeviceEntry(HidHandle *h, const QString &p, quint64 n) : handle(h), path(p), id(n) {}
        HidHandle *const handle; // closed only after readerThread has been joined
        const QString path;
        const quint64 id;                 // tells a reopened path's entry from the old one
        std::atomic<bool> running{true};  // cleared by the owner when closing starts
        std::thread readerThread;         // started and joined by the owner or its close task
    };
    class PendingCloses;

    void startDataReadThread(const QString &path);
    void readerLoop(HidDeviceEntry *entry);
    bool readerStep(HidDeviceEntry &entry, uint8_t *buffer);
    void closeEntryOf(const QString &path, quint64 id);

    HidBackend &m_backend;
    quint16 m_vendorId = 0;
    quint16 m_productId = 0;
    quint16 m_usagePage = 0;
    quint64 m_nextEntryId = 1;
    std::map<QString, std::shared_ptr<HidDeviceEntry>> m_devices; // owner thread only
    std::shared_ptr<PendingCloses> m_pendingCloses; // shared with the close tasks on the pool
    std::mutex m_stoppedMutex;
    std::vector<std::pair<QString, quint64>> m_stoppedReaders; // guarded by m_stoppedMutex
};
