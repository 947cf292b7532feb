#pragma once

// The HID seam: every HID call of the program goes through a HidBackend, so
// that the hidapi library and the emulated bus are interchangeable. The
// operations mirror the hidapi calls we use, with the same result
// conventions (-1 on error, byte counts otherwise), so callers read like
// plain hidapi code.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One entry of an enumeration (one HID interface).
struct HidDeviceInfo
{
    std::string path; // platform path, 8-bit, as hidapi gives it
    uint16_t vendorId = 0;
    uint16_t productId = 0;
    std::wstring serialNumber;
    uint16_t releaseNumber = 0; // BCD
    std::wstring manufacturer;
    std::wstring product;
    uint16_t usagePage = 0;
    uint16_t usage = 0;
    int interfaceNumber = -1;
};

// An open interface. Opaque: only the backend that opened it may use it, and
// it stays valid until that backend's close(). As with hidapi, a handle must
// not be closed while another thread is inside a call on it.
class HidHandle
{
public:
    virtual ~HidHandle() = default;

protected:
    HidHandle() = default;
};

class HidBackend
{
public:
    virtual ~HidBackend() = default;

    // Reference counted: each init() is paired with one exit(). The library
    // is really shut down only when the count is back at zero and no handle
    // is open (the last close() then finishes it). Opening or enumerating
    // without init() is allowed, as in hidapi. Returns 0 or -1.
    virtual int init() = 0;
    virtual int exit() = 0;

    // vendorId/productId 0 match any. Order as the platform lists them.
    virtual std::vector<HidDeviceInfo> enumerate(uint16_t vendorId, uint16_t productId) = 0;

    // nullptr on failure; error(nullptr) then tells why.
    virtual HidHandle *openPath(const std::string &path) = 0;
    // First enumerated interface with these ids (and this serial number,
    // unless serialNumber is null).
    virtual HidHandle *open(uint16_t vendorId, uint16_t productId, const wchar_t *serialNumber) = 0;
    virtual void close(HidHandle *handle) = 0;

    virtual int setNonblocking(HidHandle *handle, int nonblock) = 0;
    // Output report, report id first (0 when the device uses none).
    virtual int write(HidHandle *handle, const uint8_t *data, size_t length) = 0;
    // One input report: bytes read (at most length), 0 when nothing came in
    // time (or at once in non-blocking mode), -1 on error (e.g. unplugged).
    // timeoutMs -1 waits without limit.
    virtual int readTimeout(HidHandle *handle, uint8_t *data, size_t length, int timeoutMs) = 0;
    // Blocking or not as set by setNonblocking (blocking by default).
    virtual int read(HidHandle *handle, uint8_t *data, size_t length) = 0;

    // data[0] is the report id.
    virtual int sendFeatureReport(HidHandle *handle, const uint8_t *data, size_t length) = 0;
    virtual int getFeatureReport(HidHandle *handle, uint8_t *data, size_t length) = 0;

    // Copy at most maxChars wide characters including the terminator.
    virtual int getManufacturerString(HidHandle *handle, wchar_t *text, size_t maxChars) = 0;
    virtual int getProductString(HidHandle *handle, wchar_t *text, size_t maxChars) = 0;
    virtual int getSerialNumberString(HidHandle *handle, wchar_t *text, size_t maxChars) = 0;
    virtual int getIndexedString(HidHandle *handle, int index, wchar_t *text, size_t maxChars) = 0;

    // Text of the last error on this handle, or of the last open/enumerate
    // failure when handle is null. A copy, so it stays valid.
    virtual std::wstring error(HidHandle *handle) = 0;
};

// The process-wide backend: the hidapi one unless another was installed
// (the emulated device mode, a test) before the first device was opened.
HidBackend &hidBackend();
// nullptr restores the hidapi backend. The installed backend must outlive
// every handle opened through it.
void setHidBackend(HidBackend *backend);
// The hidapi backend itself (one per process).
HidBackend &hidapiBackend();
