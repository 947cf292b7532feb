// The SNDC side of the boot-loader link against the emulated R7's responder:
// the link state machine, the parameter reads and the command family.
#include "emulated_r7.h"

#include <algorithm>
#include <cstring>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

using namespace bootloader;
using veloran::emu::SndcFaults;
using veloran::emu::SndcResponder;

namespace {

using Request = std::vector<uint8_t>;

// group, channel, command and the data length of each request the machine
// makes from stateLinking to stateEndGetParam, channels of the EQ reads aside.
struct Expected
{
    uint8_t group, command;
    uint16_t dataLength;
};

std::vector<uint8_t> pattern(size_t n, uint8_t seed)
{
    std::vector<uint8_t> v(n);
    for (size_t i = 0; i < n; ++i)
        v[i] = uint8_t(seed ^ (i * 13));
    return v;
}

class bootloader_link : public EmulatedR7
{
protected:
    // A reply that never completes is read until the link times out; on a
    // loaded machine the accelerated clock can outrun the R7's quiet window
    // meanwhile, and a beacon would be joined to it. Beacons are no part of
    // what is tested here: one an hour.
    bootloader_link()
        : EmulatedR7(3600 * 1000)
    {
    }

    void SetUp() override
    {
        EmulatedR7::SetUp();
        unit.plug();
        // The R7's first beacon goes out at its first step: before the link
        // opens, so the link never sees it.
        const int64_t deadline = clock.deadlineAfterMs(5000);
        while (unit.application()->sent().empty() && clock.nowNs() < deadline)
            clock.sleepForMs(1);
        ASSERT_FALSE(unit.application()->sent().empty());
        ASSERT_TRUE(link()->openDevice(kVendor, kR7));
        ASSERT_EQ(link()->linkState(), stateOpened);
    }

    static hidProtocol *link() { return hidProtocol::instance(); }

    std::vector<Request> requests()
    {
        std::vector<Request> r;
        unit.withSndcResponder([&r](SndcResponder &s) { r = s.requests(); });
        return r;
    }

    // Steps until stateFinishedOK (or a bound); returns the number of steps.
    int stepToFinish(int bound = 40)
    {
        int steps = 0;
        while (link()->linkState() != stateFinishedOK && steps < bound) {
            link()->hidUpdateStatus();
            ++steps;
        }
        return steps;
    }
};

} // namespace

TEST_F(bootloader_link, WalksTheHandshakeAndReadsEveryBlock)
{
    unit.withSndcResponder([](SndcResponder &s) {
        s.setEqRecords(true, {pattern(324, 1), pattern(324, 2)});
        s.setEqRecords(false, {pattern(324, 3), pattern(164, 4), pattern(324, 5)});
    });

    // One step leaves stateOpened; the sixteen steps of stateLinking ..
    // stateEndGetParam each make their request or read.
    link()->hidUpdateStatus();
    EXPECT_EQ(link()->linkState(), stateLinking);
    EXPECT_EQ(stepToFinish(), 16);
    EXPECT_TRUE(link()->stateChanged());

    const std::vector<Expected> order = {
        {0x00, 0x81, 0}, {0x00, 0x82, 3}, {0x00, 0x83, 0}, {0x00, 0x84, 0}, {0x00, 0x85, 0}, {0x00, 0x86, 0},
        {0x10, 0x80, 0}, {0x10, 0x81, 0}, {0x10, 0x82, 0}, {0x10, 0x83, 0}, {0x10, 0x84, 0}, {0x10, 0x85, 0},
        {0x10, 0x85, 0}, {0x10, 0x86, 0}, {0x10, 0x87, 0}, {0x10, 0x87, 0}, {0x10, 0x87, 0}, {0x10, 0x88, 0},
        {0x10, 0x89, 0},
    };
    const std::vector<Request> seen = requests();
    ASSERT_EQ(seen.size(), order.size());
    std::vector<int> eqChannels;
    for (size_t i = 0; i < order.size(); ++i) {
        SCOPED_TRACE(i);
        ASSERT_EQ(seen[i].size(), 5u + order[i].dataLength);
        EXPECT_EQ(seen[i][0], order[i].group);
        EXPECT_EQ(seen[i][2], order[i].command);
        EXPECT_EQ(seen[i][3] << 8 | seen[i][4], order[i].dataLength);
        if (seen[i][2] == 0x85 && seen[i][0] == 0x10)
            eqChannels.push_back(seen[i][1]);
        else if (seen[i][2] == 0x87)
            eqChannels.push_back(seen[i][1] + 10);
        else
            EXPECT_EQ(seen[i][1], 0);
    }
    EXPECT_EQ(eqChannels, (std::vector<int>{0, 1, 10, 11, 12}));

    // The blocks and records are the responder's, byte for byte; a 164-byte
    // record keeps the default's right bands.
    SndcLink &l = link()->link();
    unit.withSndcResponder([&l](SndcResponder &s) {
        EXPECT_EQ(std::memcmp(&l.adc(), s.block(0x81).data(), 88), 0);
        EXPECT_EQ(std::memcmp(&l.dac(), s.block(0x82).data(), 32), 0);
        EXPECT_EQ(std::memcmp(&l.i2s(), s.block(0x83).data(), 36), 0);
        EXPECT_EQ(std::memcmp(&l.alg(), s.block(0x88).data(), 104), 0);
        ASSERT_TRUE(l.spkEq() && l.micEq());
        ASSERT_EQ(l.spkEq()->size(), 2u);
        ASSERT_EQ(l.micEq()->size(), 3u);
        for (size_t i = 0; i < 2; ++i)
            EXPECT_EQ(std::memcmp(&(*l.spkEq())[i], s.eqRecords(true)[i].data(), 324), 0) << i;
        EXPECT_EQ(std::memcmp(&(*l.micEq())[0], s.eqRecords(false)[0].data(), 324), 0);
        EXPECT_EQ(std::memcmp(&(*l.micEq())[1], s.eqRecords(false)[1].data(), 164), 0);
        const EqRecord fallback = defaultEqRecord();
        EXPECT_EQ(std::memcmp((*l.micEq())[1].right, fallback.right, sizeof fallback.right), 0);
        EXPECT_EQ(std::memcmp(&(*l.micEq())[2], s.eqRecords(false)[2].data(), 324), 0);
    });
    EXPECT_TRUE(l.adcValid() && l.dacValid() && l.i2sValid() && l.algValid());
    EXPECT_EQ(l.spkEqCount(), 2);
    EXPECT_EQ(l.micEqCount(), 3);
    // The read-ID reply is kept.
    EXPECT_EQ(std::string(reinterpret_cast<const char *>(link()->lastReply() + 10), 8), "R7EMU001");
}

TEST_F(bootloader_link, RepliesOfEveryShapeEndWithTheirBlockOrTheDefault)
{
    struct Case
    {
        const char *name;
        SndcFaults faults;
        bool responderValues; // else the built-in defaults
    };
    const Case cases[] = {
        {"split at random", {.splitAtRandom = true}, true},
        {"stale report ahead", {.staleReportFirst = true}, true},
        {"stale report and random splits", {.splitAtRandom = true, .staleReportFirst = true}, true},
        {"bad checksum (logged only)", {.badChecksum = true}, true},
        {"short first chunk", {.shortFirstChunk = true}, false},
        {"length past the data", {.lengthPastData = true}, false},
        {"silent", {.silent = true}, false},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        unit.withSndcResponder([&c](SndcResponder &s) { s.setFaults(c.faults); });
        link()->setLinkState(stateOpened);
        ASSERT_EQ(stepToFinish(), 17);
        SndcLink &l = link()->link();
        std::vector<uint8_t> adc(88), alg(104);
        if (c.responderValues) {
            unit.withSndcResponder([&](SndcResponder &s) {
                adc = s.block(0x81);
                alg = s.block(0x88);
            });
        } else {
            const AdcBlock a = defaultAdcBlock();
            const AlgBlock g = defaultAlgBlock();
            std::memcpy(adc.data(), &a, 88);
            std::memcpy(alg.data(), &g, 104);
        }
        EXPECT_EQ(std::memcmp(&l.adc(), adc.data(), 88), 0);
        EXPECT_EQ(std::memcmp(&l.alg(), alg.data(), 104), 0);
        // One record either way: the responder's, or a default for a count
        // that could not be read.
        ASSERT_TRUE(l.spkEq());
        ASSERT_EQ(l.spkEq()->size(), 1u);
        const EqRecord fallback = defaultEqRecord();
        EXPECT_EQ(std::memcmp(&(*l.spkEq())[0], &fallback, 324) == 0, !c.responderValues);
    }
}

TEST_F(bootloader_link, StatesOutsideTheWalk)
{
    // No EQ at all: the counts read 0 and the machine moves on.
    unit.withSndcResponder([](SndcResponder &s) {
        s.setEqRecords(true, {});
        s.setEqRecords(false, {});
    });
    EXPECT_EQ(stepToFinish(), 17);
    EXPECT_EQ(link()->link().spkEqCount(), 0);
    EXPECT_FALSE(link()->readSpkEqParams());

    struct Case
    {
        uint32_t state;
        uint32_t after;
        bool changedAfter;
    };
    for (const Case c : {Case{stateFinishedOK, stateFinishedOK, true}, Case{stateFinishedFail, stateFinishedFail, true},
                         Case{stateIdle, stateIdle, false}, Case{stateBusy, stateBusy, false},
                         Case{stateAttached, stateAttached, true}}) {
        link()->setLinkState(c.state);
        link()->hidUpdateStatus();
        EXPECT_EQ(link()->linkState(), c.after) << linkStateName(c.state);
        EXPECT_EQ(link()->stateChanged(), c.changedAfter) << linkStateName(c.state);
    }

    // A closed link fails at the next step, whatever the state.
    link()->setLinkState(stateReadDacParam);
    link()->closeDevice();
    EXPECT_EQ(link()->linkState(), stateClosed);
    link()->hidUpdateStatus();
    EXPECT_EQ(link()->linkState(), stateFinishedFail);
    EXPECT_EQ(link()->sendSndcFrame(nullptr, 0), -1);
}

TEST_F(bootloader_link, RunWalksTheSameStepsOnAThreadUntilStopped)
{
    std::thread worker([] { link()->run(); });
    const int64_t deadline = clock.deadlineAfterMs(20000);
    while (link()->linkState() != stateFinishedOK && clock.nowNs() < deadline)
        clock.sleepForMs(10);
    link()->requestStop();
    worker.join();
    EXPECT_EQ(link()->linkState(), stateFinishedOK);
    EXPECT_EQ(requests().size(), 16u);

    // With nothing changed, run pauses instead of stepping, and still stops.
    link()->setLinkState(stateIdle);
    link()->hidUpdateStatus();
    std::thread idle([] { link()->run(); });
    clock.sleepForMs(1200);
    link()->requestStop();
    idle.join();
    EXPECT_EQ(requests().size(), 16u);
}

namespace {

// The command family as the device documents it, one line per group:
// "first-last:shape" or "command:shape/length" for fixed templates.
const char *const kFamily[] = {
    "20 81-83:8/0",
    "30 80-86:1 87:3 88-96:1 97:8/1",
    "31 80-83:1 84:3 85-8E:1 8F:8/0",
    "32 80-84:1 85:3 86-88:1",
    "40 80-83:2 84-85:8/0 86:1 87:5 88:6 89:7 86:1 87:5 88:6 89:7 8A:1 8B:5 8C:6 8D:7",
    "41 80:2 82-83:2 84-85:8/0 86:1 87:5 88:6 89:7",
    "50 80:2 81:1",
    "51 80:2 81-88:4",
    "52 80:2 81-86:4",
    "53 80:2 81-82:4",
    "54 80-81:2 82:4",
    "55 80:2 81:4",
    "56 80-84:2 85:8/0",
    "57 80:2 81-82:4",
};

struct FamilyRow
{
    int group, command, shape, fixedLength;
};

std::vector<FamilyRow> family()
{
    std::vector<FamilyRow> rows;
    for (const char *line : kFamily) {
        std::istringstream in(line);
        std::string group, item;
        in >> group;
        while (in >> item) {
            const size_t colon = item.find(':');
            const std::string range = item.substr(0, colon), shape = item.substr(colon + 1);
            const size_t dash = range.find('-');
            const int first = std::stoi(range.substr(0, dash), nullptr, 16);
            const int last = dash == std::string::npos ? first : std::stoi(range.substr(dash + 1), nullptr, 16);
            const size_t slash = shape.find('/');
            for (int c = first; c <= last; ++c)
                rows.push_back({std::stoi(group, nullptr, 16), c, std::stoi(shape.substr(0, slash)),
                                slash == std::string::npos ? 0 : std::stoi(shape.substr(slash + 1))});
        }
    }
    return rows;
}

} // namespace

TEST_F(bootloader_link, EveryCommandOperationSendsItsFrame)
{
    const std::vector<FamilyRow> rows = family();
    ASSERT_EQ(rows.size(), 114u);
    for (size_t row = 0; row < rows.size(); ++row) {
        SCOPED_TRACE(row);
        const FamilyRow &f = rows[row];
        const uint8_t channel = uint8_t(0x40 + row);
        const uint32_t value = f.shape <= 2 ? uint32_t(row + 3) : 0x0A0B0C00u + uint32_t(row);
        const std::vector<uint8_t> record = pattern(f.shape == 5 ? 24 : 13, uint8_t(row));

        size_t before = 0;
        unit.withSndcResponder([&before](SndcResponder &s) { before = s.frames().size(); });
        const int result = row == 0   ? link()->hidTestProtocol()
                           : row == 1 ? link()->hidActiveDfu()
                           : row == 2 ? link()->hidShowEqParameter()
                                      : link()->sndcCommand(row, channel, value, record.data(), record.size());
        EXPECT_GT(result, 2); // the status answer was read
        std::vector<uint8_t> frame;
        unit.withSndcResponder([&](SndcResponder &s) {
            ASSERT_EQ(s.frames().size(), before + 1);
            frame = s.frames().back();
        });

        std::vector<uint8_t> data;
        int lengthField = 0;
        int channelByte = 0;
        switch (f.shape) {
        case 1: channelByte = channel; data = {uint8_t(value)}; lengthField = 1; break;
        case 2: data = {uint8_t(value)}; lengthField = 1; break;
        case 3: channelByte = channel; [[fallthrough]];
        case 4:
            data = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
            lengthField = 4;
            break;
        case 5: channelByte = channel; data = record; lengthField = 0x18; break;
        case 6: channelByte = channel; data = record; lengthField = 0x0D; break;
        case 7: channelByte = channel; break;
        case 8: lengthField = f.fixedLength; break;
        }
        ASSERT_EQ(frame.size(), 13u + data.size());
        EXPECT_EQ(frame[0], 0x01);
        EXPECT_EQ(frame[1], frame.size() - 2);
        EXPECT_EQ(std::memcmp(frame.data() + 2, "\xAA" "SNDC", 5), 0);
        EXPECT_EQ(frame[7], f.group);
        EXPECT_EQ(frame[8], channelByte);
        EXPECT_EQ(frame[9], f.command);
        EXPECT_EQ(frame[10] << 8 | frame[11], lengthField);
        EXPECT_EQ(std::vector<uint8_t>(frame.begin() + 12, frame.end() - 1), data);
        unsigned sum = 0;
        for (size_t i = 2; i < frame.size(); ++i)
            sum += frame[i];
        EXPECT_EQ(sum % 256, 0u);
    }

    // Arguments that do not fit their shape send nothing.
    auto firstOfShape = [&rows](int shape) {
        return size_t(std::find_if(rows.begin(), rows.end(), [shape](const FamilyRow &f) { return f.shape == shape; }) -
                      rows.begin());
    };
    size_t before = 0;
    unit.withSndcResponder([&before](SndcResponder &s) { before = s.frames().size(); });
    const uint8_t record[24] = {};
    EXPECT_EQ(link()->sndcCommand(firstOfShape(1), 1, 256), -1);
    EXPECT_EQ(link()->sndcCommand(firstOfShape(5), 1, 0, record, 13), -1);
    EXPECT_EQ(link()->sndcCommand(firstOfShape(6), 1, 0, record, 12), -1);
    EXPECT_EQ(link()->sndcCommand(firstOfShape(6), 1, 0, nullptr, 13), -1);
    EXPECT_EQ(link()->sndcCommand(114), -1);
    size_t after = 0;
    unit.withSndcResponder([&after](SndcResponder &s) { after = s.frames().size(); });
    EXPECT_EQ(after, before);
}
