// The device manager against emulated microphone bases on the emulated HID
// bus, in virtual time (HotplugManagerFixture.h).

#include "HotplugManagerFixture.h"

#include "device/protocol/msg_node.h"

#include <QFile>
#include <QJSEngine>

namespace {

QVariantList bytes(std::initializer_list<int> values)
{
    QVariantList list;
    for (int v : values)
        list.append(uint(v));
    return list;
}

QStringList attributeLogLines()
{
    QFile file(QDir(HidTrafficLog::folder()).filePath(QStringLiteral("hid_attribute.log")));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    return QString::fromUtf8(file.readAll()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

// --- connection and the information map ---

TEST_F(HotplugManagerTest, FirstScanAt2000MsAndCompleteInformationWithinThreeSeconds)
{
    EmulatedBase &base = addBase(Model::T40);
    startManager();

    runTo(1999);
    EXPECT_EQ(m_bus.openHandleCount(), 0);
    EXPECT_TRUE(m_connected->isEmpty());

    runTo(2000);
    EXPECT_EQ(m_bus.openHandleCount(), 1);
    ASSERT_FALSE(m_connected->isEmpty());
    EXPECT_TRUE(lastConnected());
    EXPECT_EQ(lastInfo().value("dpid").toInt(), 0x000D);

    runTo(3000);
    const QVariantMap info = lastInfo();
    EXPECT_TRUE(lastConnected());
    EXPECT_EQ(info.size(), 6);
    EXPECT_EQ(info.value("name").toString(), QString::fromStdString(base.emulator.config().name));
    EXPECT_EQ(info.value("sn").toString(), QString::fromStdString(base.emulator.config().serial));
    EXPECT_EQ(info.value("version").toString(), "V1.05");
    EXPECT_EQ(info.value("dpid").toInt(), 0x000D);
    EXPECT_EQ(info.value("vid").toInt(), base.emulator.config().address.network);
    EXPECT_EQ(info.value("pid").toInt(), base.emulator.config().address.group);
    EXPECT_EQ(m_manager->getDeviceInfo(), info);
    EXPECT_EQ(LogCollector::count("设备已在线"), 1);
}

TEST_F(HotplugManagerTest, UnplugRemovesOnlyVersionAndReplugIsCompleteAgain)
{
    EmulatedBase &base = addBase(Model::T40);
    startManager();
    runTo(3600);
    ASSERT_TRUE(complete(lastInfo()));
    const QVariantMap before = lastInfo();

    unplugAndWait(base);
    QVariantMap expected = before;
    expected.remove("version");
    EXPECT_EQ(lastInfo(), expected);
    EXPECT_FALSE(lastConnected());

    runTo(4000); // the next scan finds nothing
    EXPECT_EQ(LogCollector::count("设备已离线"), 1);

    runTo(3600 + 500);
    base.attachment.plug();
    runTo(7000);
    EXPECT_TRUE(lastConnected());
    EXPECT_EQ(lastInfo(), before);
    EXPECT_EQ(base.emulator.receivedCount(kMsgVersion, false), 2u);
}

TEST_F(HotplugManagerTest, DevicePluggedBackAtOnceLogsInAgain)
{
    EmulatedBase &base = addBase(Model::U20);
    ASSERT_TRUE(startAndLogIn());

    // Back before any scan could see it gone: the old node must not linger.
    unplugAndWait(base);
    base.attachment.plug();
    runTo(5200);
    EXPECT_TRUE(lastConnected());
    EXPECT_TRUE(complete(lastInfo()));
    EXPECT_EQ(lastInfo().value("version").toString(), "V1.02");
    EXPECT_EQ(base.emulator.receivedCount(kMsgVersion, false), 2u);
    EXPECT_EQ(base.emulator.receivedCount(kMsgNodeName, false), 2u);
}

TEST_F(HotplugManagerTest, StopHaltsScanningUntilStartAndTheDeviceLogsInAgain)
{
    EmulatedBase &base = addBase(Model::T40);
    ASSERT_TRUE(startAndLogIn());

    m_manager->stopAndDisconnectDevice();
    m_manager->stopAndDisconnectDevice(); // harmless
    ASSERT_TRUE(waitFor([&] { return !lastConnected(); }));
    EXPECT_FALSE(lastInfo().contains("version"));
    EXPECT_TRUE(waitFor([&] { return m_bus.openHandleCount() == 0; })); // closed on the pool

    runTo(9000); // neither scan nor tick runs
    EXPECT_EQ(m_bus.openHandleCount(), 0);
    EXPECT_EQ(base.emulator.receivedCount(kMsgVersion, false), 1u);

    m_manager->startAndConnectDevice();
    runTo(10000);
    m_manager->startAndConnectDevice(); // running timers keep their phase
    runTo(10999);
    EXPECT_EQ(m_bus.openHandleCount(), 0);
    runTo(12500);
    EXPECT_EQ(m_bus.openHandleCount(), 1);
    EXPECT_TRUE(lastConnected());
    EXPECT_TRUE(complete(lastInfo()));
    EXPECT_EQ(base.emulator.receivedCount(kMsgVersion, false), 2u);
}

TEST_F(HotplugManagerTest, ReportsStillQueuedWhenStoppingAreDropped)
{
    EmulatedBase &base = addBase(Model::T40);
    ASSERT_TRUE(startAndLogIn());

    // Let the device send (its next beacon) and the reader hand it over,
    // but stop before the GUI thread gets to it.
    auto read = std::make_shared<std::atomic<int>>(0); // counted on the reader thread
    QObject::connect(m_manager->findChild<HIDDevice *>(), &HIDDevice::dataReceived, &m_context,
                     [read] { ++*read; }, Qt::DirectConnection);
    const int pushedBefore = m_pushed.load();
    const int deliveredBefore = m_delivered;
    for (int64_t ms = m_timers.nowMs() + 1; m_pushed.load() == pushedBefore && ms <= 4100; ++ms) {
        m_timers.advanceTo(ms);
        base.emulator.step(uint64_t(ms));
    }
    const int sent = m_pushed.load() - pushedBefore;
    ASSERT_GT(sent, 0);
    QElapsedTimer elapsed;
    elapsed.start();
    while (read->load() < sent && elapsed.elapsed() < kSettleLimitMs)
        QThread::msleep(1);
    ASSERT_EQ(read->load(), sent);

    m_manager->stopAndDisconnectDevice();
    ASSERT_TRUE(waitFor([&] { return m_bus.openHandleCount() == 0 && m_delivered >= deliveredBefore + sent; }));
    // Nothing of the closed session may wait for the next tick.
    EXPECT_EQ(msg_receive_ring_count(), 0);
    EXPECT_EQ(msg_node_count(), 0);
}

TEST_F(HotplugManagerTest, ScanTakesTheFirstSupportedEntry)
{
    EmulatedHidDevice loader; // same vendor, boot-loader product id: not supported
    loader.path = "emu/loader";
    loader.vendorId = HIDHotplugManager::kVendorId;
    loader.productId = 0x0820;
    loader.usagePage = HIDHotplugManager::kUsagePage;
    ASSERT_TRUE(m_bus.plug(loader));
    EmulatedBase &u20 = addBase(Model::U20);
    EmulatedBase &t40 = addBase(Model::T40);
    startManager();

    runTo(3000);
    EXPECT_EQ(lastInfo().value("dpid").toInt(), 0x000E);
    EXPECT_EQ(m_bus.openHandleCount(u20.attachment.protocolPath()), 1);
    EXPECT_EQ(m_bus.openHandleCount(t40.attachment.protocolPath()), 0);
    EXPECT_EQ(m_bus.openHandleCount("emu/loader"), 0);
    EXPECT_EQ(lastInfo().value("name").toString(), QString::fromStdString(u20.emulator.config().name));

    // The boot loader alone: signalled once per appearance, never opened.
    QSignalSpy upgradeWanted(m_manager.get(), &HIDHotplugManager::upgradeFirmwareSignal);
    unplugAndWait(u20);
    t40.attachment.unplug();
    runFor(6000);
    EXPECT_EQ(upgradeWanted.size(), 1);
    m_bus.unplug("emu/loader");
    runFor(2000);
    ASSERT_TRUE(m_bus.plug(loader));
    runFor(4000);
    EXPECT_EQ(upgradeWanted.size(), 2);
    EXPECT_EQ(m_bus.openHandleCount("emu/loader"), 0);
    EXPECT_EQ(LogCollector::count("检测到处于升级模式的设备 VID: 0x3a71 PID: 0x0820"), 2);
}

TEST_F(HotplugManagerTest, R7ConnectsOverItsOwnUsagePageAndReports)
{
    EmulatedBase &base = addBase(Model::R7);
    startManager();
    runTo(3000);
    ASSERT_TRUE(lastConnected());
    EXPECT_TRUE(complete(lastInfo()));
    EXPECT_EQ(lastInfo().value("dpid").toInt(), 0x9829);
    EXPECT_EQ(lastInfo().value("version").toString(), "V2.12");

    m_manager->messageSend(6, QByteArray(1, char(20)));
    runFor(50);
    ASSERT_NE(base.emulator.attributes().get(6), nullptr);
    EXPECT_EQ(*base.emulator.attributes().get(6), std::vector<uint8_t>{20});

    // Reports of four bytes or fewer carry no frame bytes, whatever their
    // head claims; had "55 12" been taken, the broken frame after them would
    // vanish inside it instead of reaching the error callback.
    const std::string path = base.attachment.protocolPath();
    const std::vector<std::vector<uint8_t>> shortReports = {{0x01}, {0x01, 0x3C}, {0x01, 0x3C, 0x55}, {0x01, 0x3C, 0x55, 0x12}};
    for (const auto &report : shortReports)
        m_pushed += m_bus.pushInput(path, report);
    veloran::emu::Frame broken;
    broken.type = veloran::emu::kTypeNotification;
    broken.source = base.emulator.config().address;
    broken.messageId = 0x8002;
    broken.payload = {5};
    std::vector<uint8_t> frame = veloran::emu::encodeFrame(broken);
    frame.back() = uint8_t(frame.back() + 1);
    m_pushed += m_bus.pushInput(path, makeInputReport(Model::R7, frame.data(), frame.size(), true));
    runFor(50);
    EXPECT_EQ(LogCollector::count("错误回调 id: 3 msgid: 32770"), 1);
    m_manager->messageSend(6, QByteArray(1, char(21)));
    runFor(50);
    EXPECT_EQ(*base.emulator.attributes().get(6), std::vector<uint8_t>{21});
}

TEST_F(HotplugManagerTest, LoginOfNodeNumberZeroRequestsNothing)
{
    EmulatedBase &base = addBase(Model::T40, [](ModelConfig &c) { c.address.node = 0; });
    startManager();
    runTo(4000);
    EXPECT_EQ(base.emulator.receivedCount(kMsgNodeName), 0u);
    EXPECT_EQ(base.emulator.receivedCount(kMsgVersion), 0u);
    const QVariantMap info = m_manager->getDeviceInfo();
    EXPECT_TRUE(info.contains("dpid"));
    EXPECT_FALSE(info.contains("pid"));
    EXPECT_FALSE(info.contains("vid"));
    EXPECT_GE(LogCollector::count("用户登录回调 from: 0 type: 0 VID:0x0002 PID:0x0101 CHID:0x0000"), 1);
}

// --- version texts ---

struct VersionCase
{
    std::vector<uint8_t> answer;
    const char *text; // null: no version
};

void PrintTo(const VersionCase &c, std::ostream *os)
{
    *os << (c.text ? c.text : "no version") << " from " << c.answer.size() << " bytes";
}

class HotplugVersionTest : public HotplugManagerTest, public ::testing::WithParamInterface<VersionCase>
{
};

TEST_P(HotplugVersionTest, VersionTextFromBytesNineAndTen)
{
    const VersionCase c = GetParam();
    addBase(Model::T40, [&](ModelConfig &config) { config.versionAnswer = c.answer; });
    startManager();
    runTo(3000);
    ASSERT_TRUE(lastInfo().contains("name"));
    if (c.text) {
        EXPECT_EQ(lastInfo().value("version").toString(), c.text);
    } else {
        EXPECT_FALSE(m_manager->getDeviceInfo().contains("version"));
        EXPECT_EQ(LogCollector::count("版本回调，长度: 10 版本数据过短"), 1);
    }
}

INSTANTIATE_TEST_SUITE_P(Answers, HotplugVersionTest,
                         ::testing::Values(VersionCase{makeVersionAnswer(2, 0), "V2.00"},
                                           VersionCase{makeVersionAnswer(2, 12), "V2.12"},
                                           VersionCase{makeVersionAnswer(10, 1), "V10.01"},
                                           // ends right before byte 10
                                           VersionCase{std::vector<uint8_t>(10, 0), nullptr}));

// --- attribute and private messages ---

TEST_F(HotplugManagerTest, AttributeAndPrivateMessagesBothWays)
{
    EmulatedBase &base = addBase(Model::T40);
    ASSERT_TRUE(startAndLogIn());

    m_manager->messageSend(5, QByteArray(1, char(10)));
    runFor(50);
    ASSERT_NE(base.emulator.attributes().get(5), nullptr);
    EXPECT_EQ(*base.emulator.attributes().get(5), std::vector<uint8_t>{10});

    m_messages->clear();
    ASSERT_TRUE(base.emulator.changeAttribute(19, {42}));
    runFor(20);
    ASSERT_EQ(m_messages->size(), 1);
    EXPECT_EQ(m_messages->at(0).at(0).value<uint16_t>(), 19);
    EXPECT_EQ(m_messages->at(0).at(1).toList(), bytes({42}));

    ASSERT_TRUE(base.emulator.pressKnob(1));
    runFor(20);
    ASSERT_EQ(m_privates->size(), 1);
    EXPECT_EQ(m_privates->at(0).at(0).value<uint32_t>(), 0x8003u);
    EXPECT_EQ(m_privates->at(0).at(1).value<uint8_t>(), 1);

    m_messages->clear();
    m_manager->messageGet(5);
    runFor(50);
    ASSERT_EQ(m_messages->size(), 1);
    EXPECT_EQ(m_messages->at(0).at(0).value<uint16_t>(), 5);
    EXPECT_EQ(m_messages->at(0).at(1).toList(), bytes({10}));

    m_messages->clear();
    m_manager->messageGetAll();
    runFor(100);
    QList<uint16_t> ids;
    for (const auto &signal : *m_messages)
        ids.append(signal.at(0).value<uint16_t>());
    EXPECT_EQ(ids.size(), int(base.emulator.attributes().ids().size()));
    EXPECT_TRUE(ids.contains(5) && ids.contains(19));

    m_manager->sendPriMessage(0x8004, QByteArray(1, char(1)));
    runFor(50);
    EXPECT_EQ(base.emulator.receivedCount(kMsgFactoryReset), 1u);

    const QStringList lines = attributeLogLines();
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const QString &l) { return l.contains("[属性发送] attID:0x0005 数据:0A"); }));
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const QString &l) { return l.contains("[属性接收] attID:0x0013 数据:2A"); }));
    EXPECT_TRUE(std::any_of(lines.begin(), lines.end(),
                            [](const QString &l) { return l.contains("[属性发送] attID:0x8004 数据:01"); }));
}

TEST_F(HotplugManagerTest, OverlongValuesAreRefusedWithAWarning)
{
    EmulatedBase &base = addBase(Model::T40);
    ASSERT_TRUE(startAndLogIn());

    m_manager->messageSend(10, QByteArray(201, char(1)));
    m_manager->sendPriMessage(0x8004, QByteArray(0x10000, char(1)));
    runFor(50);
    EXPECT_EQ(base.emulator.receivedCount(kMsgAttrSet), 0u);
    EXPECT_EQ(base.emulator.receivedCount(kMsgFactoryReset), 0u);
    EXPECT_EQ(LogCollector::count("HIDHotplugManager::messageSend"), 1);
    EXPECT_EQ(LogCollector::count("HIDHotplugManager::sendPriMessage"), 1);

    // The largest value still goes out whole.
    m_manager->messageSend(10, QByteArray(200, char(1)));
    runFor(50);
    EXPECT_EQ(base.emulator.receivedCount(kMsgAttrSet, false), 1u);
}

TEST_F(HotplugManagerTest, WithoutAnOpenDeviceAttributeCallsDoNothing)
{
    startManager();
    runTo(2500);
    m_manager->messageSend(5, QByteArray(1, char(1)));
    m_manager->messageGet(5);
    m_manager->messageGetAll();
    m_manager->sendPriMessage(0x8004, QByteArray(1, char(1))); // handed to the core, which cannot send
    runFor(10);
    EXPECT_EQ(LogCollector::count("属性发送"), 0);
    EXPECT_EQ(LogCollector::count("属性获取"), 0);
    EXPECT_EQ(LogCollector::count("获取所有属性"), 0);
    EXPECT_TRUE(m_connected->isEmpty());
}

TEST_F(HotplugManagerTest, ScriptCallsAndSignalArgumentsAreNumbers)
{
    EmulatedBase &base = addBase(Model::T40);
    ASSERT_TRUE(startAndLogIn());

    QJSEngine engine;
    QJSEngine::setObjectOwnership(m_manager.get(), QJSEngine::CppOwnership);
    engine.globalObject().setProperty("mgr", engine.newQObject(m_manager.get()));
    const QJSValue setup = engine.evaluate(R"(
        var got = [];
        mgr.priMsgCallback.connect(function (id, value) { got.push(typeof id, id, typeof value, value); });
        mgr.messageReceived.connect(function (att, list) { got.push(typeof att, att, list.length, list[0]); });
        mgr.messageGet(19);
    )");
    ASSERT_FALSE(setup.isError()) << setup.toString().toStdString();
    runFor(50);
    ASSERT_TRUE(base.emulator.pressKnob(3));
    runFor(20);
    const QJSValue got = engine.evaluate("got.join(',')");
    EXPECT_EQ(got.toString(), "number,19,1,100,number,32771,number,3");
}
