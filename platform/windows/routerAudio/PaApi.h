#pragma once
// The PortAudio calls the routing engine makes, behind an interface so the
// engine runs on real PortAudio (over ALSA here, WASAPI on Windows) or on a
// scripted fake. PortAudio's global state (initialisation, the device list,
// format checks, opening and closing streams) is not safe against itself
// across threads, so every such call goes through one process-wide lock;
// reads, writes, starts, stops and activity checks of a stream stay unlocked
// because the worker that owns the stream is the only one making them.

#include <portaudio.h>

#include <mutex>

// Parameters of one direction of a blocking stream: 32-bit float samples,
// clipping off. exclusive asks for the host's exclusive mode with the
// pro-audio thread priority (WASAPI only).
struct PaStreamRequest {
    PaDeviceIndex device = paNoDevice;
    int channelCount = 0;
    PaTime suggestedLatency = 0.0;
    bool exclusive = false;
};

class PaApi {
public:
    virtual ~PaApi() = default;

    // Held by callers that read several answers of the device list as one
    // (device info stays valid only until the next terminate). Recursive:
    // the calls below take it again.
    [[nodiscard]] static std::unique_lock<std::recursive_mutex> holdGlobal();

    PaError Initialize();
    PaError Terminate();
    PaDeviceIndex GetDeviceCount();
    const PaDeviceInfo *GetDeviceInfo(PaDeviceIndex device);
    const PaHostApiInfo *GetHostApiInfo(PaHostApiIndex hostApi);
    PaDeviceIndex GetDefaultInputDevice();
    PaDeviceIndex GetDefaultOutputDevice();
    PaError IsFormatSupported(const PaStreamRequest *input, const PaStreamRequest *output, double sampleRate);
    PaError OpenStream(PaStream **stream, const PaStreamRequest *input, const PaStreamRequest *output,
                       double sampleRate, unsigned long framesPerBuffer);
    PaError CloseStream(PaStream *stream);

    PaError StartStream(PaStream *stream) { return doStartStream(stream); }
    PaError StopStream(PaStream *stream) { return doStopStream(stream); }
    PaError IsStreamActive(PaStream *stream) { return doIsStreamActive(stream); }
    PaError ReadStream(PaStream *stream, void *buffer, unsigned long frames)
    {
        return doReadStream(stream, buffer, frames);
    }
    PaError WriteStream(PaStream *stream, const void *buffer, unsigned long frames)
    {
        return doWriteStream(stream, buffer, frames);
    }
    const char *GetErrorText(PaError error) { return doGetErrorText(error); }

protected:
    virtual PaError doInitialize() = 0;
    virtual PaError doTerminate() = 0;
    virtual PaDeviceIndex doGetDeviceCount() = 0;
    virtual const PaDeviceInfo *doGetDeviceInfo(PaDeviceIndex device) = 0;
    virtual const PaHostApiInfo *doGetHostApiInfo(PaHostApiIndex hostApi) = 0;
    virtual PaDeviceIndex doGetDefaultInputDevice() = 0;
    virtual PaDeviceIndex doGetDefaultOutputDevice() = 0;
    virtual PaError doIsFormatSupported(const PaStreamRequest *input, const PaStreamRequest *output,
                                        double sampleRate) = 0;
    virtual PaError doOpenStream(PaStream **stream, const PaStreamRequest *input, const PaStreamRequest *output,
                                 double sampleRate, unsigned long framesPerBuffer) = 0;
    virtual PaError doCloseStream(PaStream *stream) = 0;
    virtual PaError doStartStream(PaStream *stream) = 0;
    virtual PaError doStopStream(PaStream *stream) = 0;
    virtual PaError doIsStreamActive(PaStream *stream) = 0;
    virtual PaError doReadStream(PaStream *stream, void *buffer, unsigned long frames) = 0;
    virtual PaError doWriteStream(PaStream *stream, const void *buffer, unsigned long frames) = 0;
    virtual const char *doGetErrorText(PaError error) = 0;
};

// The installed PortAudio. Off Windows there is no exclusive mode: requests
// for it are refused as the host would refuse a foreign stream info.
class RealPaApi final : public PaApi {
public:
    static RealPaApi &instance();

protected:
    PaError doInitialize() override;
    PaError doTerminate() override;
    PaDeviceIndex doGetDeviceCount() override;
    const PaDeviceInfo *doGetDeviceInfo(PaDeviceIndex device) override;
    const PaHostApiInfo *doGetHostApiInfo(PaHostApiIndex hostApi) override;
    PaDeviceIndex doGetDefaultInputDevice() override;
    PaDeviceIndex doGetDefaultOutputDevice() override;
    PaError doIsFormatSupported(const PaStreamRequest *input, const PaStreamRequest *output,
                                double sampleRate) override;
    PaError doOpenStream(PaStream **stream, const PaStreamRequest *input, const PaStreamRequest *output,
                         double sampleRate, unsigned long framesPerBuffer) override;
    PaError doCloseStream(PaStream *stream) override;
    PaError doStartStream(PaStream *stream) override;
    PaError doStopStream(PaStream *stream) override;
    PaError doIsStreamActive(PaStream *stream) override;
    PaError doReadStream(PaStream *stream, void *buffer, unsigned long frames) override;
    PaError doWriteStream(PaStream *stream, const void *buffer, unsigned long frames) override;
    const char *doGetErrorText(PaError error) override;
};

// Host API the engine selects devices of: WASAPI on Windows, ALSA elsewhere.
PaHostApiTypeId preferredHostApi();
// Display name of a host API type as the engine's lines print it.
const char *hostApiTypeName(PaHostApiTypeId type);
