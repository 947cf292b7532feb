#pragma once

// The boot-loader link: one HID handle of its own, apart from HIDDevice,
// speaking the boot loader's command reports and reading its replies. One
// process-wide instance, built on first use so that it takes whatever HID
// backend the emulated mode or a test installed. One thread at a time may
// use it (an upgrade worker, or whoever steps the link).
//
// Every pause goes through an injectable os::Clock. Formatted lines go to
// standard output (or a test's print sink), the rest to Qt's debug log.

#include "device/bootloader/bootloader_codec.h"
#include "device/bootloader/sndc_link.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstddef>
#include <cstdint>

class HidBackend;
class HidHandle;
namespace os {
class Clock;
}

class hidProtocol : public QObject, private bootloader::SndcIo
{
    Q_OBJECT

public:
    static constexpr int kReadAttempts = 10;
    static constexpr int kTextChars = 255;

    static hidProtocol *instance();

    // nullptr restores real time.
    void setClock(os::Clock *clock);
    os::Clock &clock() const;

    // --- link ---
    bool openDevice(quint16 vendorId, quint16 productId, const wchar_t *serialNumber = nullptr);
    void closeDevice();
    bool isOpen() const override;
    quint32 linkState() const;
    void setLinkState(quint32 state);
    bool stateChanged() const;
    // Returns the hid_write result, -1 when closed or the payload is above
    // 248 bytes.
    int sendSndcFrame(const uint8_t *payload, quint16 length) override;
    // body: 256 bytes. Returns the read result; length is the body length.
    int readSndcReport(uint8_t *body, quint16 *length) override;
    void waitEventLoop(int ms);

    // --- parameter blocks (results in link()) ---
    bool readAdcParams();
    bool readDacParams();
    bool readI2sParams();
    bool readAlgParams();
    bool readSpkEqCount();
    bool readMicEqCount();
    bool readSpkEqParams();
    bool readMicEqParams();
    void printAdcParams();
    void printDacParams();
    void printI2sParams();
    void printEqParams();
    void printAlgParams();

    // --- link state machine ---
    // Steps the machine until requestStop(): a step while the state changed,
    // a 500 ms pause otherwise.
    void run();
    void requestStop();

    // --- command family: row of the command table and its arguments ---
    int sndcCommand(size_t row, uint8_t channel = 0, uint32_t value = 0, const uint8_t *record = nullptr,
                    size_t recordBytes = 0);
    int hidTestProtocol();
    int hidActiveDfu();
    int hidShowEqParameter();

    // Shared results of the reads, the machine and its command templates.
    bootloader::SndcLink &link() { return m_link; }

    // --- device strings, feature and raw reports (log only) ---
    void printManufacturer();
    void printProduct();
    void printSerialNumber();
    void printIndexedString();
    void printDevices();
    void setNonBlocking();
    int sendFeatureReport();
    int getFeatureReport();
    int writeRawReport(const uint8_t *data, int length);
    static void dumpBytes(const uint8_t *data, int length);

    // --- upgrade packets ---
    int writeUpgradePacket(const uint8_t *bytes, int length, int mode);
    int sendRestart();
    int sendRomCheck();
    int sendVerifyCrc(quint32 crc);
    int sendReadVersion();
    int sendReadCommand(quint32 first, quint32 second);
    int sendCodeSize(quint32 address, quint32 length, int waitMs);
    int sendUpgradeConfirm(quint32 length);
    int sendFinish();
    int sendDasd();
    int echoReply62();
    int echoReply61();

    // The last reply of a command (256 bytes) and its length.
    const uint8_t *lastReply() const { return m_link.lastReply(); }
    int lastReplyCount() const { return m_link.lastReplyCount(); }

public slots:
    // One step of the link state machine.
    void hidUpdateStatus();

signals:
    void sigDisplay_HID_send(int);
    void StatusChage(QString);
    void signal_afterHidRead();

private:
    hidProtocol();

    // Mode 1 command; with readAfterMs >= 0 the reply is read after that wait.
    int sendCommand(std::string_view text, const uint8_t *params, size_t paramCount, int readAfterMs);
    int echoReply(size_t from, size_t want);
    // Throws away input queued on the handle, so a late or repeated reply never
    // answers the next command.
    void drainInput();
    // readSndcReport's loop; with commandReplyOnly, reports that answer no
    // command are passed over (at most kMaxPassedOver of them).
    int readReport(uint8_t *body, quint16 *length, bool commandReplyOnly);
    static constexpr int kMaxPassedOver = 64;
    using StringGetter = int (HidBackend::*)(HidHandle *, wchar_t *, size_t);
    void printString(StringGetter getter, const char *format, const char *failure);

    quint16 m_vendorId = 0;
    quint16 m_productId = 0;
    uint8_t m_hidReady = 0;
    uint8_t m_frame[256] = {};
    HidBackend *m_backend = nullptr; // the backend that opened m_handle
    HidHandle *m_handle = nullptr;
    wchar_t m_text[kTextChars + 1] = {};
    os::Clock *m_clock = nullptr;
    std::atomic<bool> m_stop{false}; // set by requestStop from any thread, read by run

    // Link state, shared reply, parameter blocks and command templates.
    bootloader::SndcLink m_link{*this};
};
