// What distinguishes the three microphone bases: USB ids, usage page, report
// layout, identity texts, node parameters and the attribute table with its
// defaults. One ModelConfig is the whole "script" of an emulated device; tests
// take the default of a model and change fields.
#pragma once

#include "device/emulator/emu_codec.h"
#include "device/emulator/pull_upgrade_device.h"

#include <cstdint>
#include <string>
#include <vector>

namespace veloran::emu {

enum class Model { T40, U20, R7 };

inline constexpr uint16_t kVendorId = 0x3A71;
inline constexpr uint16_t kProductT40 = 0x000D;
inline constexpr uint16_t kProductU20 = 0x000E;
inline constexpr uint16_t kProductR7 = 0x9829;

// One attribute of the device's table: its default value and what a write
// must look like to be accepted.
struct AttributeDef {
    uint8_t id = 0;
    std::vector<uint8_t> defaultValue;
    uint16_t minLength = 1;
    uint16_t maxLength = 1;
    uint16_t lengthStep = 1;  // 4 for colour lists
    int minValue = 0;         // range of a one-byte value (first byte)
    int maxValue = 255;
    bool writable = true;
};

struct ModelConfig {
    Model model = Model::T40;
    uint16_t vendorId = kVendorId;
    uint16_t productId = kProductT40;
    uint16_t usagePage = 0x8C;
    // Interfaces on the usage page; only the first carries the protocol, the
    // others swallow writes and stay silent.
    int interfaceCount = 1;

    std::string name;
    std::string serial;
    // The whole answer to a version request, status byte first; bytes 9 and
    // 10 are the major and minor numbers the program shows.
    std::vector<uint8_t> versionAnswer;

    NodeAddress address;
    uint16_t maxPayloadBytes = kMaxPayloadBytes;  // advertised in link messages
    uint16_t maxMessageBytes = kMaxPayloadBytes;  // largest message it joins from pieces
    uint16_t rate = 0;                            // messages per second, 0 = unpaced
    uint32_t beaconPeriodMs = 1000;
    uint8_t linkPeriodCode = 0x24;                // 4 << 8 = 1024 ms

    std::vector<AttributeDef> attributes;

    PullConfig pull;  // firmware pull upgrade (T40, U20)

    uint32_t seed = 1;  // random choices of the fault menu
};

ModelConfig defaultConfig(Model model);
std::vector<uint8_t> makeVersionAnswer(uint8_t major, uint8_t minor);
const char* modelName(Model model);

// Report layout of a model, both directions.
struct ReportLayout {
    size_t inputReportBytes = 64;   // what one read of the host returns
    size_t inputHeadBytes = 0;      // head before the frame bytes of an input report
    size_t inputChunkBytes = 64;    // frame bytes in one input report
    uint8_t inputReportId = 0;      // first head byte when there is a head
    size_t outputChunkBytes = 64;   // frame bytes in one output report
};

ReportLayout reportLayout(Model model);

// Output report (host -> device) to the frame bytes it carries. A report that
// does not fit the layout yields nothing.
std::vector<uint8_t> frameBytesFromOutputReport(Model model, const uint8_t* report, size_t length);

// Builds one input report (device -> host) around up to inputChunkBytes
// frame bytes; with pad the report is filled to its full size with zeros.
std::vector<uint8_t> makeInputReport(Model model, const uint8_t* chunk, size_t length, bool pad);

}  // namespace veloran::emu
