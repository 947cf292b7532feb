#include "device/HIDDevice.h"

#include "device/hid/HidBackend.h"

#include <QDebug>
#include <QThread>
#include <QThreadPool>

#include <condition_variable>
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
    for (auto &[path, entry] : m_devices) {
        entry.state->running.store(false);
        if (entry.readerThread)
            entry.readerThread->requestInterruption();
    }
    for (auto &[path, entry] : m_devices) {
        if (QThread *thread = entry.readerThread.data()) {
            thread->wait();
            delete thread;
        }
        m_backend.close(entry.state->handle);
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
        m_devices[path] = HidDeviceEntry{std::make_shared<ReaderState>(handle, path), {}};
        startDataReadThread(path);
        emit deviceConnected(path);
    }
}

void HIDDevice::startDataReadThread(const QString &path)
{
    const auto it = m_devices.find(path);
    if (it == m_devices.end())
        return;
    std::shared_ptr<ReaderState> state = it->second.state;
    QThread *thread = QThread::create([this, state] { readerLoop(state); });
    thread->setObjectName(QStringLiteral("HID reader"));
    it->second.readerThread = thread;
    thread->start();
}

// One pass of the reader: false when it has to stop.
bool HIDDevice::readerStep(ReaderState &state, uint8_t *buffer)
{
    if (!state.running.load() || QThread::currentThread()->isInterruptionRequested())
        return false;
    const int count = m_backend.readTimeout(state.handle, buffer, kReadBufferBytes, kReadTimeoutMs);
    if (count > 0) {
        emit dataReceived(state.path, QByteArray(reinterpret_cast<const char *>(buffer), count));
    } else if (count < 0) {
        qWarning() << "HIDDevice: 读取错误，设备可能已断开:" << state.path;
        return false;
    }
    return true;
}

void HIDDevice::readerLoop(const std::shared_ptr<ReaderState> &state)
{
    uint8_t buffer[kReadBufferBytes];
    while (readerStep(*state, buffer)) {
    }
    qDebug() << "HIDDevice: 读线程退出，调度主线程清理:" << state->path;
    // Aimed at this reader's own entry: by the time it runs, the path may
    // have been closed and opened again with a new reader.
    QMetaObject::invokeMethod(this, [this, state] { closeEntryOf(state); }, Qt::QueuedConnection);
}

void HIDDevice::closeEntryOf(const std::shared_ptr<ReaderState> &state)
{
    const auto it = m_devices.find(state->path);
    if (it != m_devices.end() && it->second.state == state)
        closeDevice(state->path);
}

void HIDDevice::releaseEntry(HidDeviceEntry &entry)
{
    entry.state->running.store(false);
    QThread *thread = entry.readerThread.data();
    if (thread) {
        thread->requestInterruption();
        thread->quit();
    }
    entry.readerThread.clear();

    // The join and the close run on the pool, so the owner never waits for
    // a read to time out; the handle outlives the read that uses it, and the
    // thread object outlives its thread.
    HidBackend *backend = &m_backend;
    HidHandle *handle = entry.state->handle;
    std::shared_ptr<PendingCloses> pending = m_pendingCloses;
    pending->add();
    QThreadPool::globalInstance()->start([backend, handle, thread, pending] {
        if (thread) {
            thread->wait();
            thread->deleteLater();
        }
        backend->close(handle);
        pending->done();
    });
}

void HIDDevice::closeDevice(const QString &path)
{
    const auto it = m_devices.find(path);
    if (it == m_devices.end())
        return;
    releaseEntry(it->second);
    m_devices.erase(it);
    emit deviceDisconnected(path);
}

void HIDDevice::closeAllDevices()
{
    QStringList paths;
    for (const auto &[path, entry] : m_devices)
        paths.append(path);
    for (const QString &path : paths)
        closeDevice(path);
    m_devices.clear();
}

bool HIDDevice::writeAll(const QByteArray &report)
{
    bool anyWritten = false;
    for (const auto &[path, entry] : m_devices) {
        if (entry.state->running.load())
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
    const ReaderState &state = *it->second.state;
    if (!state.running.load()) {
        qWarning() << "Device not connected";
        return false;
    }
    const int result = m_backend.write(state.handle, reinterpret_cast<const uint8_t *>(data.constData()),
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
