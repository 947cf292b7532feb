#pragma once

// A HID bus in memory: virtual interfaces that tests and the emulated device
// mode plug in and out, behind the same HidBackend seam as hidapi.
//
// How a virtual device's firmware side attaches:
//   EmulatedHidBus bus;
//   EmulatedHidDevice desc;                  // one per HID interface (path)
//   desc.path = "emu/t40/if0"; desc.vendorId = 0x3A71; desc.productId = 0x000D;
//   desc.usagePage = 0x8C; desc.product = L"...";
//   EmulatedHidFirmware fw;
//   fw.onOutputReport = [&](const uint8_t *data, size_t length) {
//       // every report the host writes to this interface, report id first
//       ... bus.pushInput("emu/t40/if0", reply.data(), reply.size());
//   };
//   bus.plug(desc, fw);
//   ... later bus.unplug("emu/t40/if0");
//
// The firmware callbacks run on the host thread that made the call, with no
// bus lock held: they may call pushInput, plug or unplug (also for their own
// path). They must not block for long; a device that needs time replies from
// its own thread through pushInput, which any thread may call.
//
// Input: pushInput hands one input report to every handle that has the path
// open; each handle keeps its own queue (as hidraw does per open file),
// bounded at kInputQueueLimit reports, the oldest dropped first. Reports
// pushed while nobody has the path open are lost, as on a real bus.
//
// Unplug: the path leaves the enumeration; its open handles turn dead: every
// call on them fails with -1 and blocked reads wake at once with -1. Plugging
// the same path again does not revive old handles.
//
// Close: unlike hidapi, a close while another thread waits in a read on the
// same handle is safe: the read wakes at once with -1.

#include "device/hid/HidBackend.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

// Descriptor of one virtual interface, what enumeration reports for it.
struct EmulatedHidDevice
{
    std::string path;
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    int interfaceNumber = 0;
    uint16_t releaseNumber = 0x0100;
    std::wstring manufacturer;
    std::wstring product;
    std::wstring serialNumber;
};

// The device side of one interface. Any hook may be left empty: an empty
// onOutputReport swallows writes, empty feature hooks fail with -1.
struct EmulatedHidFirmware
{
    std::function<void(const uint8_t *data, size_t length)> onOutputReport;
    // Result as hid_send_feature_report gives it (bytes taken or -1).
    std::function<int(const uint8_t *data, size_t length)> onSetFeature;
    // data[0] holds the requested report id; result is the byte count or -1.
    std::function<int(uint8_t *data, size_t length)> onGetFeature;
};

enum class HidFault {
    Open,  // openPath/open return null
    Read,  // read/readTimeout return -1 (the handle stays usable)
    Write, // write returns -1 and the firmware never sees the report
    Nonblocking, // setNonblocking returns -1
};

class EmulatedHidBus final : public HidBackend
{
public:
    static constexpr size_t kInputQueueLimit = 64;
    static constexpr int kFaultAlways = -1;

    EmulatedHidBus();
    ~EmulatedHidBus() override;
    EmulatedHidBus(const EmulatedHidBus &) = delete;
    EmulatedHidBus &operator=(const EmulatedHidBus &) = delete;

    // --- device side ---
    // False when the path is empty or already plugged.
    bool plug(const EmulatedHidDevice &device, EmulatedHidFirmware firmware = {});
    // False when the path is not plugged.
    bool unplug(const std::string &path);
    bool isPlugged(const std::string &path) const;
    // Number of open handles that got the report; -1 when the path is not
    // plugged. Empty reports are refused (-1): a read of 0 bytes means
    // "nothing there" to the host.
    int pushInput(const std::string &path, const uint8_t *data, size_t length);
    int pushInput(const std::string &path, const std::vector<uint8_t> &report);

    // --- fault injection ---
    // The next `count` calls of that kind on `path` (any path when empty)
    // fail; kFaultAlways until clearFaults().
    void injectFault(HidFault fault, const std::string &path = {}, int count = 1);
    void clearFaults();

    // --- inspection for tests ---
    int openHandleCount(const std::string &path) const;
    int openHandleCount() const;
    int initCount() const;
    // Reads now waiting for input, on any handle.
    int waitingReaderCount() const;

    // --- HidBackend ---
    int init() override;
    int exit() override;
    std::vector<HidDeviceInfo> enumerate(uint16_t vendorId, uint16_t productId) override;
    HidHandle *openPath(const std::string &path) override;
    HidHandle *open(uint16_t vendorId, uint16_t productId, const wchar_t *serialNumber) override;
    void close(HidHandle *handle) override;
    int setNonblocking(HidHandle *handle, int nonblock) override;
    int write(HidHandle *handle, const uint8_t *data, size_t length) override;
    int readTimeout(HidHandle *handle, uint8_t *data, size_t length, int timeoutMs) override;
    int read(HidHandle *handle, uint8_t *data, size_t length) override;
    int sendFeatureReport(HidHandle *handle, const uint8_t *data, size_t length) override;
    int getFeatureReport(HidHandle *handle, uint8_t *data, size_t length) override;
    int getManufacturerString(HidHandle *handle, wchar_t *text, size_t maxChars) override;
    int getProductString(HidHandle *handle, wchar_t *text, size_t maxChars) override;
    int getSerialNumberString(HidHandle *handle, wchar_t *text, size_t maxChars) override;
    int getIndexedString(HidHandle *handle, int index, wchar_t *text, size_t maxChars) override;
    std::wstring error(HidHandle *handle) override;

private:
    struct Interface;
    class Handle;
    struct FaultRule
    {
        HidFault fault;
        std::string path;
        int remaining;
    };

    Handle *handleOf(HidHandle *handle) const;
    std::shared_ptr<Handle> sharedHandleOf(HidHandle *handle) const;
    // The firmware behind a live handle for a feature transfer, or null.
    std::shared_ptr<const EmulatedHidFirmware> featureFirmware(HidHandle *handle, const void *data, size_t length);
    bool takeFault(HidFault fault, const std::string &path); // needs m_mutex
    HidHandle *openInterface(const std::shared_ptr<Interface> &iface); // needs m_mutex
    int readLocked(std::unique_lock<std::mutex> &lock, Handle *handle, uint8_t *data, size_t length, int timeoutMs);
    int stringOf(HidHandle *handle, std::wstring EmulatedHidDevice::*field, wchar_t *text, size_t maxChars);

    mutable std::mutex m_mutex;
    std::condition_variable m_inputArrived; // with m_mutex: input, unplug, close
    // All below guarded by m_mutex.
    std::map<std::string, std::shared_ptr<Interface>> m_interfaces; // plugged, by path
    std::vector<std::string> m_plugOrder;                           // enumeration order
    // Open handles. A reader waiting in a read holds its own reference, so a
    // close under it wakes it with an error instead of freeing what it reads.
    std::vector<std::shared_ptr<Handle>> m_handles;
    std::vector<FaultRule> m_faults;
    std::wstring m_lastError;
    int m_initCount = 0;
    int m_waitingReaders = 0;
};
