#pragma once
// The library's one seam to the operating system: the virtual driver's
// control device. On Windows this is CreateFileW / DeviceIoControl /
// CloseHandle on "\\.\NUVEXAudioControl"; elsewhere nothing is behind it
// unless a substitute (the simulated driver) is installed, and the library
// then answers "driver not installed".

#include <cstdint>

#if defined(_WIN32)
#define NUVEX_API __declspec(dllexport)
#else
#define NUVEX_API __attribute__((visibility("default")))
#endif

// System error numbers, in the Windows numbering that the result codes of
// the library are defined against.
inline constexpr uint32_t kVadSysErrorSuccess = 0;
inline constexpr uint32_t kVadSysErrorFileNotFound = 2;
inline constexpr uint32_t kVadSysErrorPathNotFound = 3;
inline constexpr uint32_t kVadSysErrorAccessDenied = 5;
inline constexpr uint32_t kVadSysErrorInvalidHandle = 6;
inline constexpr uint32_t kVadSysErrorNotReady = 21;
inline constexpr uint32_t kVadSysErrorInvalidParameter = 87;
inline constexpr uint32_t kVadSysErrorInsufficientBuffer = 122;

// An operating-system handle of an opened control device.
using VadDeviceHandle = void*;

inline VadDeviceHandle vadInvalidDeviceHandle()
{
    return reinterpret_cast<VadDeviceHandle>(~uintptr_t{0});
}

inline constexpr char kVadControlDevicePath[] = "\\\\.\\NUVEXAudioControl";

class VadControlDevice {
public:
    virtual ~VadControlDevice() = default;

    // Opens the device at path for reading and writing, not shared, not
    // overlapped. Returns 0 and stores the device, or a system error number.
    virtual uint32_t open(const char* path, VadDeviceHandle* outDevice) = 0;

    // One synchronous, buffered I/O control request: the whole input is read
    // before any output is written, so in and out may be the same buffer.
    // Returns 0 and the number of output bytes written, or a system error
    // number (the output is then undefined).
    virtual uint32_t ioControl(VadDeviceHandle device, uint32_t code,
                               const void* in, uint32_t inBytes,
                               void* out, uint32_t outBytes,
                               uint32_t* returnedBytes) = 0;

    virtual void close(VadDeviceHandle device) = 0;
};

// Puts a control device behind the library (null: none, "not installed").
// Handles keep the device that opened them, so it must outlive them.
extern "C" NUVEX_API void NUVEXControl_Install(VadControlDevice* device);
