#include "device/bootloader/HidProtocol.h"

#include "device/bootloader/bootloader_log.h"

#include "device/hid/HidBackend.h"
#include "platform/os/Clock.h"

#include <QCoreApplication>
#include <QDebug>
#include <QEventLoop>

#include <algorithm>
#include <cstring>
#include <mutex>
#include <vector>

using namespace bootloader;

namespace {

os::Clock &realClock()
{
    static os::RealClock clock;
    return clock;
}

} // namespace

hidProtocol *hidProtocol::instance()
{
    // Never destroyed: the program ends without unwinding.
    static hidProtocol *const s_instance = new hidProtocol;
    return s_instance;
}

hidProtocol::hidProtocol()
    : QObject(nullptr)
{
}

void hidProtocol::setClock(os::Clock *clock) { m_clock = clock; }

os::Clock &hidProtocol::clock() const { return m_clock ? *m_clock : realClock(); }

// --- link -------------------------------------------------------------------

bool hidProtocol::openDevice(quint16 vendorId, quint16 productId, const wchar_t *serialNumber)
{
    print("openDevice(vid 0x%04X, pid 0x%04X)...\n", vendorId, productId);
    if (m_handle)
        closeDevice();
    m_vendorId = vendorId;
    m_productId = productId;
    // Each open link holds one reference of the shared HID library, so that
    // closing it never ends hidapi under another open handle.
    HidBackend &backend = hidBackend();
    m_hidReady = backend.init() == 0 ? 1 : 0;
    HidHandle *handle = m_hidReady ? backend.open(vendorId, productId, serialNumber) : nullptr;
    if (!handle) {
        if (m_hidReady)
            backend.exit();
        print("Failed\n");
        setLinkState(stateFinishedFail);
        return false;
    }
    m_backend = &backend;
    m_handle = handle;
    print("Success\n");
    setLinkState(stateOpened);
    return true;
}

void hidProtocol::closeDevice()
{
    if (!m_handle)
        return;
    m_backend->close(m_handle);
    m_handle = nullptr;
    m_link.resetLinkState();
    m_backend->exit();
    m_backend = nullptr;
}

bool hidProtocol::isOpen() const { return m_handle != nullptr; }

quint32 hidProtocol::linkState() const { return m_link.linkState(); }

void hidProtocol::setLinkState(quint32 state) { m_link.setLinkState(state); }

bool hidProtocol::stateChanged() const { return m_link.stateChanged(); }

int hidProtocol::sendSndcFrame(const uint8_t *payload, quint16 length)
{
    if (!m_handle) {
        qDebug("  open device first\n");
        return -1;
    }
    const int frameBytes = buildSndcFrame(payload, length, m_frame);
    if (frameBytes < 0) {
        qDebug() << "sendSndcFrame: data length" << length << "too long for the 255-byte limit";
        return -1;
    }
    print("Send[%d]:", frameBytes);
    for (int i = 0; i < frameBytes; ++i)
        print("%02hhX ", m_frame[i]);
    print("\n");
    drainInput();
    const int result = m_backend->write(m_handle, m_frame, size_t(frameBytes));
    print("hid write res =%d\n", result);
    if (result < 0) {
        print("L714_Unable to write(%d)\n", result);
        print("Error: %ls\n", m_backend->error(m_handle).c_str());
    }
    return result;
}

int hidProtocol::readSndcReport(uint8_t *body, quint16 *length) { return readReport(body, length, false); }

int hidProtocol::readReport(uint8_t *body, quint16 *length, bool commandReplyOnly)
{
    *length = 0;
    if (!m_handle) {
        qDebug("  open device first to read\n");
        return 0;
    }
    m_backend->setNonblocking(m_handle, 1);
    uint8_t report[kReplyBufferBytes];
    int result = 0;
    int passedOver = 0;
    for (int attempt = 1; attempt <= kReadAttempts; ++attempt) {
        waitEventLoop(1);
        for (;;) {
            std::memset(report, 0, sizeof report);
            result = m_backend->read(m_handle, report, sizeof report);
            if (result <= 0 || !commandReplyOnly || isCommandReply(report, result) || passedOver == kMaxPassedOver)
                break;
            // The application firmware shares the interface: a report it sent
            // just before our command reached it arrives after the drain.
            ++passedOver;
            print("not a command reply, passed over\n");
        }
        if (result == 0) {
            print("read_waiting...\n");
            if (attempt == kReadAttempts)
                print("read time out=[%d]\n", attempt);
            continue;
        }
        if (result < 0)
            print("Unable to read()\n");
        break;
    }
    *length = quint16(replyBody(report, result, body));
    return result;
}

void hidProtocol::waitEventLoop(int ms)
{
    // The caller's thread keeps serving its events while it waits; time is
    // the injected clock's.
    os::Clock &c = clock();
    const int64_t deadline = c.deadlineAfterMs(std::max(ms, 0));
    for (;;) {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents(QEventLoop::AllEvents);
        const int64_t now = c.nowNs();
        if (now >= deadline)
            return;
        c.sleepUntilNs(std::min(deadline, now + os::Clock::kNsPerMs));
    }
}

void hidProtocol::drainInput()
{
    m_backend->setNonblocking(m_handle, 1);
    uint8_t scratch[kReplyBufferBytes];
    // Bounded: a device that floods cannot hold the link here.
    for (int i = 0; i < 256 && m_backend->read(m_handle, scratch, sizeof scratch) > 0; ++i) {
    }
}

// --- device strings, feature and raw reports ----------------------------------

void hidProtocol::printString(StringGetter getter, const char *format, const char *failure)
{
    if (!m_handle) {
        print("  open device first\n");
        return;
    }
    std::fill(std::begin(m_text), std::end(m_text), L'\0');
    if ((m_backend->*getter)(m_handle, m_text, kTextChars) < 0)
        print("%s", failure);
    m_text[kTextChars] = L'\0';
    print(format, m_text);
}

void hidProtocol::printManufacturer()
{
    printString(&HidBackend::getManufacturerString, "Manufacturer String: %ls\n", "Unable to read manufacturer string\n");
}

void hidProtocol::printProduct()
{
    printString(&HidBackend::getProductString, "Product String: %ls\n", "Unable to read product string\n");
}

void hidProtocol::printSerialNumber()
{
    if (!m_handle) {
        print("  open device first\n");
        return;
    }
    std::fill(std::begin(m_text), std::end(m_text), L'\0');
    if (m_backend->getSerialNumberString(m_handle, m_text, kTextChars) < 0)
        print("Unable to read serial number string\n");
    m_text[kTextChars] = L'\0';
    print("Serial Number String: (%d) %ls\n", int(m_text[0]), m_text);
}

void hidProtocol::printIndexedString()
{
    if (!m_handle) {
        print("  open device first\n");
        return;
    }
    std::fill(std::begin(m_text), std::end(m_text), L'\0');
    if (m_backend->getIndexedString(m_handle, 1, m_text, kTextChars) < 0)
        print("Unable to read indexed string 1\n");
    m_text[kTextChars] = L'\0';
    print("Indexed String 1: %ls\n", m_text);
}

void hidProtocol::printDevices()
{
    for (const HidDeviceInfo &d : hidBackend().enumerate(0, 0)) {
        print("Device Found\n  type: %04hx %04hx\n  path: %s\n  serial_number: %ls", d.vendorId, d.productId,
              d.path.c_str(), d.serialNumber.c_str());
        print("\n");
        print("  Manufacturer: %ls\n", d.manufacturer.c_str());
        print("  Product:      %ls\n", d.product.c_str());
        print("  Release:      %hx\n", d.releaseNumber);
        print("  Interface:    %d\n", d.interfaceNumber);
        print("\n");
    }
}

void hidProtocol::setNonBlocking()
{
    if (!m_handle) {
        print("  open device first\n");
        return;
    }
    m_backend->setNonblocking(m_handle, 1);
}

int hidProtocol::sendFeatureReport()
{
    if (!m_handle) {
        print("  open device first\n");
        return -1;
    }
    uint8_t report[17] = {0x02, 0xA0, 0x0A};
    const int result = m_backend->sendFeatureReport(m_handle, report, sizeof report);
    if (result < 0)
        print("Unable to send a feature report.\n");
    return result;
}

int hidProtocol::getFeatureReport()
{
    if (!m_handle) {
        print("  open device first\n");
        return -1;
    }
    uint8_t report[256] = {0x02};
    const int result = m_backend->getFeatureReport(m_handle, report, sizeof report);
    if (result < 0) {
        print("Unable to get a feature report.\n");
        qWarning() << QString::fromStdWString(m_backend->error(m_handle));
        return result;
    }
    print("Feature Report\n   ");
    for (int i = 0; i < result && i < int(sizeof report); ++i)
        print("%02hhx ", report[i]);
    print("\n");
    return result;
}

int hidProtocol::writeRawReport(const uint8_t *data, int length)
{
    if (!m_handle) {
        print("  open device first\n");
        return -1;
    }
    // [id][length][data] must fit the 256-byte frame buffer.
    if (length < 0 || length >= 255) {
        qDebug() << "writeRawReport: data length" << length << "too long for the 255-byte limit";
        return -1;
    }
    m_frame[0] = kReportId;
    m_frame[1] = uint8_t(length);
    std::memcpy(m_frame + 2, data, size_t(length));
    for (int i = 0; i < length + 2; ++i)
        print("%02hhX ", m_frame[i]);
    print("\n");
    const int result = m_backend->write(m_handle, m_frame, size_t(length) + 2);
    if (result < 0) {
        print("L741_Unable to write()\n");
        print("Error: %ls\n", m_backend->error(m_handle).c_str());
    }
    return result;
}

void hidProtocol::dumpBytes(const uint8_t *data, int length)
{
    print("Data len: %d\n", length);
    for (int i = 0; i < length; ++i) {
        print("%02hhX ", data[i]);
        if ((i + 1) % 32 == 0)
            print("\n");
    }
    print("\n");
}

// --- upgrade packets ----------------------------------------------------------

int hidProtocol::writeUpgradePacket(const uint8_t *bytes, int length, int mode)
{
    if (!m_handle) {
        qDebug("open HID device first\n");
        return -1;
    }
    if (length < 0 || size_t(length) > HID_UPGRADE_MAX_VALID_DATA_LENGTH) {
        qDebug() << "writeUpgradePacket: data length" << length << "above HID_UPGRADE_MAX_VALID_DATA_LENGTH"
                 << HID_UPGRADE_MAX_VALID_DATA_LENGTH;
        return -1;
    }
    uint8_t report[kUpgradeReportBytes];
    const size_t reportBytes = buildUpgradeReport(bytes, size_t(length), mode, report);
    if (reportBytes == 0)
        return -1;
    waitEventLoop(1);
    if (mode == kModeCommand)
        drainInput();
    const int result = m_backend->write(m_handle, report, reportBytes);
    if (result < 0) {
        print("L3532_Unable to write(%d)\n", result);
        print("Error: %ls\n", m_backend->error(m_handle).c_str());
    }
    return result;
}

int hidProtocol::sendCommand(std::string_view text, const uint8_t *params, size_t paramCount, int readAfterMs)
{
    const CommandBody body = commandBody(text, params, paramCount);
    uint8_t reply[kReplyBufferBytes] = {};
    if (readAfterMs < 0)
        m_link.storeReply(reply, 0);
    const int written = writeUpgradePacket(body.data(), int(body.size()), kModeCommand);
    if (readAfterMs < 0)
        return written;
    if (written < 0) {
        m_link.storeReply(reply, 0);
        return written;
    }
    if (readAfterMs > 0)
        waitEventLoop(readAfterMs);
    quint16 length = 0;
    // The upgrade confirmation passes on any reply, whatever its text; only the
    // boot loader, which sends nothing of its own, is listening by then.
    const int result = readReport(reply, &length, text != kCmdUpgrade);
    m_link.storeReply(reply, length);
    return result;
}

int hidProtocol::sendRestart() { return sendCommand(kCmdRestart, nullptr, 0, -1); }

int hidProtocol::sendRomCheck() { return sendCommand(kCmdRomCheck, nullptr, 0, 0); }

int hidProtocol::sendVerifyCrc(quint32 crc)
{
    const uint8_t params[10] = {0x01, 0x01, 0x01, 0xAA, 0xBB, 0xCC,
                                uint8_t(crc), uint8_t(crc >> 8), uint8_t(crc >> 16), uint8_t(crc >> 24)};
    return sendCommand(kCmdVerifyCrc, params, sizeof params, 20);
}

int hidProtocol::sendReadVersion() { return sendCommand(kCmdReadVersion, nullptr, 0, 0); }

int hidProtocol::sendReadCommand(quint32 first, quint32 second)
{
    uint8_t params[6];
    put24(params, first);
    put24(params + 3, second);
    print("_3092_Length=0x%X(%d)\n", second, int(second));
    return sendCommand(kCmdRead, params, sizeof params, 20);
}

int hidProtocol::sendCodeSize(quint32 address, quint32 length, int waitMs)
{
    uint8_t params[6];
    put24(params, address);
    put24(params + 3, length);
    print("_3169_Length=0x%X\n", length);
    return sendCommand(kCmdCode, params, sizeof params, std::max(waitMs, 0));
}

int hidProtocol::sendUpgradeConfirm(quint32 length)
{
    uint8_t params[3];
    put24(params, length);
    return sendCommand(kCmdUpgrade, params, sizeof params, 5);
}

int hidProtocol::sendFinish() { return sendCommand(kCmdFinish, nullptr, 0, -1); }

int hidProtocol::sendDasd() { return sendCommand(kCmdDasd, nullptr, 0, 20); }

int hidProtocol::echoReply(size_t from, size_t want)
{
    uint8_t packet[kDataPacketBytes] = {'c', 'm'};
    std::memcpy(packet + 2, m_link.lastReply() + 1, kDataPacketBytes - 2);
    const int written = writeUpgradePacket(packet, int(HID_UPGRADE_MAX_VALID_DATA_LENGTH), kModeData);
    uint8_t reply[kReplyBufferBytes] = {};
    if (written < 0) {
        m_link.storeReply(reply, 0);
        return written;
    }
    waitEventLoop(20);
    uint8_t report[kReplyBufferBytes];
    int result = 0;
    for (int attempt = 1; attempt <= 3; ++attempt) {
        clock().sleepForMs(360);
        std::memset(report, 0, sizeof report);
        result = m_backend->read(m_handle, report, sizeof report);
        if (result > 0)
            break;
        print(result == 0 ? "waiting...\n" : "Unable to read()\n");
        if (result < 0)
            break;
        if (attempt == 3)
            print("time out\n");
    }
    m_link.storeReply(reply, echoBody(report, result, from, want, reply));
    return result;
}

int hidProtocol::echoReply62() { return echoReply(2, 62); }

int hidProtocol::echoReply61() { return echoReply(1, 61); }

// --- parameter blocks, link state machine, command family ----------------------

bool hidProtocol::readAdcParams() { return m_link.readAdcParams(); }
bool hidProtocol::readDacParams() { return m_link.readDacParams(); }
bool hidProtocol::readI2sParams() { return m_link.readI2sParams(); }
bool hidProtocol::readAlgParams() { return m_link.readAlgParams(); }
bool hidProtocol::readSpkEqCount() { return m_link.readSpkEqCount(); }
bool hidProtocol::readMicEqCount() { return m_link.readMicEqCount(); }
bool hidProtocol::readSpkEqParams() { return m_link.readSpkEqParams(); }
bool hidProtocol::readMicEqParams() { return m_link.readMicEqParams(); }
void hidProtocol::printAdcParams() { m_link.printAdcParams(); }
void hidProtocol::printDacParams() { m_link.printDacParams(); }
void hidProtocol::printI2sParams() { m_link.printI2sParams(); }
void hidProtocol::printEqParams() { m_link.printEqParams(); }
void hidProtocol::printAlgParams() { m_link.printAlgParams(); }

void hidProtocol::hidUpdateStatus() { m_link.step(); }

void hidProtocol::run()
{
    m_stop = false;
    os::Clock &c = clock();
    while (!m_stop) {
        print("run %u\n", unsigned(linkState()));
        if (!stateChanged())
            c.waitUntil([this] { return m_stop.load(); }, c.deadlineAfterMs(500));
        else
            hidUpdateStatus();
    }
}

void hidProtocol::requestStop()
{
    m_stop = true;
    clock().wake();
}

int hidProtocol::sndcCommand(size_t row, uint8_t channel, uint32_t value, const uint8_t *record, size_t recordBytes)
{
    return m_link.commandOperation(row, channel, value, record, recordBytes);
}

int hidProtocol::hidTestProtocol()
{
    qDebug("hidProtocol::hidTestProtocol");
    return m_link.commandOperation(0);
}

int hidProtocol::hidActiveDfu()
{
    qDebug("hidProtocol::hidActiveDfu");
    return m_link.commandOperation(1);
}

int hidProtocol::hidShowEqParameter()
{
    qDebug("hidProtocol::hidShowEqParameter");
    return m_link.commandOperation(2);
}
