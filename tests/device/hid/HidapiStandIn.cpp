// A recording stand-in for the hidapi functions the backend calls, linked in
// place of the library: the backend's own bookkeeping (reference counts,
// deferred exit, serialised calls, per-handle error text) is then visible.
#include "HidapiStandIn.h"

#include <hidapi.h>

#include <atomic>
#include <initializer_list>
#include <string>
#include <thread>

struct hid_device_
{
    int index = 0;
    std::atomic<int> inside{0}; // calls running on this device now
    std::wstring error;
};

namespace {

hidapi_standin::Record g_record;
std::wstring g_globalError = L"no device";

// Counts the calls running on dev at once; the backend promises one at a time.
struct Inside
{
    explicit Inside(hid_device *dev) : m_dev(dev)
    {
        if (m_dev->inside.fetch_add(1) != 0)
            g_record.overlaps.fetch_add(1);
        // Long enough that an unserialised second call would be caught inside.
        for (int i = 0; i < 50; ++i)
            std::this_thread::yield();
    }
    ~Inside() { m_dev->inside.fetch_sub(1); }
    hid_device *m_dev;
};

} // namespace

namespace hidapi_standin {

Record &record() { return g_record; }

void reset()
{
    for (std::atomic<int> *counter : {&g_record.init, &g_record.exit, &g_record.exitWhileOpen, &g_record.open,
                                      &g_record.close, &g_record.openDevices, &g_record.overlaps})
        *counter = 0;
}

} // namespace hidapi_standin

extern "C" {

int HID_API_EXPORT hid_init(void)
{
    ++g_record.init;
    return 0;
}

int HID_API_EXPORT hid_exit(void)
{
    ++g_record.exit;
    if (g_record.openDevices != 0)
        ++g_record.exitWhileOpen;
    return 0;
}

struct hid_device_info HID_API_EXPORT *hid_enumerate(unsigned short, unsigned short) { return nullptr; }

void HID_API_EXPORT hid_free_enumeration(struct hid_device_info *) {}

hid_device *HID_API_EXPORT hid_open_path(const char *path)
{
    const std::string p = path ? path : "";
    if (p.rfind("standin/", 0) != 0) {
        g_globalError = L"no such device: " + std::wstring(p.begin(), p.end());
        return nullptr;
    }
    auto *dev = new hid_device_;
    dev->index = ++g_record.open;
    dev->error = L"error of " + std::wstring(p.begin(), p.end());
    ++g_record.openDevices;
    return dev;
}

hid_device *HID_API_EXPORT hid_open(unsigned short, unsigned short, const wchar_t *) { return nullptr; }

void HID_API_EXPORT hid_close(hid_device *dev)
{
    ++g_record.close;
    --g_record.openDevices;
    delete dev;
}

int HID_API_EXPORT hid_write(hid_device *dev, const unsigned char *, size_t length)
{
    Inside in(dev);
    return int(length);
}

int HID_API_EXPORT hid_read_timeout(hid_device *dev, unsigned char *, size_t, int)
{
    Inside in(dev);
    return 0;
}

int HID_API_EXPORT hid_set_nonblocking(hid_device *dev, int)
{
    Inside in(dev);
    return 0;
}

int HID_API_EXPORT hid_send_feature_report(hid_device *dev, const unsigned char *, size_t length)
{
    Inside in(dev);
    return int(length);
}

int HID_API_EXPORT hid_get_feature_report(hid_device *dev, unsigned char *, size_t length)
{
    Inside in(dev);
    return int(length);
}

int HID_API_EXPORT hid_get_manufacturer_string(hid_device *dev, wchar_t *, size_t)
{
    Inside in(dev);
    return -1;
}

int HID_API_EXPORT hid_get_product_string(hid_device *dev, wchar_t *, size_t)
{
    Inside in(dev);
    return -1;
}

int HID_API_EXPORT hid_get_serial_number_string(hid_device *dev, wchar_t *, size_t)
{
    Inside in(dev);
    return -1;
}

int HID_API_EXPORT hid_get_indexed_string(hid_device *dev, int, wchar_t *, size_t)
{
    Inside in(dev);
    return -1;
}

const wchar_t *HID_API_EXPORT hid_error(hid_device *dev)
{
    if (!dev)
        return g_globalError.c_str();
    Inside in(dev);
    return dev->error.c_str();
}

} // extern "C"
