// The engine's worker: requests, health check, 5 ms reads, pushes into the
// mixer and the monitor output. Streaming passes take no engine lock and,
// after the first passes, allocate nothing.
#include "platform/windows/routerAudio/AudioRouterServiceImpl.h"

#include "platform/windows/routerAudio/Mixer.h"

#include <algorithm>
#include <cmath>

namespace {
constexpr double kMonitorRate = 48000.0;
constexpr uint32_t kMaxMixFrames = 4 * kMaxBlockFrames;
} // namespace

uint32_t blockFrames(double rate)
{
    const double frames = std::floor(rate * 5.0 / 1000.0 + 0.5);
    if (!(frames >= 1.0)) // also NaN
        return 1;
    return frames > kMaxBlockFrames ? kMaxBlockFrames : static_cast<uint32_t>(frames);
}

void WorkerLoop::run()
{
    if (!start())
        return;
    while (m_engine.keepRunning()) {
        if (!pass())
            break;
    }
    finish();
}

bool WorkerLoop::start()
{
    const PaError err = m_engine.pa.Initialize();
    if (err != paNoError) {
        m_engine.log(PaLogLine() << "PortAudio initialization failed:" << m_engine.errorText(err));
        return false;
    }
    m_paInitialized = true;
    slots.clear();
    outputStream = nullptr;
    outputRate = 0.0;
    outputChannels = 0;
    outputDeviceIndex = -1;
    currentRate = m_engine.currentSampleRate.load();
    reopenStreams(false);
    m_engine.log(PaLogLine() << "Audio routing service started");
    return true;
}

void WorkerLoop::finish()
{
    closeStreams();
    if (m_paInitialized) {
        const PaError r = m_engine.pa.Terminate();
        m_paInitialized = false;
        if (r != paNoError && r != paNotInitialized)
            m_engine.log(PaLogLine() << "[Warning] Warning when terminating PortAudio:" << m_engine.errorText(r));
    }
    m_engine.log(PaLogLine() << "Audio routing service stopped");
}

bool WorkerLoop::applyRequests(bool &leave)
{
    AudioRouterService::Impl &e = m_engine;
    const double requested = e.requestedSampleRate.load();
    if (requested > 0.0 && std::fabs(requested - currentRate) > 1.0) {
        e.log(PaLogLine() << "Sample rate change request:" << requested << "Hz");
        {
            std::lock_guard lock(e.mutex);
            e.currentSampleRate.store(requested);
        }
        e.log(PaLogLine() << "[Info] Automatically refresh device list when changing sample rate");
        if (!reopenStreams(true)) {
            e.log(PaLogLine() << "Failed to reopen streams");
            leave = true;
            return true;
        }
        readErrorCounts.clear();
        return true;
    }

    bool added = false;
    bool changed = false;
    {
        std::lock_guard lock(e.mutex);
        if (!e.pendingInputs.empty()) {
            for (const InputDeviceEntry &entry : e.pendingInputs) {
                e.log(PaLogLine() << "Add device request:" << entry.name);
                e.config.inputDevices.push_back(entry);
            }
            e.pendingInputs.clear();
            added = true;
        }
        for (const std::string &name : e.pendingRemovals) {
            e.log(PaLogLine() << "Remove device request:" << name);
            std::erase_if(e.config.inputDevices,
                          [&](const InputDeviceEntry &entry) { return namesOverlap(name, entry.name); });
            changed = true;
        }
        e.pendingRemovals.clear();
        if (!e.pendingOutputDevice.empty()) {
            e.log(PaLogLine() << "Output device change request:" << e.pendingOutputDevice);
            e.config.outputDevice = e.pendingOutputDevice;
            e.pendingOutputDevice.clear();
            changed = true;
        }
    }
    bool reinitialize = false;
    if (added) {
        e.log(PaLogLine() << "[Info] Automatically refresh device list when adding device");
        reinitialize = true;
        e.refreshRequested.store(false);
        changed = true;
    }
    if (!reinitialize && e.refreshRequested.exchange(false)) {
        reinitialize = true;
        changed = true;
    }
    if (!changed)
        return false;
    if (!reopenStreams(reinitialize)) {
        e.log(PaLogLine() << "[Refresh] reopenStreams returned false; will retry next tick");
        requestRefresh();
        e.pauseMs(200);
    } else {
        readErrorCounts.clear();
    }
    return true;
}

bool WorkerLoop::healthy()
{
    PaApi &pa = m_engine.pa;
    bool missing = false;
    bool statusError = false;
    for (const InputStreamSlot &slot : slots) {
        if (!slot.stream) {
            missing = true;
            break;
        }
        const PaError active = pa.IsStreamActive(slot.stream);
        if (active == 0) {
            m_engine.log(PaLogLine() << "[Warning] Input stream inactive detected (" << slot.name
                                     << "), device may be disconnected");
            statusError = true;
            break;
        }
        if (active < 0) {
            m_engine.log(PaLogLine() << "[Warning] Failed to check input stream status (" << slot.name << "):"
                                     << m_engine.errorText(active));
            statusError = true;
            break;
        }
    }
    if (statusError) {
        requestRefresh();
        m_engine.pauseMs(10);
        return false;
    }
    if (missing) {
        const int64_t now = m_engine.nowMs();
        if (now - m_lastMissingRefreshMs > 1000) {
            m_lastMissingRefreshMs = now;
            requestRefresh();
        }
        m_engine.pauseMs(10);
        return false;
    }
    return true;
}

bool WorkerLoop::readInputs()
{
    PaApi &pa = m_engine.pa;
    for (InputStreamSlot &slot : slots) {
        const double slotRate = slot.actualSampleRate > 0.0 ? slot.actualSampleRate : currentRate;
        const uint32_t frames = blockFrames(slotRate);
        slot.buffer.assign(static_cast<size_t>(slot.channels) * frames, 0.0f);

        const PaError active = pa.IsStreamActive(slot.stream);
        if (active == 0) {
            m_engine.log(PaLogLine() << "[Warning] Input stream inactive detected before reading (" << slot.name
                                     << "), skipping this read");
            return false;
        }
        if (active < 0) {
            m_engine.log(PaLogLine() << "[Warning] Failed to check input stream status before reading ("
                                     << slot.name << "):" << m_engine.errorText(active));
            return false;
        }

        os::realtimeCheck("AudioRouterService read");
        const PaError err = pa.ReadStream(slot.stream, slot.buffer.data(), frames);
        if (err == paNoError) {
            if (const auto it = readErrorCounts.find(slot.name); it != readErrorCounts.end())
                it->second = 0;
        } else if (err != paInputOverflowed) {
            const int count = ++readErrorCounts[slot.name];
            if (count == 1 || count % 100 == 0)
                m_engine.log(PaLogLine() << "Failed to read input device (" << slot.name << "):"
                                         << m_engine.errorText(err) << "(count=" << count << ")");
            std::fill(slot.buffer.begin(), slot.buffer.end(), 0.0f);
            const int limit = err == paUnanticipatedHostError ? 3 : 10;
            if (count >= limit)
                return false;
            continue;
        }
        const AudioRouterService::AudioCallback callback = m_engine.audioCallback.load();
        if (slot.index == 0 && callback)
            callback(slot.buffer.data(), static_cast<int>(slot.channels), static_cast<int>(frames), slotRate);
    }
    return true;
}

void WorkerLoop::pushInputs()
{
    for (const InputStreamSlot &slot : slots) {
        if (!slot.stream || slot.buffer.empty() || slot.index < 0)
            continue;
        m_engine.mixer.push(static_cast<uint32_t>(slot.index), slot.buffer.data(),
                            static_cast<uint32_t>(slot.buffer.size() * sizeof(float)), &slot.pushFormat);
    }
}

bool WorkerLoop::outputActive()
{
    if (!outputStream)
        return false;
    const PaError active = m_engine.pa.IsStreamActive(outputStream);
    if (active == 0)
        requestRefresh();
    return active > 0;
}

void WorkerLoop::playMonitor()
{
    if (!outputStream || outputChannels < 2)
        return;
    const double rate = outputRate > 0.0 ? outputRate : kMonitorRate;
    const uint32_t outFrames = blockFrames(rate);
    const uint32_t mixFrames =
        std::clamp<uint32_t>(static_cast<uint32_t>(std::floor(outFrames * kMonitorRate / rate + 0.5)), 1,
                             kMaxMixFrames);
    const size_t channels = static_cast<size_t>(outputChannels);
    m_outputBlock.assign(channels * outFrames, 0.0f);
    m_mixBlock.assign(static_cast<size_t>(mixFrames) * 2, 0.0f);
    m_resampledBlock.assign(static_cast<size_t>(outFrames) * 2, 0.0f);

    m_engine.mixer.pullMonitor(m_mixBlock.data(), mixFrames);
    os::realtimeCheck("AudioRouterService monitor resampler");
    resampleMonitor(m_engine, m_mixBlock.data(), mixFrames, kMonitorRate, m_resampledBlock.data(), outFrames, rate);
    if (channels == 2) {
        std::copy(m_resampledBlock.begin(), m_resampledBlock.end(), m_outputBlock.begin());
    } else {
        for (size_t f = 0; f < outFrames; ++f) {
            const size_t at = f * channels;
            if (at + 1 < m_outputBlock.size()) {
                m_outputBlock[at] = m_resampledBlock[f * 2];
                m_outputBlock[at + 1] = m_resampledBlock[f * 2 + 1];
            }
        }
    }
    if (!outputActive())
        return;
    os::realtimeCheck("AudioRouterService write");
    const PaError err = m_engine.pa.WriteStream(outputStream, m_outputBlock.data(), outFrames);
    if (err == paBadStreamPtr || err == paDeviceUnavailable)
        requestRefresh();
}

void WorkerLoop::writeSilence()
{
    m_outputBlock.assign(static_cast<size_t>(std::max(outputChannels, 0)) * m_framesPerBuffer, 0.0f);
    if (outputActive())
        m_engine.pa.WriteStream(outputStream, m_outputBlock.data(), m_framesPerBuffer);
}

bool WorkerLoop::pass()
{
    bool leave = false;
    if (applyRequests(leave))
        return !leave;
    if (slots.empty()) {
        m_engine.pauseMs(10);
        return true;
    }
    if (!healthy())
        return true;
    if (readInputs()) {
        pushInputs();
        playMonitor();
        return true;
    }
    writeSilence();
    requestRefresh();
    m_engine.pauseMs(10);
    return true;
}
