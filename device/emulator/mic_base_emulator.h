// An emulated microphone base (T40, U20 or R7): the device side of the
// message protocol over the model's HID reports.
//
// The emulator has no thread and no clock of its own. The transport hands it
// the host's output reports (onOutputReport) and takes its input reports
// through the report sink; whoever drives it calls step(nowMs) with the time
// of its clock (beacons, delayed replies and packed reports are due by that
// time). Every public call is thread-safe. The sink and the unplug hook run
// outside the emulator's state lock, in the order the reports were made, and
// must not call back into the emulator.
#pragma once

#include "device/emulator/attribute_store.h"
#include "device/emulator/emu_codec.h"
#include "device/emulator/emu_model.h"
#include "device/emulator/fault_menu.h"
#include "device/emulator/pull_upgrade_device.h"
#include "device/emulator/timed_device.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <random>
#include <vector>

namespace veloran::emu {

inline constexpr uint16_t kMsgLink = 0;
inline constexpr uint16_t kMsgNodeName = 1;
inline constexpr uint16_t kMsgLogout = 13;
inline constexpr uint16_t kMsgLogin = 14;
inline constexpr uint16_t kMsgVersion = 16;
inline constexpr uint16_t kMsgSerial = 23;
inline constexpr uint16_t kMsgAttrSet = 30;
inline constexpr uint16_t kMsgAttrGet = 31;
inline constexpr uint16_t kMsgAttrSetList = 32;
inline constexpr uint16_t kMsgAttrGetList = 33;
inline constexpr uint16_t kMsgAttrSubscribe = 34;
inline constexpr uint16_t kMsgAutoGainLevel = 0x8002;
inline constexpr uint16_t kMsgKnobHotkey = 0x8003;
inline constexpr uint16_t kMsgFactoryReset = 0x8004;

inline constexpr uint8_t kAttrAutoGain = 3;  // R7: [1] starts a measurement, [0] cancels it
inline constexpr uint8_t kAttrMicGain = 5;
inline constexpr uint8_t kAttrFactoryReset = 27;

// The R7's automatic-gain measurement: live levels at this period, then the
// settled gain once the run is over (a little longer than the host's
// ten-second countdown, so the result comes after it).
inline constexpr uint64_t kAutoGainLevelPeriodMs = 100;
inline constexpr uint64_t kAutoGainRunMs = 10500;

inline constexpr size_t kLinkPayloadBytes = 13;
inline constexpr size_t kMaxSubscribers = 5;

// One message the device took in (after reassembly).
struct ReceivedMessage {
    Frame frame;
    uint64_t atMs = 0;
    bool duplicate = false;   // same source, id, type and sequence seen before
    bool unanswered = false;  // swallowed by an Unanswered fault
};

class MicBaseEmulator final : public TimedDevice {
public:
    using ReportSink = std::function<void(const std::vector<uint8_t>& report)>;
    using UnplugHook = std::function<void()>;
    using PlugHook = std::function<void()>;
    explicit MicBaseEmulator(ModelConfig config);
    MicBaseEmulator(const MicBaseEmulator&) = delete;
    MicBaseEmulator& operator=(const MicBaseEmulator&) = delete;

    const ModelConfig& config() const { return m_config; }

    void setReportSink(ReportSink sink);
    void setUnplugHook(UnplugHook hook);
    // Runs when the device comes back on its own (after a firmware reboot).
    void setPlugHook(PlugHook hook);
    // The hook runs outside the state lock.
    void setStepDueHook(StepDueHook hook) override;
    void setTimeSource(std::function<uint64_t()> nowMs) override;

    // --- transport and time ---
    void onOutputReport(const uint8_t* report, size_t length);
    void step(uint64_t nowMs) override;
    // A beacon, a held frame, a pull request asked again, a reboot, an
    // automatic-gain level or result.
    uint64_t nextStepMs() override;
    bool plugged() const;
    // Loss of power: nothing goes in or out until replug().
    void unplug();
    // Power cycle after an unplug: the link state, subscriptions and any
    // half-received frame are gone; attribute values persist.
    void replug();

    // --- device-side events, on demand ---
    // The link beacon, now (the next one counts from it).
    void sendBeacon();
    // Private messages to the host; false when no host has been heard yet.
    bool sendAutoGainLevel(uint8_t level);
    bool pressKnob(uint8_t value = 1);
    // The device changes an attribute itself and notifies its subscribers;
    // false for an unknown id or a bad length.
    bool changeAttribute(uint8_t id, const std::vector<uint8_t>& value);
    // count notifications of the attribute's current value to every subscriber, at once.
    void floodNotifications(uint8_t id, int count);
    // Off by default. When on, every attribute the host writes successfully
    // is notified to the subscribers after the write's answer, as the real
    // base does.
    void setEchoWrites(bool on);

    // --- firmware ---
    // Pull-upgrade faults (T40, U20); one at a time.
    void setPullFault(const PullFault& fault);
    // The running firmware's body (empty until an upgrade) and version.
    std::vector<uint8_t> firmwareBody() const;
    std::pair<uint8_t, uint8_t> firmwareVersion() const;
    size_t pullBlocksWritten() const;

    // --- fault menu ---
    void addFault(const FrameFault& fault);
    void clearFaults();
    void setStreamFaults(const StreamFaults& faults);
    // The next frame the device sends is cut after its first report and the
    // device goes dead; the unplug hook runs at the next step(), so the host
    // can read the partial frame first.
    void unplugMidFrame();

    // --- inspection ---
    std::vector<ReceivedMessage> received() const;
    // Messages of that id taken in; with duplicates or without.
    size_t receivedCount(uint16_t messageId, bool withDuplicates = true) const;
    std::vector<Frame> sent() const;  // frames made, before faults
    AttributeStore attributes() const;
    std::optional<NodeAddress> host() const;
    std::vector<NodeAddress> subscribers() const;
    FrameDecoder::Stats decoderStats() const;
    // A frame of the host is half-received.
    bool midFrame() const;
    uint64_t shortLinkMessages() const;
    // Messages lost in reassembly (too long for the model, or pieces that do
    // not belong together); none of their pieces reaches the handlers.
    uint64_t droppedMessages() const;

private:
    struct Outgoing {
        std::vector<uint8_t> bytes;
        uint64_t dueMs = 0;
    };
    struct Delivery {
        std::vector<std::vector<uint8_t>> reports;
        bool unplug = false;
        bool plug = false;
    };

    // All below need m_mutex.
    void handleMessage(const Frame& message);
    void handleLink(const Frame& message);
    void handleAttributes(const Frame& request, std::vector<uint8_t>& answer);
    bool writeAttribute(uint8_t id, const uint8_t* bytes, size_t length);
    void notifySubscribers(uint8_t id);
    void reply(const Frame& request, std::vector<uint8_t> payload);
    void send(Frame frame);
    void queueWire(std::vector<uint8_t> bytes);
    void cutReports(bool force, bool padLast = true);
    bool takeFault(FrameFault::Kind kind, const Frame& frame, uint32_t* delayMs = nullptr);
    Frame linkFrame(uint8_t type, NodeAddress destination);
    void beaconLocked();
    bool sendToHost(uint16_t messageId, std::vector<uint8_t> payload);
    void startAutoGain(bool on);
    void stepAutoGain(uint64_t nowMs);
    Delivery takeDelivery();
    void deliver(std::unique_lock<std::mutex>& lock);
    void applyPull(PullUpgradeDevice::Output out, const Frame* request);
    void powerOn();
    uint64_t nextStepLocked() const;
    void catchUpLocked();

    const ModelConfig m_config;
    const ReportLayout m_layout;

    // Held while reports go out, so that deliveries keep the order in which
    // they were made; taken before m_mutex is released.
    std::mutex m_deliverMutex;
    ReportSink m_sink;        // guarded by m_deliverMutex
    UnplugHook m_unplugHook;  // guarded by m_deliverMutex
    PlugHook m_plugHook;      // guarded by m_deliverMutex
    StepDueHook m_stepDueHook;  // guarded by m_deliverMutex

    mutable std::mutex m_mutex;  // guards everything below

    AttributeStore m_store;
    FrameDecoder m_decoder;
    Reassembler m_reassembler;
    std::optional<NodeAddress> m_host;
    uint16_t m_hostMaxPayload = kMaxPayloadBytes;
    std::vector<NodeAddress> m_subscribers;
    uint16_t m_sequence = 0;
    uint16_t m_linkSequence = 0;
    std::function<uint64_t()> m_timeSource;
    uint64_t m_nowMs = 0;  // never goes back
    // What the driver was last told by nextStepMs(); 0 from the start of a
    // step until it asks again (it will see every change meanwhile).
    uint64_t m_stepPromisedMs = 0;
    uint64_t m_lastBeaconMs = 0;
    bool m_beaconSent = false;
    bool m_plugged = true;
    std::vector<uint8_t> m_versionAnswer;  // follows the running firmware
    PullUpgradeDevice m_pull;
    std::optional<uint64_t> m_powerOnAtMs;  // rebooting: back on the bus then
    bool m_echoWrites = false;
    struct AutoGainRun {
        uint64_t nextLevelMs = 0;
        uint64_t endMs = 0;
        uint32_t levels = 0;
        uint32_t levelSum = 0;
    };
    std::optional<AutoGainRun> m_autoGain;  // R7 measuring
    std::vector<uint8_t> m_written;      // ids written by the host's current message

    std::vector<FrameFault> m_faults;
    StreamFaults m_streamFaults;
    bool m_unplugArmed = false;
    bool m_unplugDue = false;            // cut mid-frame, hook not yet run
    std::mt19937 m_rng;

    std::deque<Outgoing> m_delayed;      // frames held by a Delay fault
    std::vector<uint8_t> m_stream;       // wire bytes not yet cut into reports
    size_t m_streamFrames = 0;           // frames in m_stream
    uint64_t m_streamSinceMs = 0;        // when m_stream got its first frame
    Delivery m_outbox;

    std::vector<ReceivedMessage> m_received;
    std::vector<Frame> m_sent;
    uint64_t m_shortLinks = 0;
    uint64_t m_droppedMessages = 0;
};

}  // namespace veloran::emu
