#include "device/emulator/emu_model.h"

#include <algorithm>

namespace veloran::emu {

namespace {

constexpr uint16_t kMaxColours = 30;

// #F77F13 as the device stores a colour: B, G, R, 0.
const std::vector<uint8_t> kDefaultColour = {0x13, 0x7F, 0xF7, 0x00};

std::vector<uint8_t> colours(size_t count)
{
    std::vector<uint8_t> v;
    for (size_t i = 0; i < count; ++i)
        v.insert(v.end(), kDefaultColour.begin(), kDefaultColour.end());
    return v;
}

AttributeDef scalar(uint8_t id, uint8_t value, int minValue = 0, int maxValue = 255)
{
    AttributeDef s;
    s.id = id;
    s.defaultValue = {value};
    s.minValue = minValue;
    s.maxValue = maxValue;
    return s;
}

AttributeDef colourList(uint8_t id, size_t defaultCount)
{
    AttributeDef s;
    s.id = id;
    s.defaultValue = colours(defaultCount);
    s.minLength = 4;
    s.maxLength = kMaxColours * 4;
    s.lengthStep = 4;
    return s;
}

AttributeDef readOnly(uint8_t id, std::vector<uint8_t> value)
{
    AttributeDef s;
    s.id = id;
    s.minLength = s.maxLength = uint16_t(value.size());
    s.defaultValue = std::move(value);
    s.writable = false;
    return s;
}

std::vector<AttributeDef> attributeTable(Model model)
{
    const bool r7 = model == Model::R7;
    const size_t leds = model == Model::U20 ? 12 : 30;
    const size_t waveLeds = model == Model::U20 ? 6 : 30;
    const int gainMin = r7 ? 1 : 0, gainMax = r7 ? 30 : 18;
    const int volumeMin = r7 ? 1 : 0, volumeMax = r7 ? 30 : 13;
    return {
        scalar(1, 0, 0, 1),                              // mute
        scalar(2, 0, 0, 1),                              // phantom power
        scalar(3, 0, 0, 1),                              // auto gain
        scalar(4, 1, 0, 1),                              // listen output
        scalar(5, 15, gainMin, gainMax),                 // mic gain
        scalar(6, r7 ? 22 : 3, volumeMin, volumeMax),    // listen volume
        scalar(7, 13),                                   // mic/computer ratio
        readOnly(8, {0x01, 0x00}),                       // usb audio version
        readOnly(9, {0x01, 0x05}),                       // mcu version
        colourList(10, leds),                            // static effect
        colourList(11, 7),                               // breathing effect
        colourList(12, 12),                              // wave effect
        colourList(13, waveLeds),                        // input sound-wave light
        scalar(14, 1, 0, 3),                             // background light mode
        scalar(15, 1, 0, 1),                             // sound-wave direction
        colourList(16, 1),                               // gain light colour
        colourList(17, 1),                               // volume light colour
        colourList(18, 1),                               // ratio light colour
        scalar(19, 100, 0, 100),                         // brightness
        colourList(21, 1),                               // mute indicator colour
        scalar(22, 1, 0, 1),                             // wave direction
        scalar(23, 0, 0, 1),                             // limiter
        scalar(24, 0),                                   // AI noise reduction
        scalar(25, uint8_t(-45)),                        // limiter value, signed
        scalar(26, 0, 0, 1),                             // other lights off
        scalar(27, 0, 0, 1),                             // factory reset trigger
        scalar(28, 0),                                   // compressor
        scalar(29, 0),                                   // compressor value
    };
}

}  // namespace

std::vector<uint8_t> makeVersionAnswer(uint8_t major, uint8_t minor)
{
    std::vector<uint8_t> v(18, 0);
    v[9] = major;
    v[10] = minor;
    return v;
}

const char* modelName(Model model)
{
    switch (model) {
    case Model::T40: return "T40";
    case Model::U20: return "U20";
    case Model::R7: return "R7";
    }
    return "";
}

ModelConfig defaultConfig(Model model)
{
    ModelConfig c;
    c.model = model;
    c.attributes = attributeTable(model);
    // The T40 and U20 join a pull-upgrade block sent in pieces.
    if (model != Model::R7)
        c.maxMessageBytes = uint16_t(pull::kBlockReplyOverheadBytes + c.pull.blockBytes);
    switch (model) {
    case Model::T40:
        c.productId = kProductT40;
        c.usagePage = 0x8C;
        c.interfaceCount = 1;
        c.name = "Veloran T40";
        c.serial = "T40EMU0000001";
        c.versionAnswer = makeVersionAnswer(1, 5);
        c.address = {0x21, 2, 0x0101};
        break;
    case Model::U20:
        c.productId = kProductU20;
        c.usagePage = 0x8C;
        c.interfaceCount = 1;
        c.name = "Veloran U20";
        c.serial = "U20EMU0000001";
        c.versionAnswer = makeVersionAnswer(1, 2);
        c.address = {0x22, 2, 0x0102};
        break;
    case Model::R7:
        c.productId = kProductR7;
        c.usagePage = 0x0C;
        c.interfaceCount = 1;
        c.name = "Veloran R7";
        c.serial = "R7EMU00000001";
        c.versionAnswer = makeVersionAnswer(2, 12);
        c.address = {0x31, 3, 0x0201};
        c.maxPayloadBytes = 256;
        break;
    }
    return c;
}

ReportLayout reportLayout(Model model)
{
    ReportLayout l;
    if (model == Model::R7) {
        l.inputReportBytes = 64;
        l.inputHeadBytes = 4;
        l.inputChunkBytes = 60;
        l.inputReportId = 0x01;
        l.outputChunkBytes = 58;
    }
    return l;
}

std::vector<uint8_t> frameBytesFromOutputReport(Model model, const uint8_t* report, size_t length)
{
    if (report == nullptr || length < 1)
        return {};
    if (model == Model::R7) {
        // [0x01][chunk length][chunk]
        if (length < 2 || report[0] != 0x01)
            return {};
        const size_t chunk = report[1];
        if (chunk > reportLayout(model).outputChunkBytes || chunk > length - 2)
            return {};
        return {report + 2, report + 2 + chunk};
    }
    // [report id 0][chunk]
    if (report[0] != 0x00 || length - 1 > reportLayout(model).outputChunkBytes)
        return {};
    return {report + 1, report + length};
}

std::vector<uint8_t> makeInputReport(Model model, const uint8_t* chunk, size_t length, bool pad)
{
    const ReportLayout l = reportLayout(model);
    length = std::min(length, l.inputChunkBytes);
    std::vector<uint8_t> r;
    r.reserve(l.inputReportBytes);
    if (l.inputHeadBytes > 0) {
        r.push_back(l.inputReportId);
        r.push_back(uint8_t(length));
        r.resize(l.inputHeadBytes, 0);
    }
    if (length > 0)
        r.insert(r.end(), chunk, chunk + length);
    if (pad)
        r.resize(l.inputReportBytes, 0);
    return r;
}

}  // namespace veloran::emu
