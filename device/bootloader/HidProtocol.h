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

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

class HidBackend;
class HidHandle;
namespace os {
class Clock;
}

class hidProtocol : public QObject
{
    Q_OBJECT

public:
    enum LinkState : quint32 {
        stateClosed,
        stateAttached,
        stateOpened,
        stateLinking,
        stateReadDSVersion,
        stateReadDevVersion,
        stateLinked,
        stateReadID,
        stateKeepLinked,
        stateStartGetPara,
        stateReadAdcParam,
        stateReadDacParam,
        stateReadI2sParam,
        stateGetSpkEqNums,
        stateReadSpkEqParam,
        stateGetMicEqNums,
        stateReadMicEqParam,
        stateReadAlgParam,
        stateEndGetParam,
        stateFinishedOK,
        stateFinishedFail,
        stateIdle,
        stateBusy,
    };
    static constexpr int kReadAttempts = 10;
    static constexpr int kTextChars = 255;

    static hidProtocol *instance();

    // Where the formatted lines go; an empty sink restores standard output.
    using PrintSink = std::function<void(const std::string &text)>;
    static void setPrintSink(PrintSink sink);
    static void print(const char *format, ...) __attribute__((format(printf, 1, 2)));

    // nullptr restores real time.
    void setClock(os::Clock *clock);
    os::Clock &clock() const;

    // --- link ---
    bool openDevice(quint16 vendorId, quint16 productId, const wchar_t *serialNumber = nullptr);
    void closeDevice();
    bool isOpen() const;
    quint32 linkState() const;
    void setLinkState(quint32 state);
    bool stateChanged() const;
    // body: 256 bytes. Returns the read result; length is the body length.
    int readSndcReport(uint8_t *body, quint16 *length);
    void waitEventLoop(int ms);

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
    const uint8_t *lastReply() const { return m_reply; }
    int lastReplyCount() const { return m_replyCount; }

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
    using StringGetter = int (HidBackend::*)(HidHandle *, wchar_t *, size_t);
    void printString(StringGetter getter, const char *format, const char *failure);
    void storeReply(const uint8_t *body, int count);

    quint16 m_vendorId = 0;
    quint16 m_productId = 0;
    uint8_t m_hidReady = 0;
    uint8_t m_frame[256] = {};
    HidBackend *m_backend = nullptr; // the backend that opened m_handle
    HidHandle *m_handle = nullptr;
    wchar_t m_text[kTextChars + 1] = {};
    std::atomic<quint32> m_linkState{0};
    std::atomic<uint8_t> m_stateChanged{0};
    os::Clock *m_clock = nullptr;

    uint8_t m_reply[bootloader::kReplyBufferBytes] = {};
    int m_replyCount = 0;
};
