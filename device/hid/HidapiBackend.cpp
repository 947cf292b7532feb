// HidBackend over hidapi (hidraw).
//
// hidapi keeps process-wide state (its init flag, the error of the last
// open/enumerate) and per-device state (the error text that every call on a
// handle frees and replaces), so calls are serialised: process-wide calls
// under one mutex, calls on a handle under that handle's mutex. A timed read
// would hold the handle for its whole time-out and stall the writer on the
// GUI thread, so it waits in short slices and steps aside between them
// whenever another call on the handle is waiting.

#include "device/hid/HidBackend.h"

#include <hidapi.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <thread>

namespace {

constexpr int kReadSliceMs = 10;

std::wstring copyText(const wchar_t *text)
{
    return text ? std::wstring(text) : std::wstring(L"Success");
}

class HidapiHandle final : public HidHandle
{
public:
    explicit HidapiHandle(hid_device *device) : m_device(device) {}

    hid_device *device() const { return m_device; }

    // Runs one hidapi call on this handle; callers other than the reader
    // announce themselves so that the reader lets them in between slices.
    template<typename Call>
    auto call(Call &&fn)
    {
        m_waiting.fetch_add(1, std::memory_order_acq_rel);
        std::lock_guard<std::mutex> lock(m_callMutex);
        m_waiting.fetch_sub(1, std::memory_order_acq_rel);
        return fn(m_device);
    }

    int readSlice(uint8_t *data, size_t length, int sliceMs)
    {
        while (m_waiting.load(std::memory_order_acquire) > 0)
            std::this_thread::yield();
        std::lock_guard<std::mutex> lock(m_callMutex);
        return hid_read_timeout(m_device, data, length, sliceMs);
    }

    bool nonblocking = false; // guarded by m_callMutex (set and read through call())

private:
    hid_device *const m_device;
    std::mutex m_callMutex;          // serialises every hidapi call on m_device
    std::atomic<int> m_waiting{0};   // calls queued on m_callMutex besides the reader
};

class HidapiBackend final : public HidBackend
{
public:
    int init() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_live) {
            if (hid_init() < 0)
                return -1;
            m_live = true;
        }
        ++m_initCount;
        m_exitPending = false;
        return 0;
    }

    int exit() override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_initCount > 0)
            --m_initCount;
        if (m_initCount == 0) {
            m_exitPending = true;
            shutdownIfUnused();
        }
        return 0;
    }

    std::vector<HidDeviceInfo> enumerate(uint16_t vendorId, uint16_t productId) override
    {
        std::vector<HidDeviceInfo> result;
        std::lock_guard<std::mutex> lock(m_mutex);
        hid_device_info *list = hid_enumerate(vendorId, productId);
        m_live = true; // hidapi initialises itself on demand
        for (const hid_device_info *it = list; it; it = it->next) {
            HidDeviceInfo info;
            info.path = it->path ? it->path : "";
            info.vendorId = it->vendor_id;
            info.productId = it->product_id;
            info.serialNumber = it->serial_number ? it->serial_number : L"";
            info.releaseNumber = it->release_number;
            info.manufacturer = it->manufacturer_string ? it->manufacturer_string : L"";
            info.product = it->product_string ? it->product_string : L"";
            info.usagePage = it->usage_page;
            info.usage = it->usage;
            info.interfaceNumber = it->interface_number;
            result.push_back(std::move(info));
        }
        hid_free_enumeration(list);
        return result;
    }

    HidHandle *openPath(const std::string &path) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return adopt(hid_open_path(path.c_str()));
    }

    HidHandle *open(uint16_t vendorId, uint16_t productId, const wchar_t *serialNumber) override
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        return adopt(hid_open(vendorId, productId, serialNumber));
    }

    void close(HidHandle *handle) override
    {
        auto *h = static_cast<HidapiHandle *>(handle);
        if (!h)
            return;
        std::lock_guard<std::mutex> lock(m_mutex);
        hid_close(h->device());
        delete h;
        --m_openCount;
        shutdownIfUnused();
    }

    int setNonblocking(HidHandle *handle, int nonblock) override
    {
        auto *h = static_cast<HidapiHandle *>(handle);
        if (!h)
            return -1;
        return h->call([&](hid_device *dev) {
            const int result = hid_set_nonblocking(dev, nonblock);
            if (result == 0)
                h->nonblocking = nonblock != 0;
            return result;
        });
    }

    int write(HidHandle *handle, const uint8_t *data, size_t length) override
    {
        auto *h = static_cast<HidapiHandle *>(handle);
        if (!h)
            return -1;
        return h->call([&](hid_device *dev) { return hid_write(dev, data, length); });
    }

    int readTimeout(HidHandle *handle, uint8_t *data, size_t length, int timeoutMs) override
    {
        auto *h = static_cast<HidapiHandle *>(handle);
        if (!h)
            return -1;
        int remainingMs = timeoutMs;
        for (;;) {
            const int sliceMs = timeoutMs < 0 ? kReadSliceMs : std::min(kReadSliceMs, remainingMs);
            const int result = h->readSlice(data, length, sliceMs);
            if (result != 0 || timeoutMs == 0)
                return result;
            if (timeoutMs > 0) {
                remainingMs -= sliceMs;
                if (remainingMs <= 0)
                    return 0;
            }
        }
    }

    int read(HidHandle *handle, uint8_t *data, size_t length) override
    {
        auto *h = static_cast<HidapiHandle *>(handle);
        if (!h)
            return -1;
        const bool nonblocking = h->call([&](hid_device *) { return h->nonblocking; });
        return readTimeout(handle, data, length, nonblocking ? 0 : -1);
    }

    int sendFeatureReport(HidHandle *handle, const uint8_t *data, size_t length) override
    {
        auto *h = static_cast<HidapiHandle *>(handle);
        if (!h)
            return -1;
        return h->call([&](hid_device *dev) { return hid_send_feature_report(dev, data, length); });
    }

    int getFeatureReport(HidHandle *handle, uint8_t *data, size_t length) override
    {
        auto *h = static_cast<HidapiHandle *>(handle);
        if (!h)
            return -1;
        return h->call([&](hid_device *dev) { return hid_get_feature_report(dev, data, length); });
    }

    int getManufacturerString(HidHandle *handle, wchar_t *text, size_t maxChars) override
    {
        auto *h = static_cast<HidapiHandle *>(handle);
        if (!h)
            return -1;
        return h->call([&](hid_device *dev) { return hid_get_manufacturer_string(dev, text, maxChars); });
    }

    int getProductString(HidHandle *handle, wchar_t *text, size_t maxChars) override
    {
        auto *h = static_cast<HidapiHandle *>(handle);
        if (!h)
            return -1;
        return h->call([&](hid_device *dev) { return hid_get_product_string(dev, text, maxChars); });
    }

    int getSerialNumberString(HidHandle *handle, wchar_t *text, size_t maxChars) override
    {
        auto *h = static_cast<HidapiHandle *>(handle);
        if (!h)
            return -1;
        return h->call([&](hid_device *dev) { return hid_get_serial_number_string(dev, text, maxChars); });
    }

    int getIndexedString(HidHandle *handle, int index, wchar_t *text, size_t maxChars) override
    {
        auto *h = static_cast<HidapiHandle *>(handle);
        if (!h)
            return -1;
        return h->call([&](hid_device *dev) { return hid_get_indexed_string(dev, index, text, maxChars); });
    }

    std::wstring error(HidHandle *handle) override
    {
        auto *h = static_cast<HidapiHandle *>(handle);
        if (!h) {
            std::lock_guard<std::mutex> lock(m_mutex);
            return copyText(hid_error(nullptr));
        }
        return h->call([](hid_device *dev) { return copyText(hid_error(dev)); });
    }

private:
    // Needs m_mutex.
    HidHandle *adopt(hid_device *device)
    {
        m_live = true;
        if (!device)
            return nullptr;
        ++m_openCount;
        return new HidapiHandle(device);
    }

    // Needs m_mutex. hid_exit under an open handle would pull the library
    // away from it, so the last close finishes a deferred exit.
    void shutdownIfUnused()
    {
        if (m_exitPending && m_initCount == 0 && m_openCount == 0) {
            if (m_live)
                hid_exit();
            m_live = false;
            m_exitPending = false;
        }
    }

    std::mutex m_mutex; // serialises hidapi's process-wide calls; guards the fields below
    int m_initCount = 0;
    int m_openCount = 0;
    bool m_live = false;
    bool m_exitPending = false; // an exit() waits for the last close
};

} // namespace

HidBackend &hidapiBackend()
{
    static HidapiBackend backend;
    return backend;
}
