#pragma once
// NUVEXAudio: the program's only path to the virtual audio driver. Six
// plain functions over synchronous I/O control requests on the driver's
// control device; no state beyond the handle, no threads, no logging.

#include <cstdint>

#include "driverclient/VadControlDevice.h"
#include "platform/os/WaveFormat.h"

inline constexpr uint32_t kVadAudioMagic = 0x56414421; // "!DAV" in memory

// Result codes. 4 is not assigned.
inline constexpr int VAD_AUDIO_OK = 0;
inline constexpr int VAD_AUDIO_ERROR_INVALID_HANDLE = 1;
inline constexpr int VAD_AUDIO_ERROR_DEVICE_NOT_FOUND = 2;
inline constexpr int VAD_AUDIO_ERROR_NOT_READY = 3;
inline constexpr int VAD_AUDIO_ERROR_BUFFER_FULL = 5;
inline constexpr int VAD_AUDIO_ERROR_INVALID_PARAMETER = 6;
inline constexpr int VAD_AUDIO_ERROR_FAILED = 7;

// CTL_CODE(FILE_DEVICE_UNKNOWN, function, METHOD_BUFFERED, access).
inline constexpr uint32_t vadCtlCode(uint32_t function, uint32_t access)
{
    return (0x22u << 16) | (access << 14) | (function << 2);
}
inline constexpr uint32_t kVadFileReadAccess = 1;
inline constexpr uint32_t kVadFileWriteAccess = 2;
inline constexpr uint32_t IOCTL_VAD_AUDIO_WRITE = vadCtlCode(0x800, kVadFileWriteAccess);
inline constexpr uint32_t IOCTL_VAD_AUDIO_GET_FORMAT = vadCtlCode(0x801, kVadFileReadAccess);
inline constexpr uint32_t IOCTL_VAD_AUDIO_GET_STATUS = vadCtlCode(0x802, kVadFileReadAccess);
inline constexpr uint32_t IOCTL_VAD_AUDIO_SET_FORMAT = vadCtlCode(0x803, kVadFileWriteAccess);
static_assert(IOCTL_VAD_AUDIO_WRITE == 0x0022A000);
static_assert(IOCTL_VAD_AUDIO_GET_FORMAT == 0x00226004);
static_assert(IOCTL_VAD_AUDIO_GET_STATUS == 0x00226008);
static_assert(IOCTL_VAD_AUDIO_SET_FORMAT == 0x0022A00C);

// The 16 bytes the driver answers GET_STATUS with.
#pragma pack(push, 1)
struct VadDriverStatusRecord {
    uint32_t word0;
    uint32_t word1;
    uint32_t freeBytes;
    uint8_t active;
    uint8_t unused[3];
};
#pragma pack(pop)
static_assert(sizeof(VadDriverStatusRecord) == 16);

// The status handed to the caller: the driver's words, its free bytes and
// its active byte widened (0..255).
struct VadAudioStatus {
    uint32_t word0;
    uint32_t word1;
    uint32_t freeBytes;
    uint32_t active;
};
static_assert(sizeof(VadAudioStatus) == 16);

// Bytes of the write reply the driver returns in the request's output.
inline constexpr uint32_t kVadWriteReplyBytes = 4;

struct VadAudioContext;
using VadAudioHandle = VadAudioContext*;

// Each function is also exported as TarvoAudio_* and VeloranAudio_*, the
// same entry point under another name.
extern "C" {
NUVEX_API int VadAudio_Open(VadAudioHandle* outHandle);
NUVEX_API int VadAudio_Close(VadAudioHandle handle);
NUVEX_API int VadAudio_GetFormat(VadAudioHandle handle, WAVEFORMATEXTENSIBLE* outFormat);
NUVEX_API int VadAudio_SetFormat(VadAudioHandle handle, const WAVEFORMATEXTENSIBLE* format);
NUVEX_API int VadAudio_Write(VadAudioHandle handle, const void* data, uint32_t length, int32_t* reply);
NUVEX_API int VadAudio_GetStatus(VadAudioHandle handle, VadAudioStatus* outStatus);
}
