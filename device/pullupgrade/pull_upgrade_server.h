// The program's side of the pull road, without Qt: it holds the firmware
// image and answers the device's 0x8006 upgrade frames from it. Each call
// returns what the caller must do: the frame to send back, the progress to
// report and the lines to log.
//
// A run begins with start(): the image is taken and the start frame is given
// back for sending. From then on every frame is answered as it comes; the
// device decides the order and size of the blocks. A run reports at most one
// final outcome (success, or a text with "失败" or "不可以"), after which
// frames are logged and ignored until the next start. Progress never falls
// within a run. Once the device has asked for a block, a start answer (a
// late or repeated copy) is logged and ignored.
//
// The device sends its result once and reboots right after it. When the
// result is lost after the block ending at the body's end was served, the
// run waits for the device to come back and decides by the version it then
// reports: another version than before the run is a success.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace veloran::pullupgrade {

// Where a received frame came from: enough to know a frame seen twice.
struct FrameOrigin
{
    uint32_t source = 0;
    uint8_t type = 0;
    uint16_t sequence = 0;
    friend bool operator==(const FrameOrigin &, const FrameOrigin &) = default;
};

struct ServerOutput
{
    bool send = false; // an upgrade frame of this command and data goes to the device
    uint8_t command = 0;
    std::vector<uint8_t> data;
    bool hasProgress = false;
    int progress = 0;
    std::string message; // UTF-8
    bool final = false;  // the run's outcome
    std::vector<std::string> logs;
};

class PullUpgradeServer
{
public:
    // The file's head that the device never receives: address A is file offset A + 32.
    static constexpr size_t kImageHeadBytes = 32;
    // A block reply (7 + 6 + length bytes) must fit one message.
    static constexpr size_t kMaxBlockBytes = 65522;
    static constexpr size_t kRecentFrames = 8;
    // Larger files are refused before anything is sent.
    static constexpr size_t kMaxImageBytes = 16u * 1024 * 1024;

    // Begins a run with this image: the start frame to send, or the refusal
    // to report for an image the device could not be served from.
    // versionBefore is the version the device reports now; empty when it is
    // unknown, and then a lost result is never decided by the version.
    ServerOutput start(std::vector<uint8_t> image, std::string versionBefore = {});
    ServerOutput handle(const FrameOrigin &origin, const uint8_t *payload, size_t count);

    // The device left the bus. After its last block and before its result
    // the run waits for it to come back.
    ServerOutput deviceGone();
    // The device is back and reports this version: the outcome of a run that
    // waits for it.
    ServerOutput deviceBack(const std::string &version);
    // The interface has given the run up: no outcome will come from waiting.
    ServerOutput stopWaiting();
    bool waitingForReturn() const { return m_waiting; }

    const std::vector<uint8_t> &image() const { return m_image; }
    bool finished() const { return m_finished; }

private:
    void report(ServerOutput &out, int progress, const char *message, bool final);
    void handleBlockRequest(ServerOutput &out, const uint8_t *data, size_t count);

    std::vector<uint8_t> m_image;
    std::string m_versionBefore;
    bool m_finished = false;
    bool m_blockAsked = false;   // a block request has come in this run
    bool m_lastBlockServed = false; // the block ending at the body's end went out
    bool m_waiting = false;      // gone after its last block: waiting for its return
    int m_progress = 0; // highest progress reported in this run
    std::array<FrameOrigin, kRecentFrames> m_recent{};
    size_t m_recentCount = 0;
    size_t m_recentNext = 0;
};

} // namespace veloran::pullupgrade
