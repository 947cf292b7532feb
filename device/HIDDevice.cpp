#include "device/HIDDevice.h"

#include "threading/QtHandoff.h"
#include "device/hid/HidBackend.h"

#include <QDebug>

#include <condition_variable>
#include <functional>
#include <mutex>

// Counts closes still running on the pool, so that destruction can wait for
// them: their readers may still emit on this object until joined.
class HIDDevice::PendingCloses
{
public:
    void add()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_count;
    }
    void done()
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (--m_count == 0)
            m_idle.notify_all();
    }
    void waitIdle()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_idle.wait(lock, [this] { return m_count == 0; });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_idle;
    int m_count = 0; // guarded by m_mutex
};

HIDDevice::HIDDevice(QObject *parent)
    : HIDDevice(hidBackend(), parent)
{
}

HIDDevice::HIDDevice(HidBackend &backend, QObject *parent)
    : QObject(parent)
    , m_backend(backend)
    , m_pendingCloses(std::make_shared<PendingCloses>())
{
}

HIDDevice::~HIDDevice()
{
    // Closed here without signals: receivers may be going away as well.
    // Stop every reader first so that their last reads overlap.
    for (auto &[path, entry] : m_devices)
        entry->running.store(false);
    for (auto &[path, entry] : m_devices) {
        if (entry->readerThread.joinable())
            entry->readerThread.join();
        m_backend.close(entry->handle);
    }
    m_devices.clear();
    m_pendingCloses->waitIdle();
}

void HIDDevice::openDevices(quint16 vendorId, quint16 productId, quint16 usagePage)
{
    m_vendorId = vendorId;
    m_productId = productId;
    m_usagePage = usagePage;

    const std::vector<HidDeviceInfo> interfaces = m_backend.enumerate(vendorId, productId);
    for (const HidDeviceInfo &info : interfaces) {
        if (info.usagePage != m_usagePage)
            continue;
        const QString path = QString::fromUtf8(info.path.c_str());
        if (m_devices.count(path))
            continue;

        qDebug() << " hid_open_path " << path;
        HidHandle *handle = m_backend.openPath(info.path);
        if (!handle) {
            // On Linux this is nearly always a missing udev rule.
            qWarning() << "HIDDevice::openDevices() - cannot open" << path
                       << QString::fromStdWString(m_backend.error(nullptr))
                       << "(check the access rights of the device node)";
            continue;
        }
        const int result = m_backend.setNonblocking(handle, 1);
        if (result < 0) {
            qWarning() << "hid_set_nonblocking failed:" << result;
            m_backend.close(handle);
            continue;
        }
        m_devices[path] = std::make_shared<HidDeviceEntry>(handle, path, m_nextEntryId++);
        startDataReadThread(path);
        emit deviceConnected(path);
    }
}

void HIDDevice::startDataReadThread(const QString &path)
{
    const auto it = m_devices.find(path);
    if (it == m_devices.end())
        return;
    // The entry outlives its thread: whoever closes it joins first.
    HidDeviceEntry *entry = it->second.get();
    entry->readerThread = std::thread([this, entry] { readerLoop(entry); });
}

// One pass of the reader: false when it has to stop.
bool HIDDevice::readerStep(HidDeviceEntry &entry, uint8_t *buffer)
{
    if (!entry.running.load())
        return false;
    const int count = m_backend.readTimeout(entry.handle, buffer, kReadBufferBytes, kReadTimeoutMs);
    if (count > 0) {
        emit dataReceived(entry.path, QByteArray(reinterpret_cast<const char *>(buffer), count));
    } else if (count < 0) {
        qWarning() << "HIDDevice: 读取错误，设备可能已断开:" << entry.path;
        return false;
    }
    return true;
}

void HIDDevice::readerLoop(HidDeviceEntry *entry)
{
    uint8_t buffer[kReadBufferBytes];
    while (readerStep(*entry, buffer)) {
    }
    qDebug() << "HIDDevice: 读线程退出，调度主线程清理:" << entry->path;
    {
        std::lock_guard<std::mutex> lock(m_stoppedMutex);
        m_stoppedReaders.emplace_back(entry->path, entry->id);
    }
    QMetaObject::invokeMethod(this, "onReaderStopped", Qt::QueuedConnection);
}

void HIDDevice::onReaderStopped()
{
    std::vector<std::pair<QString, quint64>> stopped;
    {
        std::lock_guard<std::mutex> lock(m_stoppedMutex);
        stopped.swap(m_stoppedReaders);
    }
    // Aimed at each reader's own entry: the path may have been closed and
    // opened again with a new reader since.
    for (const auto &[path, id] : stopped)
        closeEntryOf(path, id);
}

void HIDDevice::closeEntryOf(const QString &path, quint64 id)
{
    const auto it = m_devices.find(path);
    if (it != m_devices.end() && it->second->id == id)
        closeDevice(path);
}

void HIDDevice::closeDevice(const QString &path)
{
    const auto it = m_devices.find(path);
    if (it == m_devices.end())
        return;
    std::shared_ptr<HidDeviceEntry> entry = std::move(it->second);
    m_devices.erase(it);
    entry->running.store(false);

    // The join and the close run on the pool, so the owner never waits for
    // a read to time out; the handle outlives the read that uses it, and the
    // thread object outlives its thread.
    HidBackend *backend = &m_backend;
    std::shared_ptr<PendingCloses> pending = m_pendingCloses;
    pending->add();
    startPooled([backend, entry, pending] {
        if (entry->readerThread.joinable())
            entry->readerThread.join();
        backend->close(entry->handle);
        pending->done();
    });
    emit deviceDisconnected(path);
}

void HIDDevice::closeAllDevices()
{
    QStringList paths;
    for (const auto &[path, entry] : m_devices)
        paths.append(path);
    for (const QString &path : paths)
        closeDevice(path);
}

bool HIDDevice::writeAll(const QByteArray &report)
{
    bool anyWritten = false;
    for (const auto &[path, entry] : m_devices) {
        if (entry->running.load())
            anyWritten = writeToDevice(path, report) || anyWritten;
    }
    return anyWritten;
}

bool HIDDevice::writeToDevice(const QString &path, const QByteArray &data)
{
    const auto it = m_devices.find(path);
    if (it == m_devices.end()) {
        qWarning() << "Device not found";
        return false;
    }
    const HidDeviceEntry &entry = *it->second;
    if (!entry.running.load()) {
        qWarning() << "Device not connected";
        return false;
    }
    const int result = m_backend.write(entry.handle, reinterpret_cast<const uint8_t *>(data.constData()),
                                       static_cast<size_t>(data.size()));
    if (result == -1) {
        qWarning() << "Failed to write to device:" << path << "data: " << data.toHex().toUpper();
        return false;
    }
    return true;
}

bool HIDDevice::hasDevices() const
{
    return !m_devices.empty();
}

QStringList HIDDevice::devicePaths() const
{
    QStringList paths;
    for (const auto &[path, entry] : m_devices)
        paths.append(path);
    return paths;
}
