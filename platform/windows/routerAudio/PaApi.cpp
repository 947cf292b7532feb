#include "platform/windows/routerAudio/PaApi.h"

#ifdef _WIN32
#include <pa_win_wasapi.h>
#endif

namespace {
std::recursive_mutex &globalMutex()
{
    static std::recursive_mutex mutex;
    return mutex;
}
} // namespace

std::unique_lock<std::recursive_mutex> PaApi::holdGlobal() { return std::unique_lock(globalMutex()); }

PaError PaApi::Initialize()
{
    auto lock = holdGlobal();
    return doInitialize();
}

PaError PaApi::Terminate()
{
    auto lock = holdGlobal();
    return doTerminate();
}

PaDeviceIndex PaApi::GetDeviceCount()
{
    auto lock = holdGlobal();
    return doGetDeviceCount();
}

const PaDeviceInfo *PaApi::GetDeviceInfo(PaDeviceIndex device)
{
    auto lock = holdGlobal();
    return doGetDeviceInfo(device);
}

const PaHostApiInfo *PaApi::GetHostApiInfo(PaHostApiIndex hostApi)
{
    auto lock = holdGlobal();
    return doGetHostApiInfo(hostApi);
}

PaDeviceIndex PaApi::GetDefaultInputDevice()
{
    auto lock = holdGlobal();
    return doGetDefaultInputDevice();
}

PaDeviceIndex PaApi::GetDefaultOutputDevice()
{
    auto lock = holdGlobal();
    return doGetDefaultOutputDevice();
}

PaError PaApi::IsFormatSupported(const PaStreamRequest *input, const PaStreamRequest *output, double sampleRate)
{
    auto lock = holdGlobal();
    return doIsFormatSupported(input, output, sampleRate);
}

PaError PaApi::OpenStream(PaStream **stream, const PaStreamRequest *input, const PaStreamRequest *output,
                          double sampleRate, unsigned long framesPerBuffer)
{
    auto lock = holdGlobal();
    return doOpenStream(stream, input, output, sampleRate, framesPerBuffer);
}

PaError PaApi::CloseStream(PaStream *stream)
{
    auto lock = holdGlobal();
    return doCloseStream(stream);
}

// --- RealPaApi -------------------------------------------------------------

namespace {

// Our request in PortAudio's terms; info must outlive the parameters.
struct NativeParameters {
    PaStreamParameters parameters{};
#ifdef _WIN32
    PaWasapiStreamInfo info{};
#endif
};

bool toNative(const PaStreamRequest *request, NativeParameters &native)
{
    if (!request)
        return true;
    native.parameters.device = request->device;
    native.parameters.channelCount = request->channelCount;
    native.parameters.sampleFormat = paFloat32;
    native.parameters.suggestedLatency = request->suggestedLatency;
    native.parameters.hostApiSpecificStreamInfo = nullptr;
    if (!request->exclusive)
        return true;
#ifdef _WIN32
    native.info.size = sizeof(PaWasapiStreamInfo);
    native.info.hostApiType = paWASAPI;
    native.info.version = 1;
    native.info.flags = paWinWasapiExclusive | paWinWasapiThreadPriority;
    native.info.threadPriority = eThreadPriorityProAudio;
    native.parameters.hostApiSpecificStreamInfo = &native.info;
    return true;
#else
    return false;
#endif
}

} // namespace

RealPaApi &RealPaApi::instance()
{
    static RealPaApi api;
    return api;
}

PaError RealPaApi::doInitialize() { return Pa_Initialize(); }
PaError RealPaApi::doTerminate() { return Pa_Terminate(); }
PaDeviceIndex RealPaApi::doGetDeviceCount() { return Pa_GetDeviceCount(); }
const PaDeviceInfo *RealPaApi::doGetDeviceInfo(PaDeviceIndex device) { return Pa_GetDeviceInfo(device); }
const PaHostApiInfo *RealPaApi::doGetHostApiInfo(PaHostApiIndex hostApi) { return Pa_GetHostApiInfo(hostApi); }
PaDeviceIndex RealPaApi::doGetDefaultInputDevice() { return Pa_GetDefaultInputDevice(); }
PaDeviceIndex RealPaApi::doGetDefaultOutputDevice() { return Pa_GetDefaultOutputDevice(); }

PaError RealPaApi::doIsFormatSupported(const PaStreamRequest *input, const PaStreamRequest *output,
                                       double sampleRate)
{
    NativeParameters in, out;
    if (!toNative(input, in) || !toNative(output, out))
        return paIncompatibleHostApiSpecificStreamInfo;
    return Pa_IsFormatSupported(input ? &in.parameters : nullptr, output ? &out.parameters : nullptr, sampleRate);
}

PaError RealPaApi::doOpenStream(PaStream **stream, const PaStreamRequest *input, const PaStreamRequest *output,
                                double sampleRate, unsigned long framesPerBuffer)
{
    NativeParameters in, out;
    if (!toNative(input, in) || !toNative(output, out))
        return paIncompatibleHostApiSpecificStreamInfo;
    return Pa_OpenStream(stream, input ? &in.parameters : nullptr, output ? &out.parameters : nullptr,
                         sampleRate, framesPerBuffer, paClipOff, nullptr, nullptr);
}

PaError RealPaApi::doCloseStream(PaStream *stream) { return Pa_CloseStream(stream); }
PaError RealPaApi::doStartStream(PaStream *stream) { return Pa_StartStream(stream); }
PaError RealPaApi::doStopStream(PaStream *stream) { return Pa_StopStream(stream); }
PaError RealPaApi::doIsStreamActive(PaStream *stream) { return Pa_IsStreamActive(stream); }

PaError RealPaApi::doReadStream(PaStream *stream, void *buffer, unsigned long frames)
{
    return Pa_ReadStream(stream, buffer, frames);
}

PaError RealPaApi::doWriteStream(PaStream *stream, const void *buffer, unsigned long frames)
{
    return Pa_WriteStream(stream, buffer, frames);
}

const char *RealPaApi::doGetErrorText(PaError error) { return Pa_GetErrorText(error); }

PaHostApiTypeId preferredHostApi()
{
#ifdef _WIN32
    return paWASAPI;
#else
    return paALSA;
#endif
}

const char *hostApiTypeName(PaHostApiTypeId type)
{
    switch (type) {
    case paWASAPI: return "WASAPI";
    case paALSA: return "ALSA";
    case paMME: return "MME";
    case paDirectSound: return "DirectSound";
    case paASIO: return "ASIO";
    case paWDMKS: return "WDM-KS";
    case paJACK: return "JACK";
    case paOSS: return "OSS";
    case paCoreAudio: return "Core Audio";
    default: return "other";
    }
}
