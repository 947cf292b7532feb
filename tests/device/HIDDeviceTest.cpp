#include "device/HIDDevice.h"
#include "device/hid/EmulatedHidBus.h"

#include "LogCollector.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QThread>
#include <QThreadPool>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <thread>

namespace {

constexpr uint16_t kVendor = 0x3A71;
constexpr uint16_t kProduct = 0x000D;
constexpr uint16_t kPage = 0x8C;

EmulatedHidDevice interfaceOf(const std::string &path, uint16_t usagePage = kPage)
{
    EmulatedHidDevice d;
    d.path = path;
    d.vendorId = kVendor;
    d.productId = kProduct;
    d.usagePage = usagePage;
    return d;
}

// Runs the owner's event loop until the condition holds; generous limit so
// a loaded machine does not fail the test.
bool waitFor(const std::function<bool()> &condition, int limitMs = 10000)
{
    QDeadlineTimer deadline(limitMs);
    while (!condition()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
}

class HIDDeviceTest : public ::testing::Test, public LogCollector
{
protected:
    void SetUp() override { clearLines(); }

    EmulatedHidBus m_bus; // outlives the device below
};

} // namespace

TEST_F(HIDDeviceTest, TwoInterfacesEachWithAReaderDeliverOnTheOwnerThread)
{
    std::atomic<int> writesA{0}, writesB{0};
    EmulatedHidFirmware fwA, fwB;
    fwA.onOutputReport = [&](const uint8_t *, size_t) { ++writesA; };
    fwB.onOutputReport = [&](const uint8_t *, size_t) { ++writesB; };
    m_bus.plug(interfaceOf("if-a"), fwA);
    m_bus.plug(interfaceOf("if-b"), fwB);
    m_bus.plug(interfaceOf("if-other-page", 0x01));

    HIDDevice device(m_bus);
    QSignalSpy connected(&device, &HIDDevice::deviceConnected);
    QList<QPair<QString, QByteArray>> received;
    bool allOnOwner = true;
    QObject::connect(&device, &HIDDevice::dataReceived, &device, [&](const QString &path, const QByteArray &data) {
        allOnOwner = allOnOwner && QThread::currentThread() == device.thread();
        received.append({path, data});
    });

    device.openDevices(kVendor, kProduct, kPage);
    EXPECT_EQ(device.devicePaths(), (QStringList{"if-a", "if-b"}));
    EXPECT_EQ(connected.count(), 2);
    EXPECT_EQ(m_bus.openHandleCount(), 2);

    // Opening again opens nothing new and starts no second reader.
    device.openDevices(kVendor, kProduct, kPage);
    EXPECT_EQ(m_bus.openHandleCount(), 2);
    EXPECT_EQ(connected.count(), 2);

    EXPECT_EQ(m_bus.pushInput("if-a", {0x55, 1}), 1);
    EXPECT_EQ(m_bus.pushInput("if-b", {0x55, 2}), 1);
    ASSERT_TRUE(waitFor([&] { return received.size() == 2; }));
    EXPECT_TRUE(allOnOwner);
    EXPECT_TRUE(received.contains(qMakePair(QString("if-a"), QByteArray("\x55\x01", 2))));
    EXPECT_TRUE(received.contains(qMakePair(QString("if-b"), QByteArray("\x55\x02", 2))));

    EXPECT_TRUE(device.writeAll(QByteArray("\x00\x55", 2)));
    EXPECT_EQ(writesA.load(), 1);
    EXPECT_EQ(writesB.load(), 1);
}

TEST_F(HIDDeviceTest, UnplugClosesThePathOnTheOwnerThread)
{
    m_bus.plug(interfaceOf("if-a"));
    HIDDevice device(m_bus);
    QStringList gone;
    bool onOwner = false;
    QObject::connect(&device, &HIDDevice::deviceDisconnected, &device, [&](const QString &path) {
        onOwner = QThread::currentThread() == device.thread();
        gone.append(path);
    });
    device.openDevices(kVendor, kProduct, kPage);
    ASSERT_TRUE(device.hasDevices());

    m_bus.unplug("if-a");
    ASSERT_TRUE(waitFor([&] { return !gone.isEmpty(); }));
    EXPECT_EQ(gone, QStringList{"if-a"});
    EXPECT_TRUE(onOwner);
    EXPECT_FALSE(device.hasDevices());
    ASSERT_TRUE(waitFor([&] { return m_bus.openHandleCount() == 0; }));
    EXPECT_EQ(texts(QtWarningMsg).filter("HIDDevice: 读取错误，设备可能已断开:").filter("if-a").size(), 1);
    EXPECT_EQ(texts(QtDebugMsg).filter("HIDDevice: 读线程退出，调度主线程清理:").filter("if-a").size(), 1);

    // Its reader already closed it: closing again does nothing.
    device.closeDevice("if-a");
    EXPECT_EQ(gone.size(), 1);
}

TEST_F(HIDDeviceTest, ReadErrorEndsOnlyThatInterface)
{
    m_bus.plug(interfaceOf("if-a"));
    m_bus.plug(interfaceOf("if-b"));
    HIDDevice device(m_bus);
    QSignalSpy disconnected(&device, &HIDDevice::deviceDisconnected);
    m_bus.injectFault(HidFault::Read, "if-b");
    device.openDevices(kVendor, kProduct, kPage);
    ASSERT_TRUE(waitFor([&] { return disconnected.count() == 1; }));
    EXPECT_EQ(disconnected.at(0).at(0).toString(), "if-b");
    EXPECT_EQ(device.devicePaths(), QStringList{"if-a"});
}

TEST_F(HIDDeviceTest, UnknownPathsAndFailedOpensFailVisibly)
{
    m_bus.plug(interfaceOf("if-a"));
    HIDDevice device(m_bus);
    EXPECT_FALSE(device.writeToDevice("nowhere", QByteArray(1, 0)));
    EXPECT_TRUE(texts(QtWarningMsg).contains("Device not found"));
    EXPECT_FALSE(device.writeAll(QByteArray(1, 0)));
    device.closeDevice("nowhere");

    m_bus.injectFault(HidFault::Open, "if-a");
    device.openDevices(kVendor, kProduct, kPage);
    EXPECT_FALSE(device.hasDevices());
    const QStringList logged = texts(QtWarningMsg).filter("if-a");
    ASSERT_EQ(logged.size(), 1);

    // A handle that cannot be made non-blocking is closed again.
    m_bus.injectFault(HidFault::Nonblocking, "if-a");
    device.openDevices(kVendor, kProduct, kPage);
    EXPECT_FALSE(device.hasDevices());
    EXPECT_TRUE(texts(QtWarningMsg).contains("hid_set_nonblocking failed: -1"));
    EXPECT_EQ(m_bus.openHandleCount(), 0);

    // The next scan's attempt succeeds.
    device.openDevices(kVendor, kProduct, kPage);
    EXPECT_TRUE(device.hasDevices());

    m_bus.injectFault(HidFault::Write, "if-a");
    EXPECT_FALSE(device.writeToDevice("if-a", QByteArray("\x00\x55", 2)));
    EXPECT_TRUE(texts(QtWarningMsg).filter("Failed to write to device:").join(' ').contains("0055"));
    EXPECT_TRUE(device.writeToDevice("if-a", QByteArray("\x00\x55", 2)));
}

TEST_F(HIDDeviceTest, CloseAllReleasesEveryHandleAfterItsReader)
{
    m_bus.plug(interfaceOf("if-a"));
    m_bus.plug(interfaceOf("if-b"));
    HIDDevice device(m_bus);
    QSignalSpy disconnected(&device, &HIDDevice::deviceDisconnected);
    device.openDevices(kVendor, kProduct, kPage);
    device.closeAllDevices();
    EXPECT_FALSE(device.hasDevices());
    EXPECT_EQ(disconnected.count(), 2);
    ASSERT_TRUE(waitFor([&] { return m_bus.openHandleCount() == 0; }));
}

TEST_F(HIDDeviceTest, DestructionJoinsReadersAndClosesHandles)
{
    m_bus.plug(interfaceOf("if-a"));
    {
        HIDDevice device(m_bus);
        device.openDevices(kVendor, kProduct, kPage);
        m_bus.pushInput("if-a", {1});
        device.closeAllDevices();
        device.openDevices(kVendor, kProduct, kPage);
    }
    EXPECT_EQ(m_bus.openHandleCount(), 0);
}

// Acceptance: repeated open/close while the device keeps sending.
TEST_F(HIDDeviceTest, TwoHundredOpenCloseCyclesWhileDataFlows)
{
    m_bus.plug(interfaceOf("if-a"));
    m_bus.plug(interfaceOf("if-b"));
    std::atomic<bool> pushing{true};
    std::thread pusher([&] {
        uint8_t counter = 0;
        while (pushing.load()) {
            m_bus.pushInput("if-a", {0x55, counter});
            m_bus.pushInput("if-b", {0x55, counter});
            ++counter;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    });

    {
        HIDDevice device(m_bus);
        int received = 0;
        QObject::connect(&device, &HIDDevice::dataReceived, &device, [&] { ++received; });
        for (int cycle = 0; cycle < 200; ++cycle) {
            device.openDevices(kVendor, kProduct, kPage);
            ASSERT_EQ(device.devicePaths().size(), 2) << "cycle " << cycle;
            if (cycle % 20 == 0) {
                const int before = received;
                ASSERT_TRUE(waitFor([&] { return received > before; })) << "cycle " << cycle;
            }
            device.writeAll(QByteArray("\x00\x55", 2));
            device.closeAllDevices();
            QCoreApplication::processEvents();
        }
        ASSERT_TRUE(waitFor([&] { return m_bus.openHandleCount() == 0; }));
    }
    pushing.store(false);
    pusher.join();
    EXPECT_EQ(m_bus.openHandleCount(), 0);
}
