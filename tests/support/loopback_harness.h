// Connects the program's protocol core straight to an emulated microphone
// base, Qt-free, on one clock: the core's millisecond clock. Each tick feeds
// the device's pending input reports to the core's parser, runs the core's
// tick, advances its clock by 1 ms and steps the emulator to the new time.
// Frames the core sends are cut into the model's output reports by the
// program's own report transport and handed to the emulator at once; what the
// emulator answers waits for the next tick, as it would behind a reader
// thread.
//
// Paced, the link carries one report per tick each way, as a full-speed USB
// HID interrupt endpoint does with 1 ms polling.
//
// Pull upgrades run through the program's PullUpgradeServer, answering the
// device's 0x8006 frames as the device manager does.
//
// The core's login reports get the program's own answer (msg_answer_login),
// as in the device manager.
//
// The core is a set of file-static tables: one harness at a time, and the
// harness resets the core (test-only reset) when it is created.
#pragma once

#include "device/emulator/mic_base_emulator.h"
#include "device/pullupgrade/pull_upgrade_server.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <vector>

struct msg_record;

namespace veloran::emu {

struct LoopbackEvents {
    struct Login {
        int from = 0;
        int kind = 0;
        uint32_t address = 0;
        uint32_t atMs = 0;
    };
    // A name, serial-number or version callback.
    struct Answer {
        uint32_t address = 0;
        uint8_t status = 0;
        bool hasData = false;
        std::vector<uint8_t> data;
        uint32_t atMs = 0;
    };
    struct Attribute {
        uint8_t kind = 0;  // 2 for a notification
        uint16_t messageId = 0;
        uint8_t status = 0;
        uint8_t attribute = 0;
        bool hasData = false;
        std::vector<uint8_t> value;
        uint32_t atMs = 0;
    };
    struct Private {
        uint16_t messageId = 0;
        uint8_t type = 0;
        std::vector<uint8_t> payload;
        uint32_t atMs = 0;
    };
    struct Error {
        int code = 0;
        int messageId = 0;
    };

    std::vector<Login> logins;
    std::vector<Answer> names;
    std::vector<Answer> serials;
    std::vector<Answer> versions;
    std::vector<Attribute> attributes;
    std::vector<Private> privates;  // 0x8002 and 0x8003 from the device
    struct Progress {
        int progress = 0;
        std::string message;
        bool final = false;
        uint32_t atMs = 0;
    };
    std::vector<Progress> upgradeProgress;
    std::vector<Error> errors;
};

class LoopbackHarness {
public:
    explicit LoopbackHarness(MicBaseEmulator& emulator);
    ~LoopbackHarness();
    LoopbackHarness(const LoopbackHarness&) = delete;
    LoopbackHarness& operator=(const LoopbackHarness&) = delete;

    void tick();
    void run(uint32_t ticks);
    // Ticks until done() holds (true) or maxTicks have run (false).
    bool runUntil(const std::function<bool()>& done, uint32_t maxTicks);

    uint32_t nowMs() const;
    int port() const { return m_port; }
    uint32_t peerAddress() const { return m_peer; }
    const LoopbackEvents& events() const { return m_events; }

    // What the device manager sends, addressed to the peer.
    void attributeSet(uint8_t id, const std::vector<uint8_t>& value);
    void attributeGet(uint8_t id);
    void attributeGetAll();
    void sendPrivate(uint16_t messageId, const std::vector<uint8_t>& payload);

    // One report per tick in each direction (off by default: all at once).
    void setPaced(bool paced) { m_paced = paced; }
    // Starts a pull upgrade of the peer with this file.
    void startPullUpgrade(std::vector<uint8_t> file);
    // The run has reported its outcome.
    bool pullUpgradeFinished() const { return m_pullServer.finished(); }

private:
    static LoopbackHarness* s_current;

    static int sendFrame(int port, int length, const uint8_t* frame);
    static void onLogin(int from, int kind, uint32_t address);
    static void onError(int code, int messageId);
    static int onPrivate(int port, ::msg_record* record);
    static int onPullUpgrade(int port, ::msg_record* record);
    void applyPull(const pullupgrade::ServerOutput& out);
    void installHandlerCallbacks();

    MicBaseEmulator& m_emulator;
    int m_port = 0;
    uint32_t m_peer = 0;
    std::deque<std::vector<uint8_t>> m_input;   // device reports for the next tick
    std::deque<std::vector<uint8_t>> m_output;  // paced: host reports not yet on the wire
    bool m_paced = false;
    pullupgrade::PullUpgradeServer m_pullServer;
    LoopbackEvents m_events;
};

}  // namespace veloran::emu
