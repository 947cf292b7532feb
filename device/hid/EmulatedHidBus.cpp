#include "device/hid/EmulatedHidBus.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <deque>

struct EmulatedHidBus::Interface
{
    EmulatedHidDevice device;
    std::shared_ptr<const EmulatedHidFirmware> firmware;
};

class EmulatedHidBus::Handle final : public HidHandle
{
public:
    explicit Handle(std::shared_ptr<Interface> iface) : m_iface(std::move(iface)) {}

    // All fields guarded by the bus's m_mutex.
    std::shared_ptr<Interface> m_iface;
    std::deque<std::vector<uint8_t>> m_input;
    bool m_nonblocking = false;
    bool m_dead = false; // unplugged or closed under it
    bool m_closed = false;
    std::wstring m_lastError;
};

namespace {
const wchar_t kDisconnected[] = L"device disconnected";

// True, with the handle's error set, when a read or write cannot start.
bool refuseTransfer(bool dead, const uint8_t *data, size_t length, std::wstring &error)
{
    if (dead) {
        error = kDisconnected;
        return true;
    }
    if (!data || length == 0) {
        error = L"invalid argument";
        return true;
    }
    return false;
}
}

EmulatedHidBus::EmulatedHidBus() = default;

EmulatedHidBus::~EmulatedHidBus() = default;

bool EmulatedHidBus::plug(const EmulatedHidDevice &device, EmulatedHidFirmware firmware)
{
    if (device.path.empty())
        return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_interfaces.count(device.path))
        return false;
    auto iface = std::make_shared<Interface>();
    iface->device = device;
    iface->firmware = std::make_shared<const EmulatedHidFirmware>(std::move(firmware));
    m_interfaces.emplace(device.path, std::move(iface));
    m_plugOrder.push_back(device.path);
    return true;
}

bool EmulatedHidBus::unplug(const std::string &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_interfaces.find(path);
    if (it == m_interfaces.end())
        return false;
    for (const auto &handle : m_handles) {
        if (handle->m_iface == it->second) {
            handle->m_dead = true;
            handle->m_input.clear();
        }
    }
    m_interfaces.erase(it);
    m_plugOrder.erase(std::find(m_plugOrder.begin(), m_plugOrder.end(), path));
    m_inputArrived.notify_all();
    return true;
}

bool EmulatedHidBus::isPlugged(const std::string &path) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_interfaces.count(path) != 0;
}

int EmulatedHidBus::pushInput(const std::string &path, const uint8_t *data, size_t length)
{
    if (!data || length == 0)
        return -1;
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_interfaces.find(path);
    if (it == m_interfaces.end())
        return -1;
    int delivered = 0;
    for (const auto &handle : m_handles) {
        if (handle->m_iface != it->second || handle->m_dead)
            continue;
        if (handle->m_input.size() >= kInputQueueLimit)
            handle->m_input.pop_front();
        handle->m_input.emplace_back(data, data + length);
        ++delivered;
    }
    if (delivered > 0)
        m_inputArrived.notify_all();
    return delivered;
}

int EmulatedHidBus::pushInput(const std::string &path, const std::vector<uint8_t> &report)
{
    return pushInput(path, report.data(), report.size());
}

void EmulatedHidBus::injectFault(HidFault fault, const std::string &path, int count)
{
    if (count == 0 || count < kFaultAlways)
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.push_back({fault, path, count});
}

void EmulatedHidBus::clearFaults()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_faults.clear();
}

bool EmulatedHidBus::takeFault(HidFault fault, const std::string &path)
{
    for (auto it = m_faults.begin(); it != m_faults.end(); ++it) {
        if (it->fault != fault || (!it->path.empty() && it->path != path))
            continue;
        if (it->remaining > 0 && --it->remaining == 0)
            m_faults.erase(it);
        return true;
    }
    return false;
}

int EmulatedHidBus::openHandleCount(const std::string &path) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(std::count_if(m_handles.begin(), m_handles.end(), [&](const auto &handle) {
        return handle->m_iface->device.path == path;
    }));
}

int EmulatedHidBus::openHandleCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return static_cast<int>(m_handles.size());
}

int EmulatedHidBus::initCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_initCount;
}

int EmulatedHidBus::waitingReaderCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_waitingReaders;
}

int EmulatedHidBus::init()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_initCount;
    return 0;
}

int EmulatedHidBus::exit()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_initCount > 0)
        --m_initCount;
    return 0;
}

std::vector<HidDeviceInfo> EmulatedHidBus::enumerate(uint16_t vendorId, uint16_t productId)
{
    std::vector<HidDeviceInfo> result;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const std::string &path : m_plugOrder) {
        const EmulatedHidDevice &d = m_interfaces.at(path)->device;
        if ((vendorId && d.vendorId != vendorId) || (productId && d.productId != productId))
            continue;
        HidDeviceInfo info;
        info.path = d.path;
        info.vendorId = d.vendorId;
        info.productId = d.productId;
        info.serialNumber = d.serialNumber;
        info.releaseNumber = d.releaseNumber;
        info.manufacturer = d.manufacturer;
        info.product = d.product;
        info.usagePage = d.usagePage;
        info.usage = d.usage;
        info.interfaceNumber = d.interfaceNumber;
        result.push_back(std::move(info));
    }
    return result;
}

HidHandle *EmulatedHidBus::openInterface(const std::shared_ptr<Interface> &iface)
{
    if (takeFault(HidFault::Open, iface->device.path)) {
        m_lastError = L"open failed (injected fault)";
        return nullptr;
    }
    m_handles.push_back(std::make_shared<Handle>(iface));
    m_lastError.clear();
    return m_handles.back().get();
}

HidHandle *EmulatedHidBus::openPath(const std::string &path)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = m_interfaces.find(path);
    if (it == m_interfaces.end()) {
        m_lastError = L"no such device";
        return nullptr;
    }
    return openInterface(it->second);
}

HidHandle *EmulatedHidBus::open(uint16_t vendorId, uint16_t productId, const wchar_t *serialNumber)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const std::string &path : m_plugOrder) {
        const auto &iface = m_interfaces.at(path);
        const EmulatedHidDevice &d = iface->device;
        if (d.vendorId != vendorId || d.productId != productId)
            continue;
        if (serialNumber && d.serialNumber != serialNumber)
            continue;
        return openInterface(iface);
    }
    m_lastError = L"no such device";
    return nullptr;
}

std::shared_ptr<EmulatedHidBus::Handle> EmulatedHidBus::sharedHandleOf(HidHandle *handle) const
{
    const auto it = std::find_if(m_handles.begin(), m_handles.end(),
                                 [handle](const auto &h) { return h.get() == handle; });
    return it == m_handles.end() ? nullptr : *it;
}

EmulatedHidBus::Handle *EmulatedHidBus::handleOf(HidHandle *handle) const
{
    return sharedHandleOf(handle).get();
}

void EmulatedHidBus::close(HidHandle *handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto it = std::find_if(m_handles.begin(), m_handles.end(),
                                 [handle](const auto &h) { return h.get() == handle; });
    if (it == m_handles.end())
        return;
    // A reader still waiting holds the last reference and lets it go when it wakes.
    (*it)->m_dead = true;
    (*it)->m_closed = true;
    (*it)->m_input.clear();
    m_handles.erase(it);
    m_inputArrived.notify_all();
}

int EmulatedHidBus::setNonblocking(HidHandle *handle, int nonblock)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Handle *h = handleOf(handle);
    if (!h || h->m_dead)
        return -1;
    if (takeFault(HidFault::Nonblocking, h->m_iface->device.path)) {
        h->m_lastError = L"set non-blocking failed (injected fault)";
        return -1;
    }
    h->m_nonblocking = nonblock != 0;
    return 0;
}

int EmulatedHidBus::write(HidHandle *handle, const uint8_t *data, size_t length)
{
    std::shared_ptr<const EmulatedHidFirmware> firmware;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        Handle *h = handleOf(handle);
        if (!h || refuseTransfer(h->m_dead, data, length, h->m_lastError))
            return -1;
        if (takeFault(HidFault::Write, h->m_iface->device.path)) {
            h->m_lastError = L"write failed (injected fault)";
            return -1;
        }
        h->m_lastError.clear();
        firmware = h->m_iface->firmware;
    }
    // Outside the lock: the firmware may answer at once through pushInput.
    if (firmware->onOutputReport)
        firmware->onOutputReport(data, length);
    return static_cast<int>(length);
}

int EmulatedHidBus::readLocked(std::unique_lock<std::mutex> &lock, Handle *h, uint8_t *data, size_t length,
                               int timeoutMs)
{
    if (refuseTransfer(h->m_dead, data, length, h->m_lastError))
        return -1;
    if (takeFault(HidFault::Read, h->m_iface->device.path)) {
        h->m_lastError = L"read failed (injected fault)";
        return -1;
    }
    const auto ready = [h] { return h->m_dead || !h->m_input.empty(); };
    if (timeoutMs != 0 && !ready()) {
        ++m_waitingReaders;
        if (timeoutMs < 0)
            m_inputArrived.wait(lock, ready);
        else
            m_inputArrived.wait_for(lock, std::chrono::milliseconds(timeoutMs), ready);
        --m_waitingReaders;
    }
    if (h->m_dead) {
        h->m_lastError = h->m_closed ? L"handle closed" : kDisconnected;
        return -1;
    }
    h->m_lastError.clear();
    if (h->m_input.empty())
        return 0;
    const std::vector<uint8_t> report = std::move(h->m_input.front());
    h->m_input.pop_front();
    const size_t count = std::min(length, report.size());
    std::memcpy(data, report.data(), count);
    return static_cast<int>(count);
}

int EmulatedHidBus::readTimeout(HidHandle *handle, uint8_t *data, size_t length, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const std::shared_ptr<Handle> h = sharedHandleOf(handle);
    if (!h)
        return -1;
    return readLocked(lock, h.get(), data, length, timeoutMs);
}

int EmulatedHidBus::read(HidHandle *handle, uint8_t *data, size_t length)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const std::shared_ptr<Handle> h = sharedHandleOf(handle);
    if (!h)
        return -1;
    return readLocked(lock, h.get(), data, length, h->m_nonblocking ? 0 : -1);
}

std::shared_ptr<const EmulatedHidFirmware> EmulatedHidBus::featureFirmware(HidHandle *handle, const void *data,
                                                                           size_t length)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Handle *h = handleOf(handle);
    if (!h || h->m_dead || !data || length == 0)
        return nullptr;
    return h->m_iface->firmware;
}

int EmulatedHidBus::sendFeatureReport(HidHandle *handle, const uint8_t *data, size_t length)
{
    const auto firmware = featureFirmware(handle, data, length);
    return firmware && firmware->onSetFeature ? firmware->onSetFeature(data, length) : -1;
}

int EmulatedHidBus::getFeatureReport(HidHandle *handle, uint8_t *data, size_t length)
{
    const auto firmware = featureFirmware(handle, data, length);
    if (!firmware || !firmware->onGetFeature)
        return -1;
    const int result = firmware->onGetFeature(data, length);
    return result > static_cast<int>(length) ? -1 : result;
}

int EmulatedHidBus::stringOf(HidHandle *handle, std::wstring EmulatedHidDevice::*field, wchar_t *text,
                             size_t maxChars)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    Handle *h = handleOf(handle);
    if (!h || !text || maxChars == 0)
        return -1;
    if (h->m_dead) {
        h->m_lastError = kDisconnected;
        return -1;
    }
    const std::wstring &value = h->m_iface->device.*field;
    const size_t count = std::min(value.size(), maxChars - 1);
    std::wmemcpy(text, value.data(), count);
    text[count] = L'\0';
    return 0;
}

int EmulatedHidBus::getManufacturerString(HidHandle *handle, wchar_t *text, size_t maxChars)
{
    return stringOf(handle, &EmulatedHidDevice::manufacturer, text, maxChars);
}

int EmulatedHidBus::getProductString(HidHandle *handle, wchar_t *text, size_t maxChars)
{
    return stringOf(handle, &EmulatedHidDevice::product, text, maxChars);
}

int EmulatedHidBus::getSerialNumberString(HidHandle *handle, wchar_t *text, size_t maxChars)
{
    return stringOf(handle, &EmulatedHidDevice::serialNumber, text, maxChars);
}

int EmulatedHidBus::getIndexedString(HidHandle *handle, int, wchar_t *, size_t)
{
    // hidraw cannot read string descriptors by index either.
    std::lock_guard<std::mutex> lock(m_mutex);
    if (Handle *h = handleOf(handle))
        h->m_lastError = L"not supported";
    return -1;
}

std::wstring EmulatedHidBus::error(HidHandle *handle)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!handle)
        return m_lastError.empty() ? L"Success" : m_lastError;
    const Handle *h = handleOf(handle);
    if (!h)
        return L"invalid handle";
    return h->m_lastError.empty() ? L"Success" : h->m_lastError;
}
