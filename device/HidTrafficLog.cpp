#include "device/HidTrafficLog.h"

#include <QDateTime>
#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace {

QString timeStamp()
{
    return QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd hh:mm:ss.zzz"));
}

// A full log becomes the previous one (replacing the one before), so the
// traffic of a long session costs at most two files of the cap.
void rollOverIfFull(const QString &path, qint64 lineBytes)
{
    const QFileInfo info(path);
    if (!info.exists() || info.size() + lineBytes <= HidTrafficLog::kMaxFileBytes)
        return;
    const QString previous = path + QStringLiteral(".1");
    QFile::remove(previous);
    if (!QFile::rename(path, previous) && !QFile::remove(path))
        qWarning() << "无法轮换日志文件:" << path;
}

void appendLine(const QString &fileName, const QString &line, const char *openFailure, const char *writeFailure)
{
    const QString dir = HidTrafficLog::folder();
    QDir().mkpath(dir);
    const QByteArray bytes = line.toUtf8();
    rollOverIfFull(QDir(dir).filePath(fileName), bytes.size());
    QFile file(QDir(dir).filePath(fileName));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
        qWarning() << openFailure << file.fileName() << "错误:" << file.errorString();
        return;
    }
    if (file.write(bytes) != bytes.size() || !file.flush() || file.error() != QFileDevice::NoError)
        qWarning() << writeFailure << file.errorString();
    file.close();
}

} // namespace

QString HidTrafficLog::folder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
}

void HidTrafficLog::appendDataLog(const QByteArray &hex, const QString &tag)
{
    const QString line = QStringLiteral("[%1] [%2] %3\n").arg(timeStamp(), tag, QString::fromLatin1(hex));
    appendLine(QStringLiteral("hid_data.log"), line, "无法打开日志文件:", "写入日志文件失败:");
}

void HidTrafficLog::appendAttributeLog(quint16 attID, const QByteArray &payload, const QString &direction)
{
    const QString line = QStringLiteral("[%1] [属性%2] attID:0x%3 数据:%4\n")
                             .arg(timeStamp(), direction,
                                  QStringLiteral("%1").arg(attID, 4, 16, QLatin1Char('0')).toUpper(),
                                  QString::fromLatin1(payload.toHex().toUpper()));
    appendLine(QStringLiteral("hid_attribute.log"), line, "无法打开属性日志文件:", "写入属性日志文件失败:");
}
