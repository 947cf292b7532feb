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
// before that outcome.
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
    ServerOutput start(std::vector<uint8_t> image);
    ServerOutput handle(const FrameOrigin &origin, const uint8_t *payload, size_t count);

    const std::vector<uint8_t> &image() const { return m_image; }
    bool finished() const { return m_finished; }

private:
    void report(ServerOutput &out, int progress, const char *message, bool final);
    void handleBlockRequest(ServerOutput &out, const uint8_t *data, size_t count);

    std::vector<uint8_t> m_image;
    bool m_finished = false;
    int m_progress = 0; // highest progress reported in this run
    std::array<FrameOrigin, kRecentFrames> m_recent{};
    size_t m_recentCount = 0;
    size_t m_recentNext = 0;
};

} // namespace veloran::pullupgrade
