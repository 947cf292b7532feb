#pragma once
// Activation of an audio stream that carries what one process tree plays
// (or everything except it).
//
// Contract: activateAudioInterfaceAsync() either fails at once, or returns
// S_OK and later calls the handler's activateCompleted() exactly once, on a
// thread of the platform (never the caller's). The operation object tells
// the outcome and hands over the audio client. The client refuses
// getMixFormat() as the real stream does unless told otherwise; it is
// initialised as a capture stream with AUDCLNT_STREAMFLAGS_LOOPBACK.

#include "platform/os/HResult.h"

#include <cstdint>
#include <memory>

namespace os {

class AudioClient;

inline constexpr std::uint32_t AUDIOCLIENT_ACTIVATION_TYPE_DEFAULT = 0;
inline constexpr std::uint32_t AUDIOCLIENT_ACTIVATION_TYPE_PROCESS_LOOPBACK = 1;
inline constexpr std::uint32_t PROCESS_LOOPBACK_MODE_INCLUDE_TARGET_PROCESS_TREE = 0;
inline constexpr std::uint32_t PROCESS_LOOPBACK_MODE_EXCLUDE_TARGET_PROCESS_TREE = 1;

// The virtual device path that process-loopback activation is made on.
inline constexpr const wchar_t* kProcessLoopbackDevicePath = L"VAD\\Process_Loopback";

struct AudioClientActivationParams {
    std::uint32_t activationType = AUDIOCLIENT_ACTIVATION_TYPE_PROCESS_LOOPBACK;
    std::uint32_t targetProcessId = 0;
    std::uint32_t processLoopbackMode = PROCESS_LOOPBACK_MODE_INCLUDE_TARGET_PROCESS_TREE;
};
static_assert(sizeof(AudioClientActivationParams) == 12);

class ActivationOperation {
public:
    virtual ~ActivationOperation() = default;
    // activateResult is the activation's own outcome; client is set on success.
    virtual HRESULT getActivateResult(HRESULT& activateResult, std::shared_ptr<AudioClient>& client) = 0;
};

class ActivationCompletionHandler {
public:
    virtual ~ActivationCompletionHandler() = default;
    virtual HRESULT activateCompleted(ActivationOperation& operation) = 0;
};

} // namespace os
