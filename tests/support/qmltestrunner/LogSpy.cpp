#include "LogSpy.h"

#include <QMutexLocker>

LogSpy *LogSpy::instance()
{
    static LogSpy spy;
    return &spy;
}

void LogSpy::start()
{
    const QtMessageHandler previous = qInstallMessageHandler(&LogSpy::handle);
    QMutexLocker lock(&m_mutex);
    if (previous != &LogSpy::handle)
        m_next = previous;
    m_messages.clear();
}

void LogSpy::clear()
{
    QMutexLocker lock(&m_mutex);
    m_messages.clear();
}

int LogSpy::count(const QString &text) const
{
    QMutexLocker lock(&m_mutex);
    int found = 0;
    for (const QString &message : m_messages) {
        if (message.contains(text))
            ++found;
    }
    return found;
}

QStringList LogSpy::messages() const
{
    QMutexLocker lock(&m_mutex);
    return m_messages;
}

void LogSpy::handle(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    // The offscreen platform says this for every frame of a window fade.
    if (message == QLatin1String("This plugin does not support setting window opacity"))
        return;
    LogSpy *spy = instance();
    QtMessageHandler next = nullptr;
    {
        QMutexLocker lock(&spy->m_mutex);
        spy->m_messages.append(message);
        next = spy->m_next;
    }
    if (next)
        next(type, context, message);
}
