#include "bridge/AudioRoutingRecords.h"

#include "threading/QtHandoff.h"
#include "platform/windows/routerAudio/AudioRouteConfig.h"
#include "platform/windows/routerAudio/LoopbackCapture.h"

#include <QDebug>
#include <QJSValue>
#include <QMetaObject>
#include <QMutex>
#include <QObject>

#include <cmath>
#include <vector>

namespace {

QMutex s_pendingMutex;
QVariantList s_pendingList; // guarded by s_pendingMutex
bool s_pending = false;     // guarded by s_pendingMutex

// Script objects may arrive still wrapped.
QVariantMap toMap(const QVariant &value)
{
    if (value.metaType() == QMetaType::fromType<QJSValue>())
        return value.value<QJSValue>().toVariant().toMap();
    return value.toMap();
}

bool isNumber(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
    case QMetaType::Char:
    case QMetaType::SChar:
    case QMetaType::UChar:
    case QMetaType::Double:
    case QMetaType::Float:
        return true;
    default:
        return false;
    }
}

std::optional<uint32_t> readSourceId(const QVariant &value)
{
    constexpr double kMaxId = 4294967295.0;
    bool ok = false;
    double number = 0.0;
    if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Int) {
        const qlonglong n = value.toLongLong();
        if (n < 0 || n > static_cast<qlonglong>(kMaxId))
            return std::nullopt;
        return static_cast<uint32_t>(n);
    }
    if (value.typeId() == QMetaType::ULongLong || value.typeId() == QMetaType::UInt) {
        const qulonglong n = value.toULongLong();
        if (n > static_cast<qulonglong>(kMaxId))
            return std::nullopt;
        return static_cast<uint32_t>(n);
    }
    if (value.typeId() == QMetaType::QString)
        number = value.toString().trimmed().toDouble(&ok);
    else if (isNumber(value))
        number = value.toDouble(&ok);
    if (!ok || !std::isfinite(number) || number < 0.0 || number > kMaxId || number != std::floor(number))
        return std::nullopt;
    return static_cast<uint32_t>(number);
}

// A volume that is no finite number would reach the mixer as a gain of
// infinity or NaN: it reads as silence.
float readVolume(const QVariant &value)
{
    const float volume = value.toFloat();
    return std::isfinite(volume) ? volume : 0.0f;
}

void readBus(const QVariantMap &entry, const char *key, BusRouting &bus)
{
    const QString name = QString::fromLatin1(key);
    if (!entry.contains(name))
        return;
    const QVariantMap map = toMap(entry.value(name));
    if (map.contains(QStringLiteral("enabled")))
        bus.enabled = readAudioConfigFlag(map.value(QStringLiteral("enabled")), true) ? 1 : 0;
    if (map.contains(QStringLiteral("volume")))
        bus.volume = readVolume(map.value(QStringLiteral("volume")));
    if (map.contains(QStringLiteral("muted")))
        bus.muted = readAudioConfigFlag(map.value(QStringLiteral("muted")), false) ? 1 : 0;
}

} // namespace

bool readAudioConfigFlag(const QVariant &value, bool fallback)
{
    if (!value.isValid() || value.isNull())
        return fallback;
    if (value.typeId() == QMetaType::Bool)
        return value.toBool();
    if (isNumber(value))
        return value.toDouble() != 0.0; // NaN too
    if (value.typeId() == QMetaType::QString) {
        const QString text = value.toString().trimmed().toLower();
        if (text.isEmpty())
            return false;
        for (const char *word : {"true", "1", "yes", "on"})
            if (text == QLatin1String(word))
                return true;
        for (const char *word : {"false", "0", "no", "off"})
            if (text == QLatin1String(word))
                return false;
        return fallback;
    }
    return value.toBool();
}

std::optional<AudioRouteConfig> parseAudioConfigEntry(const QVariant &entry)
{
    const QVariantMap map = toMap(entry);
    AudioRouteConfig record;
    record.active = 1;
    if (map.contains(QStringLiteral("processID"))) {
        const std::optional<uint32_t> id = readSourceId(map.value(QStringLiteral("processID")));
        if (!id)
            return std::nullopt;
        record.processID = *id;
    }
    if (map.contains(QStringLiteral("solo")))
        record.solo = readAudioConfigFlag(map.value(QStringLiteral("solo")), false) ? 1 : 0;
    readBus(map, "input1", record.input1);
    readBus(map, "input2", record.input2);
    return record;
}

void parseAudioConfigs(const QVariantList &list)
{
    if (!AudioRouterAPI::IsRunning()) {
        QMutexLocker lock(&s_pendingMutex);
        s_pendingList = list;
        s_pending = true;
        return;
    }
    std::vector<AudioRouteConfig> records;
    records.reserve(static_cast<size_t>(list.size()));
    for (const QVariant &entry : list) {
        if (std::optional<AudioRouteConfig> record = parseAudioConfigEntry(entry))
            records.push_back(*record);
        else
            qWarning().noquote() << "SystemBridge::parseAudioConfigs: skipping an entry whose processID is not a source id:"
                                 << toMap(entry).value(QStringLiteral("processID")).toString();
    }
    AudioRouterAPI::UpdateConfigs(records);
}

void applyPendingAudioConfigs()
{
    QVariantList list;
    {
        QMutexLocker lock(&s_pendingMutex);
        if (!s_pending)
            return;
        list.swap(s_pendingList);
        s_pending = false;
    }
    if (!list.isEmpty())
        parseAudioConfigs(list);
}

void setLevelCallback(std::function<void(const QVariantList &)> callback, QObject *context)
{
    if (!callback || !context) {
        AudioRouterAPI::SetLevelCallback({});
        return;
    }
    AudioRouterAPI::SetLevelCallback(
        [context, callback = std::move(callback)](const std::vector<AudioLevelInfo> &report) {
            QVariantList levels;
            levels.reserve(static_cast<qsizetype>(report.size()));
            for (const AudioLevelInfo &info : report)
                levels.append(QVariantMap{{QStringLiteral("processID"), QVariant::fromValue(qulonglong(info.sourceId))},
                                          {QStringLiteral("levelLeft"), QVariant::fromValue(info.left)},
                                          {QStringLiteral("levelRight"), QVariant::fromValue(info.right)}});
            // Queued on the context: a report that arrives once the context
            // is gone is dropped with the context's events.
            postQueued(context, [callback, levels = std::move(levels)] { callback(levels); });
        });
}
