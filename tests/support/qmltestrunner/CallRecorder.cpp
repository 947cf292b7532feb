#include "CallRecorder.h"

#include <QVariantMap>

QVariantList CallRecorder::callsTo(const QString &method) const
{
    QVariantList result;
    for (const QVariant &call : m_calls) {
        const QVariantMap entry = call.toMap();
        if (entry.value(QStringLiteral("method")).toString() == method)
            result.append(QVariant(entry.value(QStringLiteral("args")).toList()));
    }
    return result;
}

void CallRecorder::reset()
{
    m_calls.clear();
    emit callsChanged();
}

QVariantList CallRecorder::bytesToList(const QByteArray &bytes)
{
    QVariantList list;
    list.reserve(bytes.size());
    for (char byte : bytes)
        list.append(int(static_cast<unsigned char>(byte)));
    return list;
}

void CallRecorder::record(const QString &method, const QVariantList &args)
{
    m_calls.append(QVariantMap{{QStringLiteral("method"), method}, {QStringLiteral("args"), args}});
    emit callsChanged();
}
