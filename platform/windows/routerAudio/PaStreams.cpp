// Rebuild of the engine's PortAudio streams; runs on the worker only.
#include "platform/windows/routerAudio/AudioRouterServiceImpl.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <string>

namespace {

constexpr double kTargetRate = 48000.0;
// More channels than any capture device has: a host reporting beyond it is
// not believed, so a block's size stays bounded.
constexpr int kMaxDeviceChannels = 256;

std::string text(const char *s) { return s ? s : ""; }

bool isDeviceErrorText(const std::string &what)
{
    return what.find("Internal PortAudio error") != std::string::npos || what.find("-10851") != std::string::npos ||
           what.find("Invalid Property Value") != std::string::npos;
}

const char *modeName(bool exclusive) { return exclusive ? " mode=EXCLUSIVE" : " mode=shared"; }

} // namespace

WorkerLoop::WorkerLoop(AudioRouterService::Impl &engine) : m_engine(engine) {}

WorkerLoop::~WorkerLoop() = default;

void WorkerLoop::closeStreams()
{
    PaApi &pa = m_engine.pa;
    for (InputStreamSlot &slot : slots) {
        if (slot.stream)
            pa.StopStream(slot.stream);
    }
    if (outputStream)
        pa.StopStream(outputStream);
    m_engine.pauseMs(10);
    for (InputStreamSlot &slot : slots) {
        if (slot.stream)
            pa.CloseStream(slot.stream);
        slot.stream = nullptr;
    }
    if (outputStream)
        pa.CloseStream(outputStream);
    outputStream = nullptr;
}

bool WorkerLoop::reinitializePortAudio()
{
    PaApi &pa = m_engine.pa;
    if (m_paInitialized) {
        const PaError r = pa.Terminate();
        m_paInitialized = false;
        if (r != paNoError && r != paNotInitialized)
            m_engine.log(PaLogLine() << "[Warning] Warning when terminating PortAudio:" << m_engine.errorText(r));
    }
    m_engine.pauseMs(100);
    PaError err = pa.Initialize();
    if (err != paNoError) {
        m_engine.log(PaLogLine() << "[Warning] Failed to reinitialize PortAudio:" << m_engine.errorText(err)
                                 << ", retrying...");
        m_engine.pauseMs(100);
        err = pa.Initialize();
    }
    if (err != paNoError) {
        m_engine.log(PaLogLine() << "[Error] Unable to reinitialize PortAudio:" << m_engine.errorText(err));
        m_engine.pauseMs(200);
        err = pa.Initialize();
    }
    if (err != paNoError) {
        m_engine.log(PaLogLine() << "[Error] Finally unable to reinitialize PortAudio, service will stop");
        return false;
    }
    m_paInitialized = true;
    return true;
}

void WorkerLoop::refreshDeviceList(int retry)
{
    PaApi &pa = m_engine.pa;
    m_engine.log(PaLogLine() << "[Info] Refreshing PortAudio device list (retry " << retry << ")...");
    if (m_paInitialized)
        pa.Terminate();
    m_engine.pauseMs(200);
    m_paInitialized = pa.Initialize() == paNoError;
}

bool WorkerLoop::lookupInput(const std::string &name, int &index)
{
    index = m_engine.findDeviceByName(name, false);
    if (index == -1)
        return false;
    const PaDeviceInfo *info = m_engine.pa.GetDeviceInfo(index);
    return info && info->maxInputChannels > 0;
}

bool WorkerLoop::resolveInputDevice(InputStreamSlot &slot)
{
    const PaDeviceInfo *info = slot.deviceIndex == -1 ? nullptr : m_engine.pa.GetDeviceInfo(slot.deviceIndex);
    if (info && info->maxInputChannels > 0)
        return false;
    int index = slot.deviceIndex;
    for (int retry = 1; retry <= 2; ++retry) {
        refreshDeviceList(retry);
        if (lookupInput(slot.name, index))
            break;
    }
    slot.deviceIndex = index;
    return true;
}

PaStream *WorkerLoop::openInputStream(InputStreamSlot &slot, double &rate, uint32_t framesPerBuffer)
{
    PaApi &pa = m_engine.pa;
    const int index = slot.deviceIndex;
    if (index == -1)
        throw std::runtime_error("Unable to find input device: " + slot.name);
    const PaDeviceInfo *info = pa.GetDeviceInfo(index);
    if (!info)
        throw std::runtime_error("Unable to get input device info: " + slot.name);
    const PaHostApiInfo *host = pa.GetHostApiInfo(info->hostApi);
    const bool wasapi = host && host->type == paWASAPI;
    const int maxInput = std::min(info->maxInputChannels, kMaxDeviceChannels);
    const double defaultRate = info->defaultSampleRate;
    const PaTime lowLatency = info->defaultLowInputLatency;
    const PaTime highLatency = info->defaultHighInputLatency;

    m_engine.log(PaLogLine() << "[Debug] Opening device: " << slot.name << " index:" << index << " api:"
                             << (host && host->name ? host->name : "(?)") << " maxInputCh:" << maxInput
                             << " requestedCh:" << slot.requestedChannels << " defaultSampleRate:" << defaultRate);
    if (maxInput < 1)
        throw std::runtime_error("Device is not a valid input device: " + slot.name);
    const long long wanted = slot.requestedChannels > 0 ? std::min<long long>(slot.requestedChannels, maxInput)
                                                        : std::min(2, maxInput);
    slot.channels = static_cast<uint32_t>(wanted);
    if (wanted < 1)
        throw std::runtime_error("Invalid input channel count");
    if (maxInput < wanted)
        throw std::runtime_error("Input device has insufficient channels");
    const int channels = static_cast<int>(wanted);

    const PaStreamRequest shared{index, channels, lowLatency, false};
    const PaStreamRequest exclusiveRequest{index, channels, highLatency, true};
    const PaError sharedCheck = pa.IsFormatSupported(&shared, nullptr, rate);
    const bool sharedOk = sharedCheck == paNoError;
    bool exclusive = false;
    if (wasapi && !sharedOk) {
        const PaError check = pa.IsFormatSupported(&exclusiveRequest, nullptr, rate);
        if (check == paNoError) {
            exclusive = true;
            m_engine.log(PaLogLine() << "[Info] Shared mode does not support" << rate
                                     << "Hz; will open WASAPI EXCLUSIVE for" << slot.name);
        } else {
            m_engine.log(PaLogLine() << "[Warning] WASAPI exclusive mode also does not support" << rate
                                     << "Hz:" << m_engine.errorText(check));
        }
    }
    if (!sharedOk && !exclusive) {
        if (sharedCheck == paInvalidSampleRate) {
            m_engine.log(PaLogLine() << "[Info] Device" << slot.name << " does not support sample rate " << rate
                                     << " Hz, automatically using device default sample rate " << defaultRate
                                     << " Hz");
            rate = defaultRate;
        } else {
            m_engine.log(PaLogLine() << "[Warning] Warning when checking device format:"
                                     << m_engine.errorText(sharedCheck));
        }
    }

    const unsigned long frames = exclusive ? paFramesPerBufferUnspecified : framesPerBuffer;
    m_engine.log(PaLogLine() << "[Debug] Pa_OpenStream: device=" << index << " channels=" << channels
                             << " sampleRate=" << rate << " framesPerBuffer=" << frames
                             << " latency=" << (exclusive ? highLatency : lowLatency) << modeName(exclusive));
    PaStream *stream = nullptr;
    PaError err = pa.OpenStream(&stream, exclusive ? &exclusiveRequest : &shared, nullptr, rate, frames);
    if (err != paNoError && exclusive) {
        m_engine.log(PaLogLine() << "[Warning] Exclusive-mode open failed (" << m_engine.errorText(err)
                                 << "), falling back to shared mode");
        stream = nullptr;
        err = pa.OpenStream(&stream, &shared, nullptr, defaultRate, framesPerBuffer);
        if (err == paNoError)
            rate = defaultRate;
    }
    if (err != paNoError) {
        const std::string errText = text(m_engine.errorText(err));
        m_engine.log(PaLogLine() << "[Error] Pa_OpenStream failed: " << errText.c_str() << " (code=" << err << ")");
        throw std::runtime_error("Failed to open input stream: " + errText +
                                 " (device index: " + std::to_string(index) + ")");
    }
    m_engine.log(PaLogLine() << "[Debug] Pa_OpenStream succeeded, starting stream...");
    err = pa.StartStream(stream);
    if (err != paNoError) {
        const std::string errText = text(m_engine.errorText(err));
        m_engine.log(PaLogLine() << "[Error] Pa_StartStream failed: " << errText.c_str() << " (code=" << err
                                 << ")");
        pa.CloseStream(stream);
        throw std::runtime_error("Failed to start input stream: " + errText);
    }
    m_engine.log(PaLogLine() << "[Debug] Stream started successfully for " << slot.name);
    slot.buffer.assign(static_cast<size_t>(channels) * framesPerBuffer, 0.0f);
    return stream;
}

PaStream *WorkerLoop::openOutputStreamDefault(int32_t deviceIndex, int32_t channels, double &rate,
                                              uint32_t framesPerBuffer)
{
    PaApi &pa = m_engine.pa;
    if (deviceIndex == -1)
        throw std::runtime_error("Unable to find output device");
    const PaDeviceInfo *info = pa.GetDeviceInfo(deviceIndex);
    if (!info)
        throw std::runtime_error("Unable to get output device info");
    if (info->maxOutputChannels < channels)
        throw std::runtime_error("Output device has insufficient channels");
    const PaHostApiInfo *host = pa.GetHostApiInfo(info->hostApi);
    const bool wasapi = host && host->type == paWASAPI;
    const double defaultRate = info->defaultSampleRate;

    const PaStreamRequest shared{deviceIndex, channels, info->defaultLowOutputLatency, false};
    const PaStreamRequest exclusiveRequest{deviceIndex, channels, info->defaultHighOutputLatency, true};
    const PaError sharedCheck = pa.IsFormatSupported(nullptr, &shared, rate);
    const bool sharedOk = sharedCheck == paNoError;
    bool exclusive = false;
    if (wasapi && !sharedOk && pa.IsFormatSupported(nullptr, &exclusiveRequest, rate) == paNoError) {
        exclusive = true;
        m_engine.log(PaLogLine() << "[Info] Output WASAPI EXCLUSIVE will be used for " << rate << " Hz"
                                 << " (shared not supported)");
    }
    if (!sharedOk && !exclusive) {
        if (sharedCheck == paInvalidSampleRate) {
            m_engine.log(PaLogLine() << "[Info] Output device does not support sample rate" << rate
                                     << " Hz, automatically using device default sample rate " << defaultRate
                                     << " Hz");
            rate = defaultRate;
        } else {
            m_engine.log(PaLogLine() << "[Warning] Warning when checking output device format:"
                                     << m_engine.errorText(sharedCheck));
        }
    }

    PaStream *stream = nullptr;
    PaError err = pa.OpenStream(&stream, nullptr, exclusive ? &exclusiveRequest : &shared, rate,
                                exclusive ? paFramesPerBufferUnspecified : framesPerBuffer);
    if (err != paNoError && exclusive) {
        m_engine.log(PaLogLine() << "[Warning] Output exclusive-mode open failed (" << m_engine.errorText(err)
                                 << "), falling back to shared mode");
        exclusive = false;
        stream = nullptr;
        err = pa.OpenStream(&stream, nullptr, &shared, defaultRate, framesPerBuffer);
        if (err == paNoError)
            rate = defaultRate;
    }
    if (err != paNoError)
        throw std::runtime_error("Failed to open output stream: " + text(m_engine.errorText(err)));
    err = pa.StartStream(stream);
    if (err != paNoError) {
        pa.CloseStream(stream);
        throw std::runtime_error("Failed to start output stream: " + text(m_engine.errorText(err)));
    }
    m_engine.log(PaLogLine() << "[Debug] Output Pa_OpenStream + Pa_StartStream OK, rate=" << rate << " Hz"
                             << modeName(exclusive));
    return stream;
}

bool WorkerLoop::reopenStreams(bool reinitialize)
{
    closeStreams();
    outputStream = nullptr;
    outputRate = 0.0;
    resetMonitorResampler(m_engine);
    if (reinitialize && !reinitializePortAudio())
        return false;

    AudioRouterConfig config;
    {
        std::lock_guard lock(m_engine.mutex);
        config = m_engine.config;
        currentRate = m_engine.currentSampleRate.load();
    }
    m_framesPerBuffer = config.framesPerBuffer;
    buildSlots(config.inputDevices);
    resolveSlotDevices();
    findOutputDevice(config.outputDevice);

    OpenTally tally;
    double rate = currentRate;
    const double requested = m_engine.requestedSampleRate.load();
    const bool rateRequested = requested > 0.0 && std::fabs(requested - currentRate) < 1.0;
    if (!slots.empty())
        rate = openFirstInput(tally);
    openOutput(rate, rateRequested);
    openOtherInputs(rate, rateRequested, tally);

    {
        std::lock_guard lock(m_engine.mutex);
        m_engine.currentSampleRate.store(rate);
    }
    if (tally.deviceError && !reinitialize) {
        m_engine.log(PaLogLine() << "[Info] Device-related error detected, will automatically refresh device list "
                                    "in next loop");
        m_engine.refreshRequested.store(true);
    }
    if (tally.opened == 0)
        m_engine.log(PaLogLine() << "Currently no successfully opened input streams (will keep running to wait for "
                                    "subsequent addition/replacement)");
    prepareSlotBuffers();
    m_engine.log(PaLogLine() << "Audio stream initialized, sample rate:" << currentRate
                             << "Hz (Windows: input only, no output stream)");
    return true;
}

void WorkerLoop::buildSlots(const std::vector<InputDeviceEntry> &inputs)
{
    slots.clear();
    for (const InputDeviceEntry &entry : inputs) {
        InputStreamSlot slot;
        slot.name = entry.name;
        slot.requestedChannels = entry.requestedChannels;
        slot.index = entry.index;
        slot.deviceIndex = m_engine.findDeviceByName(entry.name, false);
        if (slot.deviceIndex == -1) {
            slot.channels = entry.requestedChannels > 0 ? entry.requestedChannels : 1;
        } else if (const PaDeviceInfo *info = m_engine.pa.GetDeviceInfo(slot.deviceIndex)) {
            const int maxInput = std::clamp(info->maxInputChannels, 0, kMaxDeviceChannels);
            slot.channels = static_cast<uint32_t>(entry.requestedChannels > 0
                                                      ? std::min<long long>(entry.requestedChannels, maxInput)
                                                      : std::min(2, maxInput));
        } else {
            m_engine.log(PaLogLine() << "Failed to get input device info:" << entry.name);
            continue;
        }
        slots.push_back(std::move(slot));
    }
    if (slots.empty())
        m_engine.log(PaLogLine() << "No available input devices (will keep running to wait for subsequent "
                                    "addition/replacement)");
}

void WorkerLoop::resolveSlotDevices()
{
    // Every device is resolved before any stream opens: refreshing the list
    // terminates PortAudio, which would close streams already opened. After
    // a refresh the indices of earlier slots may have moved.
    for (size_t k = 0; k < slots.size(); ++k) {
        if (!resolveInputDevice(slots[k]))
            continue;
        for (size_t j = 0; j < k; ++j)
            lookupInput(slots[j].name, slots[j].deviceIndex);
    }
}

void WorkerLoop::findOutputDevice(const std::string &name)
{
    outputDeviceIndex = -1;
    if (!slots.empty()) {
        outputDeviceIndex = m_engine.findDeviceByName(name, true);
        if (outputDeviceIndex == -1)
            m_engine.log(PaLogLine() << "Output device not found:" << name
                                     << "(will keep running to wait for subsequent correction)");
    }
    outputChannels = slots.empty() ? 0 : 2;
}

bool WorkerLoop::openSlot(InputStreamSlot &slot, double &openedRate, OpenTally &tally)
{
    try {
        slot.stream = openInputStream(slot, openedRate, m_framesPerBuffer);
        slot.actualSampleRate = openedRate;
        ++tally.opened;
        return true;
    } catch (const std::exception &e) {
        m_engine.log(PaLogLine() << "Failed to open input stream (" << slot.name << "):" << e.what()
                                 << "(skipping this input)");
        slot.stream = nullptr;
        slot.deviceIndex = -1;
        slot.actualSampleRate = 0.0;
        tally.deviceError = tally.deviceError || isDeviceErrorText(e.what());
        return false;
    }
}

double WorkerLoop::openFirstInput(OpenTally &tally)
{
    double openedRate = kTargetRate;
    InputStreamSlot &first = slots.front();
    if (openSlot(first, openedRate, tally) && std::fabs(openedRate - kTargetRate) > 1.0)
        m_engine.log(PaLogLine() << "[Warning] First input" << first.name << "fell back to" << openedRate
                                 << "Hz, expected" << kTargetRate
                                 << "Hz; keeping target, this input runs at its own rate");
    return kTargetRate;
}

void WorkerLoop::openOutput(double &rate, bool rateRequested)
{
    if (outputDeviceIndex == -1 || outputChannels < 1)
        return;
    const PaDeviceInfo *info = m_engine.pa.GetDeviceInfo(outputDeviceIndex);
    if (info && info->maxOutputChannels < 2) {
        m_engine.log(PaLogLine() << "[Warning] Device only supports" << info->maxOutputChannels
                                 << "output channels, output at device limit.");
        outputChannels = info->maxOutputChannels;
    } else {
        outputChannels = 2;
    }
    double request = info && info->defaultSampleRate > 0.0 ? info->defaultSampleRate : kTargetRate;
    try {
        outputStream = openOutputStreamDefault(outputDeviceIndex, outputChannels, request, m_framesPerBuffer);
        outputRate = request;
        if (std::fabs(outputRate - rate) > 1.0) {
            if (rateRequested) {
                m_engine.log(PaLogLine() << "[Info] Output device opened at" << outputRate << "Hz (target is"
                                         << rate << "Hz; monitor path stays 48k by design)");
            } else {
                m_engine.log(PaLogLine() << "[Info] Output device using sample rate:" << outputRate << "Hz");
                rate = outputRate;
                currentRate = outputRate;
            }
        }
    } catch (const std::exception &e) {
        m_engine.log(PaLogLine() << "Failed to open output stream:" << e.what()
                                 << "(will keep running to wait for subsequent correction)");
        outputStream = nullptr;
        outputRate = 0.0;
    }
}

void WorkerLoop::openOtherInputs(double &rate, bool rateRequested, OpenTally &tally)
{
    for (size_t k = 1; k < slots.size(); ++k) {
        InputStreamSlot &slot = slots[k];
        double openedRate = kTargetRate;
        if (!openSlot(slot, openedRate, tally) || std::fabs(openedRate - rate) <= 1.0)
            continue;
        if (rateRequested) {
            m_engine.log(PaLogLine() << "[Warning] Device" << slot.name << "fell back to" << openedRate
                                     << "Hz but target is" << rate
                                     << "Hz; keeping target, this input runs at its own rate");
        } else {
            m_engine.log(PaLogLine() << "[Warning] Device" << slot.name << "using different sample rate"
                                     << openedRate << "Hz, may not match system");
            rate = openedRate;
            currentRate = openedRate;
        }
    }
}

void WorkerLoop::prepareSlotBuffers()
{
    // Room for the largest block a pass reads, so passes never grow buffers.
    for (InputStreamSlot &slot : slots) {
        if (!slot.stream)
            continue; // never read; its channel count may be anything configured
        const double slotRate = slot.actualSampleRate > 0.0 ? slot.actualSampleRate : currentRate;
        const size_t frames = std::max<size_t>(m_framesPerBuffer, blockFrames(slotRate));
        slot.buffer.reserve(static_cast<size_t>(slot.channels) * frames);
        std::fill(slot.buffer.begin(), slot.buffer.end(), 0.0f);
        slot.pushFormat = os::floatFormat(static_cast<uint32_t>(slotRate), static_cast<uint16_t>(slot.channels));
    }
}
