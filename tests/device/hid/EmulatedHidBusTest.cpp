#include "device/hid/EmulatedHidBus.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <future>
#include <thread>

namespace {

EmulatedHidDevice makeDevice(const std::string &path, uint16_t productId = 0x000D, uint16_t usagePage = 0x8C)
{
    EmulatedHidDevice d;
    d.path = path;
    d.vendorId = 0x3A71;
    d.productId = productId;
    d.usagePage = usagePage;
    d.manufacturer = L"Veloran";
    d.product = L"Test base";
    d.serialNumber = L"SN0001";
    return d;
}

std::vector<uint8_t> readOne(HidBackend &backend, HidHandle *handle, int timeoutMs = 0)
{
    std::array<uint8_t, 65> buffer{};
    const int count = backend.readTimeout(handle, buffer.data(), buffer.size(), timeoutMs);
    if (count <= 0)
        return {};
    return {buffer.begin(), buffer.begin() + count};
}

} // namespace

TEST(EmulatedHidBusEnumeration, ListsPluggedInterfacesInPlugOrderFilteredByIds)
{
    EmulatedHidBus bus;
    ASSERT_TRUE(bus.plug(makeDevice("b", 0x000E)));
    ASSERT_TRUE(bus.plug(makeDevice("a", 0x000D, 0x0C)));
    EXPECT_FALSE(bus.plug(makeDevice("a")));
    EXPECT_FALSE(bus.plug(makeDevice("")));

    const auto all = bus.enumerate(0, 0);
    ASSERT_EQ(all.size(), 2u);
    EXPECT_EQ(all[0].path, "b");
    EXPECT_EQ(all[1].path, "a");
    EXPECT_EQ(all[1].usagePage, 0x0C);
    EXPECT_EQ(all[1].product, L"Test base");

    const auto t40 = bus.enumerate(0x3A71, 0x000D);
    ASSERT_EQ(t40.size(), 1u);
    EXPECT_EQ(t40[0].path, "a");
    EXPECT_TRUE(bus.enumerate(0x1234, 0).empty());

    EXPECT_TRUE(bus.unplug("b"));
    EXPECT_FALSE(bus.unplug("b"));
    EXPECT_EQ(bus.enumerate(0, 0).size(), 1u);
}

TEST(EmulatedHidBusOpen, ByPathByIdsAndSerial)
{
    EmulatedHidBus bus;
    bus.plug(makeDevice("x"));
    EXPECT_EQ(bus.openPath("missing"), nullptr);
    EXPECT_NE(bus.error(nullptr), L"Success");

    HidHandle *byPath = bus.openPath("x");
    ASSERT_NE(byPath, nullptr);
    EXPECT_EQ(bus.error(nullptr), L"Success");
    HidHandle *byIds = bus.open(0x3A71, 0x000D, L"SN0001");
    ASSERT_NE(byIds, nullptr);
    EXPECT_EQ(bus.open(0x3A71, 0x000D, L"other"), nullptr);
    EXPECT_EQ(bus.openHandleCount("x"), 2);

    bus.close(byPath);
    bus.close(byIds);
    EXPECT_EQ(bus.openHandleCount(), 0);
}

TEST(EmulatedHidBusIo, WritesReachFirmwareWhichMayAnswerFromTheCallback)
{
    EmulatedHidBus bus;
    std::vector<uint8_t> seen;
    EmulatedHidFirmware fw;
    fw.onOutputReport = [&](const uint8_t *data, size_t length) {
        seen.assign(data, data + length);
        std::vector<uint8_t> reply(data, data + length);
        reply[0] = 0xEE;
        bus.pushInput("x", reply); // no lock is held here, so no deadlock
    };
    bus.plug(makeDevice("x"), fw);
    HidHandle *h = bus.openPath("x");
    ASSERT_NE(h, nullptr);

    const std::vector<uint8_t> report{0x00, 0x55, 0x01, 0x02};
    EXPECT_EQ(bus.write(h, report.data(), report.size()), 4);
    EXPECT_EQ(seen, report);
    EXPECT_EQ(readOne(bus, h), (std::vector<uint8_t>{0xEE, 0x55, 0x01, 0x02}));
    EXPECT_EQ(bus.write(h, report.data(), 0), -1);
    bus.close(h);
}

TEST(EmulatedHidBusIo, EachHandleHasItsOwnBoundedQueue)
{
    EmulatedHidBus bus;
    bus.plug(makeDevice("x"));
    EXPECT_EQ(bus.pushInput("x", {1}), 0); // nobody listens: lost
    EXPECT_EQ(bus.pushInput("nope", {1}), -1);
    EXPECT_EQ(bus.pushInput("x", {}), -1);

    HidHandle *a = bus.openPath("x");
    HidHandle *b = bus.openPath("x");
    EXPECT_EQ(bus.pushInput("x", {7, 8}), 2);
    EXPECT_EQ(readOne(bus, a), (std::vector<uint8_t>{7, 8}));
    EXPECT_EQ(readOne(bus, b), (std::vector<uint8_t>{7, 8}));
    EXPECT_TRUE(readOne(bus, a).empty());

    for (size_t i = 0; i < EmulatedHidBus::kInputQueueLimit + 3; ++i)
        bus.pushInput("x", {static_cast<uint8_t>(i)});
    EXPECT_EQ(readOne(bus, a), (std::vector<uint8_t>{3})); // oldest three dropped

    bus.close(a);
    bus.close(b);

    // A short buffer gets the start of the report, as hidapi does.
    HidHandle *c = bus.openPath("x");
    bus.pushInput("x", std::vector<uint8_t>(100, 0xAB));
    std::array<uint8_t, 8> small{};
    EXPECT_EQ(bus.readTimeout(c, small.data(), small.size(), 0), 8);
    EXPECT_EQ(small[7], 0xAB);
    bus.close(c);
}

TEST(EmulatedHidBusIo, NonblockingReadReturnsZeroAndBlockingReadWakesOnData)
{
    EmulatedHidBus bus;
    bus.plug(makeDevice("x"));
    HidHandle *h = bus.openPath("x");
    ASSERT_EQ(bus.setNonblocking(h, 1), 0);
    std::array<uint8_t, 65> buffer{};
    EXPECT_EQ(bus.read(h, buffer.data(), buffer.size()), 0);
    EXPECT_EQ(bus.readTimeout(h, buffer.data(), buffer.size(), 5), 0);

    ASSERT_EQ(bus.setNonblocking(h, 0), 0);
    auto reader = std::async(std::launch::async, [&] {
        std::array<uint8_t, 65> local{};
        return bus.read(h, local.data(), local.size());
    });
    while (bus.pushInput("x", {1, 2, 3}) != 1) {
    }
    EXPECT_EQ(reader.get(), 3);
    bus.close(h);
}

TEST(EmulatedHidBusUnplug, WakesBlockedReadersWithErrorAndKillsHandles)
{
    EmulatedHidBus bus;
    bus.plug(makeDevice("x"));
    HidHandle *h = bus.openPath("x");
    auto reader = std::async(std::launch::async, [&] {
        std::array<uint8_t, 65> local{};
        return bus.readTimeout(h, local.data(), local.size(), -1);
    });
    std::this_thread::yield();
    ASSERT_TRUE(bus.unplug("x"));
    EXPECT_EQ(reader.get(), -1);

    const uint8_t report[] = {0, 1};
    EXPECT_EQ(bus.write(h, report, sizeof report), -1);
    EXPECT_EQ(bus.error(h), L"device disconnected");

    // Plugging the path again gives a new interface; the old handle stays dead.
    bus.plug(makeDevice("x"));
    EXPECT_EQ(bus.pushInput("x", {1}), 0);
    EXPECT_EQ(bus.write(h, report, sizeof report), -1);
    bus.close(h);
    EXPECT_EQ(bus.openHandleCount(), 0);
}

// hidapi forbids it, but the bus must survive it: the reader wakes with an
// error and nothing of the freed handle is touched (asan guards the latter).
TEST(EmulatedHidBusClose, CloseUnderAWaitingReaderWakesItWithAnError)
{
    struct Case {
        const char *name;
        bool plainRead; // read() (blocking by default) instead of readTimeout
        int timeoutMs;
    };
    const Case cases[] = {{"read, blocking", true, -1}, {"readTimeout without limit", false, -1},
                          {"readTimeout 10 s", false, 10000}};
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        EmulatedHidBus bus;
        bus.plug(makeDevice("x"));
        HidHandle *h = bus.openPath("x");
        HidHandle *other = bus.openPath("x");
        auto reader = std::async(std::launch::async, [&] {
            std::array<uint8_t, 65> local{};
            return c.plainRead ? bus.read(h, local.data(), local.size())
                                     : bus.readTimeout(h, local.data(), local.size(), c.timeoutMs);
        });
        while (bus.waitingReaderCount() == 0)
            std::this_thread::yield();
        bus.close(h);
        ASSERT_EQ(reader.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        EXPECT_EQ(reader.get(), -1);
        EXPECT_EQ(bus.waitingReaderCount(), 0);
        // The other handle of the path lives on.
        EXPECT_EQ(bus.openHandleCount("x"), 1);
        EXPECT_EQ(bus.pushInput("x", {7}), 1);
        std::array<uint8_t, 4> buffer{};
        EXPECT_EQ(bus.readTimeout(other, buffer.data(), buffer.size(), 0), 1);
        bus.close(other);
    }
}

TEST(EmulatedHidBusFaults, CountedPathSpecificAndPermanentFaults)
{
    EmulatedHidBus bus;
    int writesSeen = 0;
    EmulatedHidFirmware fw;
    fw.onOutputReport = [&](const uint8_t *, size_t) { ++writesSeen; };
    bus.plug(makeDevice("x"), fw);
    bus.plug(makeDevice("y"));

    bus.injectFault(HidFault::Open, "x", 2);
    EXPECT_EQ(bus.openPath("x"), nullptr);
    HidHandle *y = bus.openPath("y");
    EXPECT_NE(y, nullptr);
    EXPECT_EQ(bus.openPath("x"), nullptr);
    HidHandle *x = bus.openPath("x");
    ASSERT_NE(x, nullptr);

    const uint8_t report[] = {0, 9};
    bus.injectFault(HidFault::Write);
    EXPECT_EQ(bus.write(x, report, sizeof report), -1);
    EXPECT_EQ(writesSeen, 0);
    EXPECT_EQ(bus.write(x, report, sizeof report), 2);
    EXPECT_EQ(writesSeen, 1);

    bus.injectFault(HidFault::Read, "x", EmulatedHidBus::kFaultAlways);
    bus.pushInput("x", {1});
    std::array<uint8_t, 65> buffer{};
    EXPECT_EQ(bus.readTimeout(x, buffer.data(), buffer.size(), 0), -1);
    EXPECT_EQ(bus.readTimeout(x, buffer.data(), buffer.size(), 0), -1);
    bus.clearFaults();
    EXPECT_EQ(bus.readTimeout(x, buffer.data(), buffer.size(), 0), 1); // the report waited

    bus.close(x);
    bus.close(y);
}

TEST(EmulatedHidBusStrings, CopiesDescriptorStringsWithinTheBuffer)
{
    EmulatedHidBus bus;
    bus.plug(makeDevice("x"));
    HidHandle *h = bus.openPath("x");
    std::array<wchar_t, 256> text{};
    ASSERT_EQ(bus.getProductString(h, text.data(), text.size()), 0);
    EXPECT_EQ(std::wstring(text.data()), L"Test base");
    ASSERT_EQ(bus.getSerialNumberString(h, text.data(), 4), 0);
    EXPECT_EQ(std::wstring(text.data()), L"SN0");
    ASSERT_EQ(bus.getManufacturerString(h, text.data(), text.size()), 0);
    EXPECT_EQ(std::wstring(text.data()), L"Veloran");
    EXPECT_EQ(bus.getIndexedString(h, 1, text.data(), text.size()), -1);
    bus.close(h);
}

TEST(EmulatedHidBusFeatures, FeatureReportsGoThroughTheFirmwareHooks)
{
    EmulatedHidBus bus;
    std::vector<uint8_t> lastSet;
    EmulatedHidFirmware fw;
    fw.onSetFeature = [&](const uint8_t *data, size_t length) {
        lastSet.assign(data, data + length);
        return static_cast<int>(length);
    };
    fw.onGetFeature = [](uint8_t *data, size_t length) {
        if (length < 3)
            return -1;
        data[1] = 0x11;
        data[2] = 0x22;
        return 3;
    };
    bus.plug(makeDevice("x"), fw);
    bus.plug(makeDevice("plain"));
    HidHandle *h = bus.openPath("x");
    HidHandle *plain = bus.openPath("plain");

    const uint8_t feature[] = {0x02, 0xA0, 0x0A};
    EXPECT_EQ(bus.sendFeatureReport(h, feature, sizeof feature), 3);
    EXPECT_EQ(lastSet, (std::vector<uint8_t>{0x02, 0xA0, 0x0A}));
    std::array<uint8_t, 16> buffer{0x02};
    EXPECT_EQ(bus.getFeatureReport(h, buffer.data(), buffer.size()), 3);
    EXPECT_EQ(buffer[2], 0x22);
    EXPECT_EQ(bus.sendFeatureReport(plain, feature, sizeof feature), -1);
    EXPECT_EQ(bus.getFeatureReport(plain, buffer.data(), buffer.size()), -1);
    bus.close(h);
    bus.close(plain);
}

TEST(EmulatedHidBusInit, InitAndExitAreCounted)
{
    EmulatedHidBus bus;
    bus.init();
    bus.init();
    bus.exit();
    EXPECT_EQ(bus.initCount(), 1);
    bus.exit();
    bus.exit();
    EXPECT_EQ(bus.initCount(), 0);
}
