#include "driverclient/NUVEXAudio.h"

#include <atomic>
#include <cstdlib>
#include <cstring>

// The handle block. magic first, then the device; the control device that
// opened it stays with it, as the kernel object would on Windows.
struct VadAudioContext {
    uint32_t magic;
    VadDeviceHandle device;
    VadControlDevice* control;
};

namespace {

// With nothing behind the seam the control device simply does not exist.
class AbsentControlDevice final : public VadControlDevice {
public:
    uint32_t open(const char*, VadDeviceHandle* outDevice) override
    {
        *outDevice = nullptr;
        return kVadSysErrorFileNotFound;
    }
    uint32_t ioControl(VadDeviceHandle, uint32_t, const void*, uint32_t, void*, uint32_t,
                       uint32_t* returnedBytes) override
    {
        *returnedBytes = 0;
        return kVadSysErrorInvalidHandle;
    }
    void close(VadDeviceHandle) override {}
};

AbsentControlDevice g_absentDevice;
// Written by NUVEXControl_Install, read by VadAudio_Open on any thread.
std::atomic<VadControlDevice*> g_controlDevice{&g_absentDevice};

int VadAudio_MapError(uint32_t systemError)
{
    switch (systemError) {
    case kVadSysErrorSuccess:
        return VAD_AUDIO_OK;
    case kVadSysErrorFileNotFound:
    case kVadSysErrorPathNotFound:
        return VAD_AUDIO_ERROR_DEVICE_NOT_FOUND;
    case kVadSysErrorInvalidHandle:
        return VAD_AUDIO_ERROR_INVALID_HANDLE;
    case kVadSysErrorNotReady:
        return VAD_AUDIO_ERROR_NOT_READY;
    case kVadSysErrorInvalidParameter:
        return VAD_AUDIO_ERROR_INVALID_PARAMETER;
    case kVadSysErrorInsufficientBuffer:
        return VAD_AUDIO_ERROR_BUFFER_FULL;
    default:
        return VAD_AUDIO_ERROR_FAILED;
    }
}

bool VadAudio_ValidateHandle(VadAudioHandle handle)
{
    return handle != nullptr && handle->magic == kVadAudioMagic;
}

} // namespace

extern "C" {

void NUVEXControl_Install(VadControlDevice* device)
{
    g_controlDevice.store(device != nullptr ? device : &g_absentDevice, std::memory_order_release);
}

int VadAudio_Open(VadAudioHandle* outHandle)
{
    if (outHandle == nullptr)
        return VAD_AUDIO_ERROR_INVALID_PARAMETER;
    *outHandle = nullptr;

    VadControlDevice* control = g_controlDevice.load(std::memory_order_acquire);
    VadDeviceHandle device = nullptr;
    const uint32_t error = control->open(kVadControlDevicePath, &device);
    if (error != kVadSysErrorSuccess)
        return VadAudio_MapError(error);
    if (device == nullptr || device == vadInvalidDeviceHandle())
        return VAD_AUDIO_ERROR_FAILED;

    auto* block = static_cast<VadAudioContext*>(std::calloc(1, sizeof(VadAudioContext)));
    if (block == nullptr) {
        control->close(device);
        return VAD_AUDIO_ERROR_FAILED;
    }
    block->device = device;
    block->control = control;
    block->magic = kVadAudioMagic;
    *outHandle = block;
    return VAD_AUDIO_OK;
}

int VadAudio_Close(VadAudioHandle handle)
{
    if (!VadAudio_ValidateHandle(handle))
        return VAD_AUDIO_ERROR_INVALID_HANDLE;
    if (handle->device != nullptr && handle->device != vadInvalidDeviceHandle())
        handle->control->close(handle->device);
    handle->magic = 0;
    handle->device = nullptr;
    handle->control = nullptr;
    std::free(handle);
    return VAD_AUDIO_OK;
}

int VadAudio_GetFormat(VadAudioHandle handle, WAVEFORMATEXTENSIBLE* outFormat)
{
    if (!VadAudio_ValidateHandle(handle))
        return VAD_AUDIO_ERROR_INVALID_HANDLE;
    if (outFormat == nullptr)
        return VAD_AUDIO_ERROR_INVALID_PARAMETER;
    std::memset(outFormat, 0, sizeof(*outFormat));

    uint32_t returned = 0;
    const uint32_t error = handle->control->ioControl(handle->device, IOCTL_VAD_AUDIO_GET_FORMAT,
                                                      nullptr, 0, outFormat, sizeof(*outFormat),
                                                      &returned);
    if (error != kVadSysErrorSuccess) {
        // A buffered request copies nothing back when it fails.
        std::memset(outFormat, 0, sizeof(*outFormat));
        return VadAudio_MapError(error);
    }
    return VAD_AUDIO_OK;
}

int VadAudio_SetFormat(VadAudioHandle handle, const WAVEFORMATEXTENSIBLE* format)
{
    if (!VadAudio_ValidateHandle(handle))
        return VAD_AUDIO_ERROR_INVALID_HANDLE;
    if (format == nullptr)
        return VAD_AUDIO_ERROR_INVALID_PARAMETER;

    uint32_t returned = 0;
    const uint32_t error = handle->control->ioControl(handle->device, IOCTL_VAD_AUDIO_SET_FORMAT,
                                                      format, sizeof(*format), nullptr, 0,
                                                      &returned);
    return VadAudio_MapError(error);
}

int VadAudio_Write(VadAudioHandle handle, const void* data, uint32_t length, int32_t* reply)
{
    if (!VadAudio_ValidateHandle(handle))
        return VAD_AUDIO_ERROR_INVALID_HANDLE;
    if (data == nullptr || reply == nullptr)
        return VAD_AUDIO_ERROR_INVALID_PARAMETER;
    *reply = 0;
    if (length == 0)
        return VAD_AUDIO_OK;

    // One buffer serves as input and as the 4-byte reply, so it is at least
    // that long even for shorter writes.
    const size_t bufferBytes = length > kVadWriteReplyBytes ? length : kVadWriteReplyBytes;
    auto* buffer = static_cast<uint8_t*>(std::calloc(1, bufferBytes));
    if (buffer == nullptr)
        return VAD_AUDIO_ERROR_FAILED;
    std::memcpy(buffer, data, length);

    uint32_t returned = 0;
    const uint32_t error = handle->control->ioControl(handle->device, IOCTL_VAD_AUDIO_WRITE,
                                                      buffer, length, buffer,
                                                      kVadWriteReplyBytes, &returned);
    if (error != kVadSysErrorSuccess) {
        const int result = VadAudio_MapError(error);
        std::free(buffer);
        return result;
    }
    if (returned >= kVadWriteReplyBytes)
        std::memcpy(reply, buffer, kVadWriteReplyBytes);
    std::free(buffer);
    return VAD_AUDIO_OK;
}

int VadAudio_GetStatus(VadAudioHandle handle, VadAudioStatus* outStatus)
{
    if (!VadAudio_ValidateHandle(handle))
        return VAD_AUDIO_ERROR_INVALID_HANDLE;
    if (outStatus == nullptr)
        return VAD_AUDIO_ERROR_INVALID_PARAMETER;

    VadDriverStatusRecord record{};
    uint32_t returned = 0;
    const uint32_t error = handle->control->ioControl(handle->device, IOCTL_VAD_AUDIO_GET_STATUS,
                                                      nullptr, 0, &record, sizeof(record),
                                                      &returned);
    if (error != kVadSysErrorSuccess)
        return VadAudio_MapError(error);
    outStatus->word0 = record.word0;
    outStatus->word1 = record.word1;
    outStatus->freeBytes = record.freeBytes;
    outStatus->active = record.active;
    return VAD_AUDIO_OK;
}

// The same six entry points under the other two names.
#define NUVEX_ALIAS(name, target) NUVEX_API decltype(target) name __attribute__((alias(#target)));
NUVEX_ALIAS(TarvoAudio_Open, VadAudio_Open)
NUVEX_ALIAS(TarvoAudio_Close, VadAudio_Close)
NUVEX_ALIAS(TarvoAudio_GetFormat, VadAudio_GetFormat)
NUVEX_ALIAS(TarvoAudio_SetFormat, VadAudio_SetFormat)
NUVEX_ALIAS(TarvoAudio_Write, VadAudio_Write)
NUVEX_ALIAS(TarvoAudio_GetStatus, VadAudio_GetStatus)
NUVEX_ALIAS(VeloranAudio_Open, VadAudio_Open)
NUVEX_ALIAS(VeloranAudio_Close, VadAudio_Close)
NUVEX_ALIAS(VeloranAudio_GetFormat, VadAudio_GetFormat)
NUVEX_ALIAS(VeloranAudio_SetFormat, VadAudio_SetFormat)
NUVEX_ALIAS(VeloranAudio_Write, VadAudio_Write)
NUVEX_ALIAS(VeloranAudio_GetStatus, VadAudio_GetStatus)
#undef NUVEX_ALIAS

} // extern "C"
