#include "platform/windows/routerAudio/LoopbackCapture.h"

#include "platform/os/RealtimeGuard.h"
#include "platform/os/RealtimeThread.h"
#include "platform/windows/routerAudio/AudioLogText.h"
#include "platform/windows/routerAudio/Mixer.h"
#include "platform/windows/routerAudio/MixerLog.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace {

constexpr uint32_t kLoopbackStreamFlags = AUDCLNT_STREAMFLAGS_AUTOCONVERTPCM | AUDCLNT_STREAMFLAGS_SRC_DEFAULT_QUALITY
                                          | AUDCLNT_STREAMFLAGS_EVENTCALLBACK | AUDCLNT_STREAMFLAGS_LOOPBACK;
static_assert(kLoopbackStreamFlags == 0x88060000u);

} // namespace

std::shared_ptr<CLoopbackCapture> CLoopbackCapture::create(std::shared_ptr<os::OsPlatform> platform, Mixer &mixer)
{
    if (!platform)
        return nullptr;
    return std::shared_ptr<CLoopbackCapture>(new CLoopbackCapture(std::move(platform), mixer));
}

std::shared_ptr<CLoopbackCapture> CLoopbackCapture::create()
{
    return create(os::currentPlatform(), Mixer::instance());
}

CLoopbackCapture::CLoopbackCapture(std::shared_ptr<os::OsPlatform> platform, Mixer &mixer)
    : m_platform(std::move(platform))
    , m_clock(m_platform->clock())
    , m_mixer(mixer)
    , m_activateCompleted(m_clock)
    , m_captureStopped(m_clock)
    , m_startSettled(m_clock, os::EventReset::Manual)
{
}

CLoopbackCapture::~CLoopbackCapture()
{
    if (m_queueId != 0)
        m_platform->workQueues().unlockWorkQueue(m_queueId);
}

std::shared_ptr<os::AsyncCallback> CLoopbackCapture::shared(Callback &callback)
{
    return std::shared_ptr<os::AsyncCallback>(shared_from_this(), &callback);
}

void CLoopbackCapture::log(const std::string &line) const
{
    mixerLogLine(line);
}

HRESULT CLoopbackCapture::StartCapture(uint32_t processId, bool includeProcessTree)
{
    m_processId = processId;
    if (HRESULT hr = PrepareCapture(); FAILED(hr))
        return hr;
    if (HRESULT hr = ActivateAudioClient(processId, includeProcessTree); FAILED(hr)) {
        m_state.store(CaptureState::Failed, std::memory_order_release);
        return hr;
    }
    CaptureState expected = CaptureState::Initialized;
    if (m_state.compare_exchange_strong(expected, CaptureState::Starting, std::memory_order_acq_rel)) {
        const HRESULT hr = m_platform->workQueues().putWorkItem(os::kMultithreadedQueue, 0,
                                                                shared(m_callbackStartCapture));
        if (FAILED(hr)) {
            m_state.store(CaptureState::Failed, std::memory_order_release);
            m_startSettled.set();
        }
        return hr;
    }
    return S_OK;
}

HRESULT CLoopbackCapture::PrepareCapture()
{
    m_sampleReadyEvent = std::make_shared<os::Event>(m_clock);
    os::WorkQueues &queues = m_platform->workQueues();
    if (HRESULT hr = queues.startup(); FAILED(hr))
        return hr;
    if (HRESULT hr = queues.lockSharedWorkQueue(L"Capture", 0, m_queueId); FAILED(hr)) {
        m_queueId = 0;
        return hr;
    }
    m_callbackSampleReady.m_queueId = m_queueId;
    return S_OK;
}

HRESULT CLoopbackCapture::ActivateAudioClient(uint32_t processId, bool includeProcessTree)
{
    os::AudioClientActivationParams params;
    params.activationType = os::AUDIOCLIENT_ACTIVATION_TYPE_PROCESS_LOOPBACK;
    params.targetProcessId = processId;
    params.processLoopbackMode = includeProcessTree ? os::PROCESS_LOOPBACK_MODE_INCLUDE_TARGET_PROCESS_TREE
                                                    : os::PROCESS_LOOPBACK_MODE_EXCLUDE_TARGET_PROCESS_TREE;
    std::shared_ptr<os::ActivationOperation> operation;
    if (HRESULT hr = m_platform->activateAudioInterfaceAsync(os::kProcessLoopbackDevicePath, params,
                                                             shared_from_this(), operation);
        FAILED(hr))
        return hr;
    if (!m_activateCompleted.wait(kWaitTimeoutMs)) {
        // A completion that still comes finds the capture abandoned and lets
        // its stream go.
        std::lock_guard lock(m_activationMutex);
        if (!m_activateCompleted.trySignalled()) {
            m_activationAbandoned = true;
            return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
        }
    }
    return m_activateResult.load(std::memory_order_acquire);
}

HRESULT CLoopbackCapture::activateCompleted(os::ActivationOperation &operation)
{
    HRESULT hr = activationBody(operation);
    std::lock_guard handshake(m_activationMutex);
    if (m_activationAbandoned) {
        // Nobody waits any more: release the stream now.
        std::lock_guard lock(m_criticalSection);
        m_captureClient.reset();
        m_audioClient.reset();
        if (SUCCEEDED(hr))
            hr = HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    }
    if (FAILED(hr)) {
        m_state.store(CaptureState::Failed, std::memory_order_release);
        // Nothing will arm a wait: let go of the result's reference to us.
        std::lock_guard lock(m_criticalSection);
        m_sampleReadyResult.reset();
    }
    m_activateResult.store(hr, std::memory_order_release);
    m_activateCompleted.set();
    return S_OK;
}

HRESULT CLoopbackCapture::activationBody(os::ActivationOperation &operation)
{
    HRESULT activateResult = E_UNEXPECTED;
    std::shared_ptr<os::AudioClient> client;
    if (HRESULT hr = operation.getActivateResult(activateResult, client); FAILED(hr))
        return hr;
    if (FAILED(activateResult))
        return activateResult;
    if (!client)
        return E_NOINTERFACE;
    m_audioClient = std::move(client);

    std::vector<uint8_t> mix;
    const HRESULT mixResult = m_audioClient->getMixFormat(mix);
    if (SUCCEEDED(mixResult) && mix.size() >= sizeof(WAVEFORMATEX)) {
        std::memset(&m_captureFormat, 0, sizeof(m_captureFormat));
        std::memcpy(&m_captureFormat.format, mix.data(), sizeof(WAVEFORMATEX));
        const uint16_t extension = m_captureFormat.format.cbSize;
        // An extension is kept only when it fits our record and the
        // platform's copy really holds it.
        if (extension >= 1 && extension <= kMaxFormatExtensionBytes
            && mix.size() >= sizeof(WAVEFORMATEX) + extension)
            std::memcpy(m_captureFormat.extension, mix.data() + sizeof(WAVEFORMATEX), extension);
        else
            m_captureFormat.format.cbSize = 0;
        const WAVEFORMATEX &f = m_captureFormat.format;
        log("[INFO] Capture format: " + std::to_string(f.nSamplesPerSec) + " Hz, " + std::to_string(f.nChannels)
            + " ch, " + std::to_string(f.wBitsPerSample) + " bits");
    } else {
        log("[WARNING] GetMixFormat failed (0x" + hresultText(SUCCEEDED(mixResult) ? E_POINTER : mixResult)
            + "), using default format (48000 Hz, 32-bit float)");
        std::memset(&m_captureFormat, 0, sizeof(m_captureFormat));
        m_captureFormat.format = os::floatFormat(kMixSampleRate, 2);
    }
    if (m_captureFormat.format.nBlockAlign == 0)
        return AUDCLNT_E_UNSUPPORTED_FORMAT; // a drain would count no bytes

    log("[INFO] Capturing from process loopback (PID: " + std::to_string(m_processId) + ")");
    if (HRESULT hr = m_audioClient->initialize(os::ShareMode::Shared, kLoopbackStreamFlags, m_bufferDuration, 0,
                                               &m_captureFormat.format);
        FAILED(hr))
        return hr;
    if (HRESULT hr = m_audioClient->getBufferSize(m_bufferFrames); FAILED(hr))
        return hr;
    if (HRESULT hr = m_audioClient->getCaptureClient(m_captureClient); FAILED(hr))
        return hr;
    m_silence.assign(static_cast<size_t>(m_bufferFrames) * m_captureFormat.format.nBlockAlign, 0);
    {
        std::lock_guard lock(m_criticalSection);
        m_sampleReadyResult = shared(m_callbackSampleReady);
    }
    if (HRESULT hr = m_audioClient->setEventHandle(m_sampleReadyEvent); FAILED(hr))
        return hr;
    m_state.store(CaptureState::Initialized, std::memory_order_release);
    return S_OK;
}

void CLoopbackCapture::HandleStartCapture()
{
    if (FAILED(m_audioClient->start())) {
        m_state.store(CaptureState::Failed, std::memory_order_release);
        std::lock_guard lock(m_criticalSection);
        m_sampleReadyResult.reset();
    } else {
        log("[INFO] Audio capture started for PID " + std::to_string(m_processId)
            + ", buffer size: " + std::to_string(m_bufferFrames) + " frames");
        std::lock_guard lock(m_criticalSection);
        m_state.store(CaptureState::Capturing, std::memory_order_release);
        armSampleReadyLocked();
    }
    m_startSettled.set();
}

void CLoopbackCapture::armSampleReadyLocked()
{
    if (!m_sampleReadyResult)
        return;
    uint64_t key = 0;
    if (SUCCEEDED(m_platform->workQueues().putWaitingWorkItem(m_sampleReadyEvent, 0, m_sampleReadyResult, key)))
        m_sampleReadyKey = key;
}

// The lock is held only to take the stream and to re-arm: the drain and
// the mixer's push run without it, so the finish step waits for the drain
// instead of the drain ever waiting behind a stop.
void CLoopbackCapture::HandleSampleReady()
{
    std::shared_ptr<os::CaptureClient> capture;
    {
        std::lock_guard lock(m_criticalSection);
        m_sampleReadyKey = 0; // this item has run
        if (m_state.load(std::memory_order_acquire) == CaptureState::Stopping || !m_captureClient)
            return;
        capture = m_captureClient;
        m_draining = true;
    }
    const HRESULT drained = DrainCaptureBuffer(*capture);
    std::lock_guard lock(m_criticalSection);
    m_draining = false;
    m_drainDone.notify_all();
    if (FAILED(drained)) {
        m_state.store(CaptureState::Failed, std::memory_order_release);
        m_sampleReadyResult.reset();
        return;
    }
    if (m_state.load(std::memory_order_acquire) == CaptureState::Capturing)
        armSampleReadyLocked();
}

HRESULT CLoopbackCapture::DrainCaptureBuffer(os::CaptureClient &capture)
{
    const uint32_t blockAlign = m_captureFormat.format.nBlockAlign;
    for (;;) {
        os::realtimeCheck("CLoopbackCapture::DrainCaptureBuffer");
        uint32_t frames = 0;
        if (FAILED(capture.getNextPacketSize(frames)) || frames == 0)
            return S_OK;
        uint8_t *data = nullptr;
        uint32_t flags = 0;
        const HRESULT got = capture.getBuffer(data, frames, flags, nullptr, nullptr);
        if (FAILED(got))
            return got;
        if (got == AUDCLNT_S_BUFFER_EMPTY || frames == 0 || !data)
            return S_OK;
        const uint64_t bytes64 = uint64_t{frames} * blockAlign;
        if (bytes64 > UINT32_MAX) {
            capture.releaseBuffer(frames);
            return AUDCLNT_E_BUFFER_TOO_LARGE;
        }
        const auto bytes = static_cast<uint32_t>(bytes64);
        const uint8_t *block = data;
        if (flags & AUDCLNT_BUFFERFLAGS_SILENT) {
            // The bytes of a silent packet are undefined: push that many zeros.
            if (m_silence.size() < bytes)
                m_silence.resize(bytes, 0);
            block = m_silence.data();
        }
        m_mixer.push(m_processId, block, bytes, &m_captureFormat.format);
        m_mixer.updateBusMeters();
        if (HRESULT hr = capture.releaseBuffer(frames); FAILED(hr))
            return hr;
    }
}

HRESULT CLoopbackCapture::StopCapture()
{
    // A stop that meets the start step in flight waits for it to settle,
    // else the capture would run on after being dropped.
    if (m_state.load(std::memory_order_acquire) == CaptureState::Starting)
        m_startSettled.wait(kWaitTimeoutMs);
    CaptureState current = m_state.load(std::memory_order_acquire);
    do {
        if (current != CaptureState::Capturing && current != CaptureState::Failed)
            return HRESULT_FROM_WIN32(ERROR_INVALID_STATE);
    } while (!m_state.compare_exchange_weak(current, CaptureState::Stopping, std::memory_order_acq_rel));
    if (HRESULT hr = m_platform->workQueues().putWorkItem(os::kMultithreadedQueue, 0, shared(m_callbackStopCapture));
        FAILED(hr))
        return hr;
    if (!m_captureStopped.wait(kWaitTimeoutMs)) {
        log("[ERROR] Capture stop timed out for PID: " + std::to_string(m_processId));
        return HRESULT_FROM_WIN32(ERROR_TIMEOUT);
    }
    return S_OK;
}

void CLoopbackCapture::HandleStopCapture()
{
    {
        std::lock_guard lock(m_criticalSection);
        if (m_sampleReadyKey != 0) {
            m_platform->workQueues().cancelWorkItem(m_sampleReadyKey);
            m_sampleReadyKey = 0;
        }
        m_sampleReadyResult.reset();
    }
    if (m_audioClient)
        m_audioClient->stop();
    m_platform->workQueues().putWorkItem(os::kMultithreadedQueue, 0, shared(m_callbackFinishCapture));
}

void CLoopbackCapture::HandleFinishCapture()
{
    {
        // The stream goes with the capture's last step, not with its last
        // owner, and only once a drain in flight has pushed its last packet.
        std::unique_lock lock(m_criticalSection);
        m_drainDone.wait(lock, [this] { return !m_draining; });
        m_captureClient.reset();
        m_audioClient.reset();
    }
    m_state.store(CaptureState::Stopped, std::memory_order_release);
    m_captureStopped.set();
}
