#pragma once
// A scripted PortAudio for the engine's tests: devices with the rates they
// take shared and exclusive, scripted read results and failures, counts of
// initialise and terminate, a hang switch, an overlap check of the global
// calls and handles poisoned by terminate (any later use is recorded).

#include "platform/windows/routerAudio/PaApi.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <vector>

struct FakeDevice {
    std::string name;
    PaHostApiTypeId host = paALSA;
    int maxIn = 2;
    int maxOut = 0;
    double defaultRate = 48000.0;
    std::set<double> sharedRates{48000.0};
    std::set<double> exclusiveRates;
    PaError openError = paNoError;          // every open of this device fails so
    PaError exclusiveOpenError = paNoError; // exclusive opens fail so
    PaError startError = paNoError;
};

struct FakeStream {
    int device = -1;
    bool input = true;
    int channels = 0;
    double rate = 0.0;
    unsigned long framesPerBuffer = 0;
    bool exclusive = false;
    bool started = false;
    bool closed = false;   // closed by us or by terminate
    PaError active = 1;    // answer of IsStreamActive while open
    long reads = 0;
    long framesRead = 0;
    long writes = 0;
    long framesWritten = 0;
};

class FakePaApi final : public PaApi {
public:
    explicit FakePaApi(std::vector<FakeDevice> devices = {});

    // Replaces the device list (as a replug seen at the next initialise).
    void setDevices(std::vector<FakeDevice> devices);
    void setDefaults(PaDeviceIndex input, PaDeviceIndex output);
    // The next calls of Initialize return these results, then paNoError.
    void scriptInitialize(std::vector<PaError> results);
    // The next reads of the named device return these, then paNoError.
    void scriptReads(const std::string &device, std::vector<PaError> results);
    void setWriteResult(PaError result);
    // While set, Initialize and ReadStream block.
    void setHang(bool hang);
    // Value every read sample gets.
    void setReadValue(float value);
    // Text GetErrorText gives for error (as a host's own texts).
    void setErrorText(PaError error, std::string text);
    // The device list that successful Initialize number skip + 1 from now
    // finds (a device plugged in while the list is read).
    void scheduleDevices(std::vector<FakeDevice> devices, int skip = 0);

    int initializeCount() const;
    int terminateCount() const;
    bool overlapSeen() const { return m_overlap.load(); }
    bool usedAfterClose() const;
    bool initialized() const;
    // Streams ever opened, oldest first (copies).
    std::vector<FakeStream> streams() const;
    std::vector<FakeStream> openStreams() const;
    void setStreamActive(int device, PaError active);
    int hostApiIndex(PaHostApiTypeId type) const;

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

private:
    struct GlobalCall; // marks a global call in flight
    void rebuildTables();
    FakeStream *checked(PaStream *stream); // null and recorded when poisoned
    // Entry i of a table handed out while initialised; null otherwise.
    template <class T>
    const T *initialisedEntry(const std::vector<T> &table, int i) const
    {
        if (m_initDepth == 0 || i < 0 || i >= static_cast<int>(table.size()))
            return nullptr;
        return &table[static_cast<size_t>(i)];
    }
    // Runs f on the stream under the lock; paBadStreamPtr when it is not a
    // stream of ours or was closed.
    template <class F>
    PaError onStream(PaStream *stream, F &&f)
    {
        std::lock_guard lock(m_mutex);
        FakeStream *s = checked(stream);
        return s ? f(*s) : paBadStreamPtr;
    }
    PaError check(const PaStreamRequest *request, bool input, double rate);

    mutable std::mutex m_mutex;
    std::condition_variable m_hangCv;
    std::vector<FakeDevice> m_devices;
    std::vector<PaDeviceInfo> m_infos;
    std::vector<PaHostApiInfo> m_hosts;
    std::vector<PaHostApiTypeId> m_hostTypes;
    PaDeviceIndex m_defaultIn = paNoDevice;
    PaDeviceIndex m_defaultOut = paNoDevice;
    std::deque<FakeStream> m_streams; // handles point in here; never erased
    std::deque<PaError> m_initResults;
    std::map<std::string, std::deque<PaError>> m_readScripts;
    PaError m_writeResult = paNoError;
    std::map<PaError, std::string> m_errorTexts;
    std::vector<FakeDevice> m_scheduled;
    bool m_hasScheduled = false;
    int m_scheduleSkip = 0;
    bool m_hang = false;
    float m_readValue = 0.25f;
    int m_initCount = 0;
    int m_terminateCount = 0;
    int m_initDepth = 0;
    bool m_usedAfterClose = false;
    std::atomic<int> m_inGlobal{0};
    std::atomic<bool> m_overlap{false};
};
