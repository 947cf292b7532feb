#pragma once

#include <QByteArray>
#include <QString>

// The two plain-text traffic logs in the application data folder:
// "hid_data.log" (one line per HID report) and "hid_attribute.log" (one line
// per attribute or private message). Opened, appended and closed per line;
// a line that cannot be written is dropped with a warning. A log that would
// pass kMaxFileBytes is renamed to "<name>.1" (the one before is dropped).
class HidTrafficLog
{
public:
    static constexpr qint64 kMaxFileBytes = 8 * 1024 * 1024;

    static QString folder();
    // hex: the report bytes already in upper-case hex; tag "TX" or "RX".
    static void appendDataLog(const QByteArray &hex, const QString &tag);
    // direction "发送" or "接收"; attID is shown as four hex digits.
    static void appendAttributeLog(quint16 attID, const QByteArray &payload, const QString &direction);
};
