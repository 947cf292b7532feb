#include "platform/windows/routerAudio/LivestreamForwarder.h"

#include "Eventually.h"
#include "QuietMixer.h"
#include "SimDriverFixture.h"
#include "platform/windows/routerAudio/Mixer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Conversion = LivestreamForwarder::Conversion;
constexpr uint32_t kToneSource = 42;

// Lines the forwarder logs, from whichever thread.
class LogCapture {
public:
    LivestreamForwarder::LogSink sink()
    {
        return [this](const std::string& line) {
            std::lock_guard lock(m_mutex);
            m_lines.push_back(line);
        };
    }
    std::vector<std::string> lines() const
    {
        std::lock_guard lock(m_mutex);
        return m_lines;
    }
    int count(const std::string& prefix) const
    {
        int n = 0;
        for (const auto& line : lines())
            n += line.rfind(prefix, 0) == 0 ? 1 : 0;
        return n;
    }

private:
    mutable std::mutex m_mutex;
    std::vector<std::string> m_lines;
};

WAVEFORMATEXTENSIBLE format(uint32_t rate, uint16_t channels, uint16_t bits, bool isFloat = false)
{
    return SimVirtualDriver::makeFormat(rate, channels, bits, isFloat);
}

// Stereo sine, both channels alike, continuing from frame `start`.
std::vector<float> toneBlock(uint64_t start, float amplitude = 0.5f)
{
    std::vector<float> out(LivestreamForwarder::kBlockSamples);
    for (uint32_t f = 0; f < LivestreamForwarder::kBlockFrames; ++f) {
        const auto v = static_cast<float>(amplitude * std::sin(2.0 * M_PI * 1000.0 * double(start + f) / 48000.0));
        out[2 * f] = v;
        out[2 * f + 1] = -v;
    }
    return out;
}

std::vector<float> constantBlock(float left, float right)
{
    std::vector<float> out(LivestreamForwarder::kBlockSamples);
    for (uint32_t f = 0; f < LivestreamForwarder::kBlockFrames; ++f) {
        out[2 * f] = left;
        out[2 * f + 1] = right;
    }
    return out;
}

template <class T>
T sampleAt(const std::vector<uint8_t>& block, size_t offset)
{
    T v;
    std::memcpy(&v, block.data() + offset, sizeof(T));
    return v;
}

int32_t int24At(const std::vector<uint8_t>& block, size_t offset)
{
    const uint32_t u = block[offset] | (block[offset + 1] << 8) | (uint32_t(block[offset + 2]) << 16);
    return static_cast<int32_t>(u << 8) >> 8;
}

// --- Conversion of one block -------------------------------------------------

TEST(LivestreamConversion, MixFormatIsExactInt32)
{
    const auto in = toneBlock(0);
    std::vector<uint8_t> out;
    ASSERT_EQ(LivestreamForwarder::convertBlock(in.data(), format(48000, 2, 32), out), Conversion::Written);
    ASSERT_EQ(out.size(), 3840u);
    for (uint32_t i = 0; i < 960; ++i)
        ASSERT_EQ(sampleAt<int32_t>(out, 4 * i), static_cast<int32_t>(double(in[i]) * 2147483647.0)) << i;
}

TEST(LivestreamConversion, BlockSizesFollowTheDriversRate)
{
    const auto in = toneBlock(0);
    std::vector<uint8_t> out;
    LivestreamForwarder::convertBlock(in.data(), format(44100, 2, 32), out);
    EXPECT_EQ(out.size(), 3528u); // 441 frames
    LivestreamForwarder::convertBlock(in.data(), format(96000, 2, 16), out);
    EXPECT_EQ(out.size(), 3840u); // 960 frames
}

TEST(LivestreamConversion, UpsamplingInterpolatesAndHoldsTheLastFrame)
{
    std::vector<float> in(LivestreamForwarder::kBlockSamples);
    for (uint32_t f = 0; f < 480; ++f) {
        in[2 * f] = float(f) / 1000.0f;
        in[2 * f + 1] = -float(f) / 1000.0f;
    }
    std::vector<uint8_t> out;
    LivestreamForwarder::convertBlock(in.data(), format(96000, 2, 16), out);
    // Frame 1 lies halfway between input frames 0 and 1.
    EXPECT_EQ(sampleAt<int16_t>(out, 4 * 1), static_cast<int16_t>(0.0005f * 32767.0f));
    const auto last = static_cast<int16_t>(0.479f * 32767.0f);
    EXPECT_EQ(sampleAt<int16_t>(out, 4 * 958), last);
    EXPECT_EQ(sampleAt<int16_t>(out, 4 * 959), last);
    EXPECT_EQ(sampleAt<int16_t>(out, 4 * 959 + 2), static_cast<int16_t>(-0.479f * 32767.0f));
}

TEST(LivestreamConversion, FullScaleAndBeyondInt32)
{
    std::vector<uint8_t> out;
    for (auto [in, expected] : {std::pair{1.0f, 2147483647}, {1.5f, 2147483647}, {-1.0f, -2147483647},
                                {-7.0f, -2147483647}}) {
        const auto block = constantBlock(in, in);
        LivestreamForwarder::convertBlock(block.data(), format(48000, 2, 32), out);
        EXPECT_EQ(sampleAt<int32_t>(out, 0), expected) << in;
        EXPECT_EQ(sampleAt<int32_t>(out, 3836), expected) << in;
    }
}

TEST(LivestreamConversion, FloatAndTwentyFourBitTargets)
{
    const auto block = constantBlock(0.25f, -2.0f);
    std::vector<uint8_t> out;
    LivestreamForwarder::convertBlock(block.data(), format(48000, 2, 32, true), out);
    EXPECT_EQ(sampleAt<float>(out, 0), 0.25f);
    EXPECT_EQ(sampleAt<float>(out, 4), -1.0f);

    WAVEFORMATEXTENSIBLE plainFloat = format(48000, 2, 32);
    plainFloat.Format.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    LivestreamForwarder::convertBlock(block.data(), plainFloat, out);
    EXPECT_EQ(sampleAt<float>(out, 8), 0.25f);

    LivestreamForwarder::convertBlock(block.data(), format(48000, 2, 24), out);
    ASSERT_EQ(out.size(), 480u * 6);
    EXPECT_EQ(int24At(out, 0), static_cast<int32_t>(0.25f * 8388607.0f));
    EXPECT_EQ(int24At(out, 3), -8388607);
}

TEST(LivestreamConversion, ExtraChannelsAreSilent)
{
    const auto block = constantBlock(0.5f, 0.5f);
    std::vector<uint8_t> out;
    LivestreamForwarder::convertBlock(block.data(), format(48000, 4, 32), out);
    ASSERT_EQ(out.size(), 480u * 16);
    for (uint32_t i = 0; i < 480; ++i) {
        ASSERT_NE(sampleAt<int32_t>(out, 16 * i + 4), 0);
        ASSERT_EQ(sampleAt<int32_t>(out, 16 * i + 8), 0);
        ASSERT_EQ(sampleAt<int32_t>(out, 16 * i + 12), 0);
    }
}

TEST(LivestreamConversion, NotANumberBecomesSilence)
{
    const auto block = constantBlock(std::nanf(""), 0.5f);
    std::vector<uint8_t> out;
    LivestreamForwarder::convertBlock(block.data(), format(48000, 2, 32), out);
    EXPECT_EQ(sampleAt<int32_t>(out, 0), 0);
}

TEST(LivestreamConversion, UncoveredFormatSendsSilenceNotOldAudio)
{
    const auto block = constantBlock(0.5f, 0.5f);
    std::vector<uint8_t> out;
    LivestreamForwarder::convertBlock(block.data(), format(48000, 4, 16), out); // 3840 bytes of audio
    EXPECT_EQ(LivestreamForwarder::convertBlock(block.data(), format(48000, 2, 64), out), Conversion::Silence);
    ASSERT_EQ(out.size(), 480u * 16);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0; }));
}

TEST(LivestreamConversion, BlockAlignTooSmallWritesNothing)
{
    WAVEFORMATEXTENSIBLE narrow = format(48000, 2, 32);
    narrow.Format.nBlockAlign = 6;
    const auto block = constantBlock(0.5f, 0.5f);
    std::vector<uint8_t> out;
    EXPECT_EQ(LivestreamForwarder::convertBlock(block.data(), narrow, out), Conversion::BlockAlignSmall);
    EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](uint8_t b) { return b == 0; }));
}

TEST(LivestreamConversion, FormatsTakenOnlyWithinBounds)
{
    EXPECT_TRUE(LivestreamForwarder::usableFormat(format(48000, 2, 32)));
    WAVEFORMATEXTENSIBLE f = format(48000, 2, 32);
    f.Format.nSamplesPerSec = 0;
    EXPECT_FALSE(LivestreamForwarder::usableFormat(f));
    f = format(48000, 0, 32);
    EXPECT_FALSE(LivestreamForwarder::usableFormat(f));
    f = format(48000, 2, 32);
    f.Format.nBlockAlign = 0;
    EXPECT_FALSE(LivestreamForwarder::usableFormat(f));
    f = format(48000, 2, 32);
    f.Format.nSamplesPerSec = 0xFFFFFFFF; // would size a block of gigabytes
    EXPECT_FALSE(LivestreamForwarder::usableFormat(f));
    f = format(768000, 2, 32);
    f.Format.nBlockAlign = 0xFFFF;
    EXPECT_FALSE(LivestreamForwarder::usableFormat(f));
    EXPECT_FALSE(LivestreamForwarder::usableFormat(format(99, 2, 32))); // a block of no frame
    EXPECT_TRUE(LivestreamForwarder::usableFormat(format(100, 2, 32)));
}

// --- The loop, step by step ----------------------------------------------------

class ForwardLoopTest : public SimDriverFixture {
protected:
    ForwardLoopTest()
    {
        AudioRouteConfig tone;
        tone.processID = kToneSource;
        tone.active = 1;
        tone.input2 = {1, 1.0f, 0};
        store.set(kToneSource, tone);
        driver.setRecordWrites(true);
    }
    void push(const std::vector<float>& block)
    {
        const WAVEFORMATEX f = os::floatFormat(48000, 2);
        mixer->push(kToneSource, block.data(), static_cast<uint32_t>(block.size() * sizeof(float)), &f);
    }
    // One period: the loop runs (its statistics line written as the
    // forwarder's writer thread would), then 10 ms pass.
    void step()
    {
        loop.step(handle, LivestreamForwarder::kMixBus);
        loop.writeStats();
        clock.advanceMs(LivestreamForwarder::kPeriodMs);
    }
    void steps(int n)
    {
        for (int i = 0; i < n; ++i)
            step();
    }
    const LivestreamForwarder::Stats& stats() const { return loop.stats(); }

    AudioRouteConfigStore store;
    std::unique_ptr<Mixer> mixer = quietMixer(store);
    LogCapture log;
    LivestreamForwarder::LogSink sink = log.sink();
    LivestreamForwarder::ForwardLoop loop{*mixer, sink};
};

// The empty driver buffer gets one silent block ahead of the first block.
TEST_F(ForwardLoopTest, ToneArrivesConvertedBlockAfterBlock)
{
    std::vector<uint8_t> expected(3840, 0);
    std::vector<uint8_t> converted;
    for (int n = 0; n < 5; ++n) {
        const auto block = toneBlock(uint64_t(n) * 480);
        push(block);
        step();
        LivestreamForwarder::convertBlock(block.data(), format(48000, 2, 32), converted);
        expected.insert(expected.end(), converted.begin(), converted.end());
    }
    EXPECT_EQ(driver.writeSizes(), std::vector<uint32_t>(6, 3840));
    EXPECT_EQ(driver.writtenBytes(), expected);
    EXPECT_EQ(stats().writeOk, 5);
    EXPECT_EQ(stats().leads, 1);
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[LivestreamForwarder] Capture format: 48000 Hz, 2 ch, 32-bit"});
}

// A push not yet landed for the next loop is waited for up to half a block,
// and only as far as the driver, playing on meanwhile, keeps a quarter of
// one queued for a late wake-up.
TEST_F(ForwardLoopTest, ALatePushIsWaitedForOnlyWhileTheDriverHoldsAQuarterBlock)
{
    const struct {
        int sinceLoopMs; // after the loop that wrote the last block, one period on
        bool pushed;     // the next block has landed
        int64_t waitUs;
    } rows[] = {{0, false, 5000}, {3, false, 4500}, {7, false, 500}, {8, false, 0}, {0, true, 0}};
    for (const auto& row : rows) {
        clock.advanceMs(20); // the driver runs dry: the loop writes a lead again
        push(constantBlock(0.25f, 0.25f));
        step();
        clock.advanceMs(row.sinceLoopMs);
        if (row.pushed)
            push(constantBlock(0.25f, 0.25f));
        EXPECT_EQ(loop.dueWaitNs(handle, LivestreamForwarder::kMixBus), row.waitUs * 1000) << row.sinceLoopMs;
    }
}

TEST_F(ForwardLoopTest, InactiveStreamStillDrainsTheBus)
{
    driver.setActiveByte(0);
    push(constantBlock(0.25f, 0.25f));
    steps(100);
    EXPECT_EQ(stats().streamInactive, 100);
    EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_WRITE), 0u);
    EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_GET_FORMAT), 0u);

    // The stale block was pulled while nobody listened: only the new one comes.
    driver.setActiveByte(1);
    push(constantBlock(0.5f, 0.5f));
    step();
    const auto written = driver.writtenBytes();
    ASSERT_EQ(written.size(), 2 * 3840u); // the silent lead, then the block
    EXPECT_EQ(sampleAt<int32_t>(written, 3840), static_cast<int32_t>(0.5 * 2147483647.0));
}

TEST_F(ForwardLoopTest, StatusFailureCountsAsInactive)
{
    driver.failRequest(IOCTL_VAD_AUDIO_GET_STATUS, kVadSysErrorNotReady, 3);
    steps(4);
    EXPECT_EQ(stats().streamInactive, 3);
    EXPECT_EQ(stats().writeOk, 1);
}

TEST_F(ForwardLoopTest, NoFormatYetDropsAndRetriesEveryLoop)
{
    driver.failRequest(IOCTL_VAD_AUDIO_GET_FORMAT, kVadSysErrorNotReady, 3);
    steps(3);
    EXPECT_FALSE(loop.haveFormat());
    EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_GET_FORMAT), 3u);
    EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_WRITE), 0u);
    step();
    EXPECT_TRUE(loop.haveFormat());
    EXPECT_EQ(stats().writeOk, 1);
}

TEST_F(ForwardLoopTest, InvalidFormatAnswerIsNotTaken)
{
    WAVEFORMATEXTENSIBLE zeroRate = format(48000, 2, 32);
    zeroRate.Format.nSamplesPerSec = 0;
    driver.setWantedFormat(zeroRate);
    steps(2);
    EXPECT_FALSE(loop.haveFormat());
    EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_GET_FORMAT), 2u);
}

TEST_F(ForwardLoopTest, FormatIsReReadEveryHundredLoopsAndKeptOnFailure)
{
    step(); // loop 1 reads
    driver.failRequest(IOCTL_VAD_AUDIO_GET_FORMAT, kVadSysErrorNotReady, 5);
    steps(99); // loops 2..100
    EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_GET_FORMAT), 1u);
    steps(5); // loops 101..105 fail and retry each time
    EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_GET_FORMAT), 6u);
    EXPECT_EQ(stats().writeOk, 105); // the known format goes on serving
    step(); // loop 106 succeeds
    steps(99);
    EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_GET_FORMAT), 7u);
    step(); // loop 206
    EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_GET_FORMAT), 8u);
}

TEST_F(ForwardLoopTest, FormatWithoutAWholeFrameIsNotTaken)
{
    driver.setWantedFormat(format(50, 2, 32));
    push(constantBlock(0.5f, 0.5f));
    steps(3);
    EXPECT_FALSE(loop.haveFormat());
    EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_GET_FORMAT), 3u);
    EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_WRITE), 0u);
    EXPECT_EQ(stats().writeOk + stats().errors, 0);
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(ForwardLoopTest, OnlyRateChannelsOrBitsChangesAreLogged)
{
    step();
    WAVEFORMATEXTENSIBLE padded = format(48000, 2, 32);
    padded.Format.nBlockAlign = 12;
    padded.Format.wFormatTag = WAVE_FORMAT_IEEE_FLOAT;
    driver.setWantedFormat(padded);
    steps(100);
    EXPECT_EQ(loop.currentFormat().Format.nBlockAlign, 12);
    EXPECT_EQ(log.count("[LivestreamForwarder] Capture format:"), 1);

    driver.setWantedFormat(format(44100, 2, 32));
    steps(100);
    EXPECT_EQ(log.count("[LivestreamForwarder] Capture format:"), 2);
    EXPECT_EQ(log.lines().back(), "[LivestreamForwarder] Capture format: 44100 Hz, 2 ch, 32-bit");
    EXPECT_EQ(driver.writeSizes().back(), 3528u);
}

// Room for exactly one block is room enough; one byte less is not.
TEST_F(ForwardLoopTest, FreeSpaceDecidesTheWriteAtTheExactBlockSize)
{
    struct Case {
        uint32_t freeBytes;
        int written;
    } cases[] = {{3840, 1}, {3839, 0}, {3841, 1}};
    for (const Case &c : cases) {
        driver.setCapacityBytes(driver.fillBytes() + c.freeBytes);
        const uint32_t before = driver.requestCount(IOCTL_VAD_AUDIO_WRITE);
        const int full = stats().bufferFull;
        step();
        EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_WRITE) - before, uint32_t(c.written)) << c.freeBytes;
        EXPECT_EQ(stats().bufferFull - full, 1 - c.written) << c.freeBytes;
    }
}

// A change of bits alone is logged, and the block the new format reuses
// starts from zeros: padding the conversion never writes must not carry the
// old layout's samples.
TEST_F(ForwardLoopTest, BitsOnlyChangeIsLoggedAndTheBlockStartsClear)
{
    push(constantBlock(0.5f, -0.5f));
    step();
    ASSERT_EQ(driver.writeSizes().back(), 3840u);
    WAVEFORMATEXTENSIBLE padded = format(48000, 2, 16);
    padded.Format.nBlockAlign = 8; // 16-bit samples in 8-byte frames
    driver.setWantedFormat(padded);
    for (int i = 0; i < 100; ++i) {
        push(constantBlock(0.5f, -0.5f));
        step();
    }
    EXPECT_EQ(log.lines().back(), "[LivestreamForwarder] Capture format: 48000 Hz, 2 ch, 16-bit");
    EXPECT_EQ(log.count("[LivestreamForwarder] Capture format:"), 2);
    const std::vector<uint8_t> all = driver.writtenBytes();
    ASSERT_EQ(driver.writeSizes().back(), 3840u);
    const std::vector<uint8_t> last(all.end() - 3840, all.end());
    for (size_t f = 0; f < 480; ++f) {
        ASSERT_EQ(sampleAt<int16_t>(last, f * 8), 16383) << f;
        ASSERT_EQ(sampleAt<int32_t>(last, f * 8 + 4), 0) << f;
    }
}

TEST_F(ForwardLoopTest, FreeBytesOneShortIsBufferFull)
{
    driver.setCapacityBytes(3839);
    step();
    EXPECT_EQ(stats().bufferFull, 1);
    EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_WRITE), 0u);
}

TEST_F(ForwardLoopTest, WriteResultsAreCounted)
{
    driver.setCapacityBytes(2 * 3840 - 1); // no room for a lead: one write per loop
    driver.failRequest(IOCTL_VAD_AUDIO_WRITE, kVadSysErrorInsufficientBuffer, 1);
    step();
    EXPECT_EQ(stats().bufferFull, 1);
    driver.failRequest(IOCTL_VAD_AUDIO_WRITE, kVadSysErrorNotReady, 2);
    steps(2);
    EXPECT_EQ(stats().errors, 2);
    EXPECT_EQ(log.count("[LivestreamForwarder] TarvoAudio_Write failed: 3"), 2);
    step();
    EXPECT_EQ(stats().writeOk, 1);
}

TEST_F(ForwardLoopTest, StatisticsLineEveryThreeHundredLoops)
{
    driver.setCapacityBytes(2 * 3840 - 1); // no room for a lead: one write per loop
    driver.setActiveByte(0);
    steps(10);
    driver.setActiveByte(1);
    driver.failRequest(IOCTL_VAD_AUDIO_WRITE, kVadSysErrorInsufficientBuffer, 4);
    steps(290);
    EXPECT_EQ(log.lines().back(),
              "[LivestreamForwarder] loop=300 writeOk=286 bufferFull=4 streamInactive=10 errors=0");
    steps(299);
    EXPECT_EQ(log.count("[LivestreamForwarder] loop="), 1);
    step();
    EXPECT_EQ(log.count("[LivestreamForwarder] loop="), 2);
}

TEST_F(ForwardLoopTest, FourChannelDriverGetsSilentExtraChannels)
{
    driver.setWantedFormat(format(48000, 4, 32));
    push(constantBlock(0.5f, -0.5f));
    step();
    const auto written = driver.writtenBytes();
    ASSERT_EQ(written.size(), 2 * 480u * 16); // the silent lead, then the block
    EXPECT_EQ(sampleAt<int32_t>(written, 7680), static_cast<int32_t>(0.5 * 2147483647.0));
    EXPECT_EQ(sampleAt<int32_t>(written, 7684), static_cast<int32_t>(-0.5 * 2147483647.0));
    EXPECT_EQ(sampleAt<int32_t>(written, 7688), 0);
    EXPECT_EQ(sampleAt<int32_t>(written, 7692), 0);
}

TEST_F(ForwardLoopTest, UncoveredFormatSendsSilenceAndNarrowFrameSkips)
{
    driver.setWantedFormat(format(48000, 2, 8));
    push(constantBlock(0.5f, 0.5f));
    step();
    auto written = driver.writtenBytes();
    ASSERT_EQ(written.size(), 2 * 960u);
    EXPECT_TRUE(std::all_of(written.begin(), written.end(), [](uint8_t b) { return b == 0; }));

    driver.clearRecord();
    WAVEFORMATEXTENSIBLE narrow = format(48000, 2, 32);
    narrow.Format.nBlockAlign = 4;
    driver.setWantedFormat(narrow);
    const int32_t before = stats().writeOk;
    steps(100); // the next read takes it
    EXPECT_EQ(stats().writeOk - before, 99);
    EXPECT_EQ(stats().errors, 0);
}

// --- Start, stop and the thread ----------------------------------------------

class ForwarderTest : public ForwardLoopTest {
protected:
    void SetUp() override { driver.install(); }
    void TearDown() override
    {
        forwarder.reset();
        driver.uninstall();
    }
    void make(os::Clock& c) { forwarder = std::make_unique<LivestreamForwarder>(*mixer, c, log.sink()); }

    // Waits (generously) until the forwarding thread has written n blocks
    // and sleeps on the clock again, having seen the clock's last step: a
    // thread still asleep from before the step would act on it only later.
    bool waitForWrites(size_t n)
    {
        return testwait::until(
            [&] { return driver.writeSizes().size() == n && clock.waitingThreads() == 1 && clock.settledThreads() == 1; },
            20000);
    }

    std::unique_ptr<LivestreamForwarder> forwarder;
};

TEST_F(ForwarderTest, MissingDriverIsReportedAndNothingIsWritten)
{
    driver.uninstall();
    make(clock);
    EXPECT_FALSE(forwarder->Start());
    EXPECT_FALSE(forwarder->IsRunning());
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[LivestreamForwarder] NUVEX Stream Mix device not found "
                                                    "(driver not installed), livestream forwarding disabled"});
    driver.install();
    forwarder->Stop();
    EXPECT_EQ(driver.requestCount(IOCTL_VAD_AUDIO_SET_FORMAT), 0u);
    EXPECT_TRUE(driver.writtenBytes().empty());
}

TEST_F(ForwarderTest, OtherOpenFailuresAreLoggedWithTheirCode)
{
    driver.setOpenError(kVadSysErrorAccessDenied);
    make(clock);
    EXPECT_FALSE(forwarder->Start());
    EXPECT_EQ(log.lines(), std::vector<std::string>{"[LivestreamForwarder] TarvoAudio_Open failed with error: 7"});
    EXPECT_EQ(driver.openHandles(), 0);
}

TEST_F(ForwarderTest, StartSendsTheStreamFormatAndStopClosesTheDriver)
{
    make(clock);
    ASSERT_TRUE(forwarder->Start());
    EXPECT_TRUE(forwarder->Start()); // already running: nothing more
    EXPECT_TRUE(forwarder->IsRunning());
    EXPECT_EQ(driver.openHandles(), 1);
    const auto formats = driver.formatsSet();
    ASSERT_EQ(formats.size(), 1u);
    const auto expected = SimVirtualDriver::defaultFormat();
    EXPECT_EQ(std::memcmp(&formats[0], &expected, sizeof(expected)), 0);
    const auto mine = LivestreamForwarder::streamFormat();
    EXPECT_EQ(std::memcmp(&mine, &expected, sizeof(expected)), 0);
    EXPECT_EQ(log.lines().front(), "[LivestreamForwarder] Initialized, source bus=2");

    forwarder->Stop();
    EXPECT_FALSE(forwarder->IsRunning());
    EXPECT_EQ(driver.openHandles(), 0);
    EXPECT_EQ(log.lines().back(), "[LivestreamForwarder] Thread stopped");
    forwarder->Stop(); // stopping twice is harmless
}

// Each block goes out in the loop after its push, one period apart. A push
// that lands after its loop (the source's pushes and the loop sharing their
// phase) is waited for, looked for each millisecond, on the lead the driver
// still holds, up to half a block; the loop keeps its time. No block is lost
// and none waits a whole period more, but one later than that.
TEST_F(ForwarderTest, OneBlockPerTenMillisecondsAndALatePushIsWaitedFor)
{
    make(clock);
    std::vector<uint8_t> expected(3840, 0); // the lead
    std::vector<uint8_t> converted;
    const auto expect = [&](const std::vector<float>& block) {
        LivestreamForwarder::convertBlock(block.data(), format(48000, 2, 32), converted);
        expected.insert(expected.end(), converted.begin(), converted.end());
    };
    auto block = toneBlock(0);
    push(block);
    expect(block);
    ASSERT_TRUE(forwarder->Start());
    ASSERT_TRUE(waitForWrites(2));
    // Each push comes right after the previous write, or lateMs after the
    // loop meant for it.
    const struct {
        int lateMs;
        int writeAfterMs; // after the push
        bool missed;      // its loop wrote silence; it plays a period later
    } pushes[] = {
        {0, 10, false}, {0, 10, false},
        {2, 1, false}, // seen at the next look
        {0, 7, false}, // the loop keeps its time
        {4, 1, false}, // the last look but one
        {0, 5, false},
        {2, 1, false}, // the lead is whole again
        {0, 7, false},
        {6, 4, true},  // later than the driver can wait
        {0, 10, false},
    };
    size_t writes = 2;
    for (size_t n = 0; n < std::size(pushes); ++n) {
        block = toneBlock((n + 1) * 480);
        if (pushes[n].lateMs > 0) {
            clock.advanceMs(10);
            ASSERT_TRUE(waitForWrites(writes)) << n;
            clock.advanceMs(pushes[n].lateMs);
            if (pushes[n].missed)
                expected.insert(expected.end(), 3840, 0);
            ASSERT_TRUE(waitForWrites(pushes[n].missed ? ++writes : writes)) << n;
        }
        expect(block);
        push(block);
        clock.advanceMs(pushes[n].writeAfterMs - 1);
        ASSERT_TRUE(waitForWrites(writes)) << n << ": not yet";
        clock.advanceMs(1);
        ASSERT_TRUE(waitForWrites(++writes)) << n;
    }
    EXPECT_EQ(driver.writtenBytes(), expected);
    forwarder->Stop();
}

TEST_F(ForwarderTest, LateLoopDoesNotBurst)
{
    make(clock);
    ASSERT_TRUE(forwarder->Start());
    ASSERT_TRUE(waitForWrites(2)); // the lead and the first block
    // Five periods late: the overdue loop and the one after it run, then the
    // pace starts anew from now instead of catching up with a burst. The
    // driver ran dry meanwhile: the overdue loop writes a lead again.
    clock.advanceMs(55);
    ASSERT_TRUE(waitForWrites(5));
    clock.advanceMs(9);
    ASSERT_TRUE(waitForWrites(5));
    clock.advanceMs(1);
    ASSERT_TRUE(waitForWrites(6));
    forwarder->Stop();
}

// Stop while the thread writes, starts racing stops, and the bus changing
// under the thread: clean under the thread sanitizer.
TEST_F(ForwarderTest, StopWhileWritingIsClean)
{
    os::RealClock fast(20.0);
    driver.setCapacityBytes(1u << 30);
    driver.setRecordWrites(false);
    make(fast);
    std::atomic<bool> producing{true};
    std::thread producer([&] {
        uint64_t start = 0;
        while (producing.load()) {
            push(toneBlock(start));
            start += 480;
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    for (int round = 0; round < 5; ++round) {
        ASSERT_TRUE(forwarder->Start());
        testwait::until([&] { return driver.requestCount(IOCTL_VAD_AUDIO_WRITE) >= uint32_t(3 * (round + 1)); }, 20000);
        std::thread racer([&] { forwarder->Stop(); });
        forwarder->SetSourceBus(round % 2 == 0 ? 1 : 2);
        forwarder->Start();
        forwarder->Stop();
        racer.join();
        EXPECT_FALSE(forwarder->IsRunning());
        EXPECT_EQ(driver.openHandles(), 0);
    }
    producing.store(false);
    producer.join();
    EXPECT_GE(driver.requestCount(IOCTL_VAD_AUDIO_WRITE), 15u);
}

} // namespace
