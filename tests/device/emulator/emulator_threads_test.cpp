#include "device/emulator/emulator_runner.h"
#include "device/bootloader/bootloader_codec.h"
#include "device/emulator/firmware_image.h"
#include "device/emulator/mic_base_emulator.h"
#include "device/emulator/mic_base_unit.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <mutex>
#include <thread>

using namespace veloran::emu;

namespace {

size_t linkFrames(const MicBaseEmulator& emu)
{
    size_t n = 0;
    for (const Frame& f : emu.sent())
        n += f.messageId == kMsgLink;
    return n;
}

// The host asks the device for its version.
void askVersion(MicBaseEmulator& emu, uint16_t sequence)
{
    Frame f;
    f.sequence = sequence;
    f.source = {1, 1, 28};
    f.destination = emu.config().address;
    f.messageId = kMsgVersion;
    std::vector<uint8_t> r = {0x00};
    encodeFrame(f, r);
    emu.onOutputReport(r.data(), r.size());
}

}  // namespace

TEST(EmuThreads, StepsAndHostWritesNeverInterleaveReports)
{
    ModelConfig c = defaultConfig(Model::T40);
    c.beaconPeriodMs = 1;  // a beacon every step
    MicBaseEmulator emu(c);
    emu.setStreamFaults({.splitReports = true});
    std::mutex mutex;
    std::vector<std::vector<uint8_t>> reports;  // guarded by mutex
    emu.setReportSink([&](const std::vector<uint8_t>& r) {
        std::lock_guard lock(mutex);
        reports.push_back(r);
    });

    constexpr int kSteps = 2000, kRequests = 500;
    std::thread stepper([&] {
        for (int t = 0; t < kSteps; ++t)
            emu.step(uint64_t(t));
    });
    std::thread host([&] {
        for (int i = 0; i < kRequests; ++i)
            askVersion(emu, uint16_t(i));
    });
    stepper.join();
    host.join();

    FrameDecoder decoder;
    std::vector<Frame> frames;
    for (const auto& r : reports)
        decoder.feed(r.data(), r.size(), frames);
    EXPECT_EQ(decoder.stats().badChecksum, 0u);
    EXPECT_EQ(decoder.stats().badKind, 0u);
    size_t versions = 0, links = 0;
    for (const Frame& f : frames) {
        versions += f.messageId == kMsgVersion;
        links += f.messageId == kMsgLink;
    }
    EXPECT_EQ(versions, size_t(kRequests));
    EXPECT_EQ(links, size_t(kSteps));
}

TEST(EmuThreads, RunnerStepsOnItsClock)
{
    MicBaseEmulator emu(defaultConfig(Model::U20));
    os::ManualClock clock;
    EmulatorRunner runner(emu, clock);
    runner.start();
    const auto waitFor = [&](size_t beacons) {
        // Real time only bounds a hang; the clock decides when beacons are due.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (linkFrames(emu) < beacons && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return linkFrames(emu);
    };
    EXPECT_EQ(waitFor(1), 1u);
    clock.advanceMs(999);
    clock.advanceMs(1);
    EXPECT_EQ(waitFor(2), 2u);
    runner.stop();
    clock.advanceMs(5000);
    EXPECT_EQ(linkFrames(emu), 2u);
    runner.stop();  // twice is harmless
}

// The runner sleeps until the next beacon; a held reply made by the host's
// request, or a replug, must bring its next step forward.
TEST(EmuThreads, RunnerStepsSoonerWhenTheHostOrAReplugBringsAStepForward)
{
    MicBaseEmulator emu(defaultConfig(Model::T40));
    std::mutex mutex;
    FrameDecoder decoder;        // guarded by mutex
    std::vector<Frame> received; // guarded by mutex
    emu.setReportSink([&](const std::vector<uint8_t>& r) {
        std::lock_guard lock(mutex);
        decoder.feed(r.data(), r.size(), received);
    });
    const auto count = [&](uint16_t messageId) {
        std::lock_guard lock(mutex);
        return size_t(std::count_if(received.begin(), received.end(),
                                    [&](const Frame& f) { return f.messageId == messageId; }));
    };
    const auto waitFor = [&](uint16_t messageId, size_t n) {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (count(messageId) < n && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        return count(messageId);
    };
    os::ManualClock clock;
    EmulatorRunner runner(emu, clock);
    runner.start();
    ASSERT_EQ(waitFor(kMsgLink, 1), 1u);

    emu.addFault({FrameFault::Kind::Delay, kMsgVersion, FrameFault::kAny, 1, 30});
    askVersion(emu, 0);
    clock.advanceMs(29);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(count(kMsgVersion), 0u);
    clock.advanceMs(1);
    EXPECT_EQ(waitFor(kMsgVersion, 1), 1u);
    EXPECT_EQ(count(kMsgLink), 1u);  // the beacon is not due before 1000 ms

    emu.unplug();
    clock.advanceMs(5000);
    emu.replug();  // time stands still: only the replug can wake the runner
    EXPECT_EQ(waitFor(kMsgLink, 2), 2u);
    runner.stop();
}

// The whole R7 unit names the time of its next step, so its runner can sleep
// until then; a host command that starts something timed (the quiet window, a
// restart) or a reply held back by the window asks for a step at once, and
// the held reply goes out when the window ends.
TEST(EmuThreads, UnitNamesItsNextStepAndAsksForOneWhenTheHostBringsItForward)
{
    EmulatedHidBus bus;
    ModelConfig c = defaultConfig(Model::R7);
    c.beaconPeriodMs = 10000;
    MicBaseUnit unit(bus, c, "emu/R7");
    unit.programFlash(makeFirmwareImage(Model::R7, 2, 12, 4096));
    uint64_t nowMs = 0;
    int asked = 0;
    unit.setTimeSource([&] { return nowMs; });
    unit.setStepDueHook([&] { ++asked; });
    unit.plug();
    HidHandle* host = bus.openPath(unit.applicationPath());
    ASSERT_NE(host, nullptr);
    const auto reportsRead = [&] {
        int n = 0;
        uint8_t buffer[64];
        while (bus.readTimeout(host, buffer, sizeof buffer, 0) > 0)
            ++n;
        return n;
    };
    const auto command = [&](std::string_view text, HidHandle* to) {
        uint8_t report[64];
        const auto body = bootloader::commandBody(text);
        ASSERT_EQ(bootloader::buildUpgradeReport(body.data(), body.size(), 1, report), sizeof report);
        ASSERT_EQ(bus.write(to, report, sizeof report), int(sizeof report));
    };

    unit.step(0);
    EXPECT_EQ(reportsRead(), 1);  // the first beacon
    EXPECT_EQ(unit.nextStepMs(), 10000u);

    nowMs = 950;
    command("cm_vsrc", host);
    EXPECT_EQ(reportsRead(), 1);  // its reply
    EXPECT_EQ(asked, 1);
    EXPECT_LE(unit.nextStepMs(), nowMs);
    unit.step(950);  // the quiet window runs to 1050
    EXPECT_EQ(unit.nextStepMs(), 10000u);

    Frame f;
    f.source = {1, 1, 28};
    f.destination = c.address;
    f.messageId = kMsgVersion;
    std::vector<uint8_t> r = {0x01, 0x00};
    encodeFrame(f, r);
    r[1] = uint8_t(r.size() - 2);
    const auto askVersion = [&] { ASSERT_EQ(bus.write(host, r.data(), r.size()), int(r.size())); };
    nowMs = 1050;  // the window has ended, though no step has seen it
    askVersion();
    EXPECT_EQ(reportsRead(), 1);
    EXPECT_EQ(asked, 1);

    nowMs = 1100;
    command("cm_vsrc", host);
    EXPECT_EQ(reportsRead(), 1);
    EXPECT_EQ(asked, 2);
    unit.step(1100);
    EXPECT_EQ(unit.nextStepMs(), 10000u);
    nowMs = 1150;
    askVersion();
    EXPECT_EQ(reportsRead(), 0);  // held back
    EXPECT_EQ(asked, 3);
    EXPECT_EQ(unit.nextStepMs(), 1200u);
    unit.step(1199);
    EXPECT_EQ(reportsRead(), 0);
    unit.step(1200);
    EXPECT_EQ(reportsRead(), 1);
    EXPECT_EQ(unit.nextStepMs(), 10000u);

    nowMs = 2000;
    command("cm_rest?isok", host);
    EXPECT_EQ(asked, 4);
    unit.step(2001);  // the restart delay counts from here
    EXPECT_EQ(unit.nextStepMs(), 2601u);
    unit.step(2600);
    EXPECT_EQ(unit.mode(), MicBaseUnit::Mode::Application);
    unit.step(2601);
    bus.close(host);
    ASSERT_EQ(unit.mode(), MicBaseUnit::Mode::BootLoader);
    EXPECT_EQ(unit.nextStepMs(), MicBaseUnit::kNoStepDue);

    // The boot loader, told to finish an upgrade it never took, reboots into itself.
    HidHandle* bootLoader = bus.openPath(unit.bootLoaderPath());
    ASSERT_NE(bootLoader, nullptr);
    nowMs = 3000;
    command("cm_fnsh?isok", bootLoader);
    EXPECT_EQ(asked, 5);
    EXPECT_LE(unit.nextStepMs(), nowMs);
    unit.step(3000);
    EXPECT_EQ(unit.nextStepMs(), 3050u);
    bus.close(bootLoader);
}
