#include "FakePaApi.h"

#include <algorithm>
#include <chrono>
#include <thread>

struct FakePaApi::GlobalCall {
    explicit GlobalCall(FakePaApi &api) : m_api(api)
    {
        if (m_api.m_inGlobal.fetch_add(1) != 0)
            m_api.m_overlap.store(true);
        std::this_thread::yield(); // widens the window a racing call would hit
    }
    ~GlobalCall() { m_api.m_inGlobal.fetch_sub(1); }
    FakePaApi &m_api;
};

FakePaApi::FakePaApi(std::vector<FakeDevice> devices) { setDevices(std::move(devices)); }

void FakePaApi::setDevices(std::vector<FakeDevice> devices)
{
    std::lock_guard lock(m_mutex);
    m_devices = std::move(devices);
    rebuildTables();
}

void FakePaApi::rebuildTables()
{
    m_hostTypes.clear();
    for (const FakeDevice &d : m_devices) {
        if (std::find(m_hostTypes.begin(), m_hostTypes.end(), d.host) == m_hostTypes.end())
            m_hostTypes.push_back(d.host);
    }
    m_hosts.clear();
    for (PaHostApiTypeId type : m_hostTypes) {
        PaHostApiInfo host{};
        host.structVersion = 1;
        host.type = type;
        host.name = hostApiTypeName(type);
        m_hosts.push_back(host);
    }
    m_infos.clear();
    for (const FakeDevice &d : m_devices) {
        PaDeviceInfo info{};
        info.structVersion = 2;
        info.name = d.name.c_str();
        info.hostApi = static_cast<PaHostApiIndex>(
            std::find(m_hostTypes.begin(), m_hostTypes.end(), d.host) - m_hostTypes.begin());
        info.maxInputChannels = d.maxIn;
        info.maxOutputChannels = d.maxOut;
        info.defaultLowInputLatency = 0.01;
        info.defaultLowOutputLatency = 0.01;
        info.defaultHighInputLatency = 0.1;
        info.defaultHighOutputLatency = 0.1;
        info.defaultSampleRate = d.defaultRate;
        m_infos.push_back(info);
    }
}

void FakePaApi::setDefaults(PaDeviceIndex input, PaDeviceIndex output)
{
    std::lock_guard lock(m_mutex);
    m_defaultIn = input;
    m_defaultOut = output;
}

void FakePaApi::scriptInitialize(std::vector<PaError> results)
{
    std::lock_guard lock(m_mutex);
    m_initResults.assign(results.begin(), results.end());
}

void FakePaApi::scriptReads(const std::string &device, std::vector<PaError> results)
{
    std::lock_guard lock(m_mutex);
    m_readScripts[device].assign(results.begin(), results.end());
}

void FakePaApi::setWriteResult(PaError result)
{
    std::lock_guard lock(m_mutex);
    m_writeResult = result;
}

void FakePaApi::setHang(bool hang)
{
    {
        std::lock_guard lock(m_mutex);
        m_hang = hang;
    }
    m_hangCv.notify_all();
}

void FakePaApi::setReadValue(float value)
{
    std::lock_guard lock(m_mutex);
    m_readValue = value;
}

void FakePaApi::setErrorText(PaError error, std::string text)
{
    std::lock_guard lock(m_mutex);
    m_errorTexts[error] = std::move(text);
}

void FakePaApi::scheduleDevices(std::vector<FakeDevice> devices, int skip)
{
    std::lock_guard lock(m_mutex);
    m_scheduled = std::move(devices);
    m_hasScheduled = true;
    m_scheduleSkip = skip;
}

int FakePaApi::initializeCount() const
{
    std::lock_guard lock(m_mutex);
    return m_initCount;
}

int FakePaApi::terminateCount() const
{
    std::lock_guard lock(m_mutex);
    return m_terminateCount;
}

bool FakePaApi::usedAfterClose() const
{
    std::lock_guard lock(m_mutex);
    return m_usedAfterClose;
}

bool FakePaApi::initialized() const
{
    std::lock_guard lock(m_mutex);
    return m_initDepth > 0;
}

std::vector<FakeStream> FakePaApi::streams() const
{
    std::lock_guard lock(m_mutex);
    return {m_streams.begin(), m_streams.end()};
}

std::vector<FakeStream> FakePaApi::openStreams() const
{
    std::lock_guard lock(m_mutex);
    std::vector<FakeStream> open;
    std::copy_if(m_streams.begin(), m_streams.end(), std::back_inserter(open),
                 [](const FakeStream &s) { return !s.closed; });
    return open;
}

void FakePaApi::setStreamActive(int device, PaError active)
{
    std::lock_guard lock(m_mutex);
    for (FakeStream &s : m_streams) {
        if (s.device == device && !s.closed)
            s.active = active;
    }
}

int FakePaApi::hostApiIndex(PaHostApiTypeId type) const
{
    std::lock_guard lock(m_mutex);
    const auto it = std::find(m_hostTypes.begin(), m_hostTypes.end(), type);
    return it == m_hostTypes.end() ? -1 : static_cast<int>(it - m_hostTypes.begin());
}

PaError FakePaApi::doInitialize()
{
    GlobalCall call(*this);
    std::unique_lock lock(m_mutex);
    m_hangCv.wait(lock, [this] { return !m_hang; });
    ++m_initCount;
    if (!m_initResults.empty()) {
        const PaError result = m_initResults.front();
        m_initResults.pop_front();
        if (result != paNoError)
            return result;
    }
    if (m_hasScheduled && m_scheduleSkip-- == 0) {
        m_devices = std::move(m_scheduled);
        m_hasScheduled = false;
        rebuildTables();
    }
    ++m_initDepth;
    return paNoError;
}

PaError FakePaApi::doTerminate()
{
    GlobalCall call(*this);
    std::lock_guard lock(m_mutex);
    ++m_terminateCount;
    if (m_initDepth == 0)
        return paNotInitialized;
    if (--m_initDepth == 0) {
        for (FakeStream &s : m_streams)
            s.closed = true; // as PortAudio closes every stream on its last terminate
    }
    return paNoError;
}

PaDeviceIndex FakePaApi::doGetDeviceCount()
{
    GlobalCall call(*this);
    std::lock_guard lock(m_mutex);
    return m_initDepth > 0 ? static_cast<PaDeviceIndex>(m_infos.size()) : paNotInitialized;
}

const PaDeviceInfo *FakePaApi::doGetDeviceInfo(PaDeviceIndex device)
{
    GlobalCall call(*this);
    std::lock_guard lock(m_mutex);
    return initialisedEntry(m_infos, device);
}

const PaHostApiInfo *FakePaApi::doGetHostApiInfo(PaHostApiIndex hostApi)
{
    GlobalCall call(*this);
    std::lock_guard lock(m_mutex);
    return initialisedEntry(m_hosts, hostApi);
}

PaDeviceIndex FakePaApi::doGetDefaultInputDevice()
{
    GlobalCall call(*this);
    std::lock_guard lock(m_mutex);
    return m_defaultIn;
}

PaDeviceIndex FakePaApi::doGetDefaultOutputDevice()
{
    GlobalCall call(*this);
    std::lock_guard lock(m_mutex);
    return m_defaultOut;
}

PaError FakePaApi::check(const PaStreamRequest *request, bool input, double rate)
{
    if (m_initDepth == 0)
        return paNotInitialized;
    if (!request || request->device < 0 || request->device >= static_cast<int>(m_devices.size()))
        return paInvalidDevice;
    const FakeDevice &d = m_devices[static_cast<size_t>(request->device)];
    if (request->channelCount < 1 || request->channelCount > (input ? d.maxIn : d.maxOut))
        return paInvalidChannelCount;
    const std::set<double> &rates = request->exclusive ? d.exclusiveRates : d.sharedRates;
    return rates.count(rate) ? paNoError : paInvalidSampleRate;
}

PaError FakePaApi::doIsFormatSupported(const PaStreamRequest *input, const PaStreamRequest *output,
                                       double sampleRate)
{
    GlobalCall call(*this);
    std::lock_guard lock(m_mutex);
    return input ? check(input, true, sampleRate) : check(output, false, sampleRate);
}

PaError FakePaApi::doOpenStream(PaStream **stream, const PaStreamRequest *input, const PaStreamRequest *output,
                                double sampleRate, unsigned long framesPerBuffer)
{
    GlobalCall call(*this);
    std::lock_guard lock(m_mutex);
    const PaStreamRequest *request = input ? input : output;
    PaError err = check(request, input != nullptr, sampleRate);
    if (err == paNoError) {
        const FakeDevice &d = m_devices[static_cast<size_t>(request->device)];
        err = request->exclusive && d.exclusiveOpenError != paNoError ? d.exclusiveOpenError : d.openError;
    }
    if (err != paNoError)
        return err;
    FakeStream &s = m_streams.emplace_back();
    s.device = request->device;
    s.input = input != nullptr;
    s.channels = request->channelCount;
    s.rate = sampleRate;
    s.framesPerBuffer = framesPerBuffer;
    s.exclusive = request->exclusive;
    *stream = &s;
    return paNoError;
}

FakeStream *FakePaApi::checked(PaStream *stream)
{
    auto *s = static_cast<FakeStream *>(stream);
    if (!s || s->closed) {
        m_usedAfterClose = true;
        return nullptr;
    }
    return s;
}

PaError FakePaApi::doCloseStream(PaStream *stream)
{
    GlobalCall call(*this);
    return onStream(stream, [](FakeStream &s) {
        s.closed = true;
        return paNoError;
    });
}

PaError FakePaApi::doStartStream(PaStream *stream)
{
    return onStream(stream, [this](FakeStream &s) {
        const PaError err = m_devices.size() > static_cast<size_t>(s.device)
                                ? m_devices[static_cast<size_t>(s.device)].startError
                                : paNoError;
        s.started = err == paNoError;
        return err;
    });
}

PaError FakePaApi::doStopStream(PaStream *stream)
{
    return onStream(stream, [](FakeStream &s) {
        s.started = false;
        return paNoError;
    });
}

PaError FakePaApi::doIsStreamActive(PaStream *stream)
{
    return onStream(stream, [](FakeStream &s) { return s.started ? s.active : 0; });
}

PaError FakePaApi::doReadStream(PaStream *stream, void *buffer, unsigned long frames)
{
    std::unique_lock lock(m_mutex);
    m_hangCv.wait(lock, [this] { return !m_hang; });
    FakeStream *s = checked(stream);
    if (!s)
        return paBadStreamPtr;
    ++s->reads;
    s->framesRead += static_cast<long>(frames);
    std::fill_n(static_cast<float *>(buffer), frames * static_cast<unsigned long>(s->channels), m_readValue);
    const std::string &name = m_devices[static_cast<size_t>(s->device)].name;
    const auto it = m_readScripts.find(name);
    if (it != m_readScripts.end() && !it->second.empty()) {
        const PaError result = it->second.front();
        it->second.pop_front();
        return result;
    }
    return paNoError;
}

PaError FakePaApi::doWriteStream(PaStream *stream, const void *, unsigned long frames)
{
    return onStream(stream, [this, frames](FakeStream &s) {
        ++s.writes;
        s.framesWritten += static_cast<long>(frames);
        return m_writeResult;
    });
}

const char *FakePaApi::doGetErrorText(PaError error)
{
    std::lock_guard lock(m_mutex);
    const auto it = m_errorTexts.find(error);
    return it != m_errorTexts.end() ? it->second.c_str() : Pa_GetErrorText(error);
}
