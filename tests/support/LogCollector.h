#pragma once
// Collects the Qt log of every thread: from its construction to its end it
// is the message handler, then it gives the previous one back. One at a
// time; tests fixtures derive from it to read their lines directly.

#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QtGlobal>

struct LogLine {
    QtMsgType type;
    QString text;
};

class LogCollector
{
public:
    LogCollector()
    {
        clearLines();
        m_previous = qInstallMessageHandler(collect);
    }
    ~LogCollector() { qInstallMessageHandler(m_previous); }
    LogCollector(const LogCollector &) = delete;
    LogCollector &operator=(const LogCollector &) = delete;

    // A copy of its own, made under the lock: a copy sharing its elements
    // would copy them later, racing the collecting threads.
    static QList<LogLine> lines()
    {
        QMutexLocker lock(&s_mutex);
        QList<LogLine> copy = s_lines;
        copy.detach();
        return copy;
    }
    // The texts of the lines of one type; of every line when type is -1.
    static QStringList texts(int type = -1)
    {
        QStringList out;
        for (const LogLine &line : lines())
            if (type < 0 || line.type == type)
                out.append(line.text);
        return out;
    }
    // Index of the first line at or after `from` that contains the text
    // (and has the type, when given); -1 when none.
    static int find(const QString &text, int from = 0, int type = -1)
    {
        const QList<LogLine> all = lines();
        for (int i = from; i < all.size(); ++i)
            if (all[i].text.contains(text) && (type < 0 || all[i].type == type))
                return i;
        return -1;
    }
    // Lines that contain the text.
    static int count(const QString &text) { return int(texts().filter(text).size()); }
    static void clearLines()
    {
        QMutexLocker lock(&s_mutex);
        s_lines.clear();
    }

private:
    static void collect(QtMsgType type, const QMessageLogContext &, const QString &text)
    {
        QMutexLocker lock(&s_mutex);
        s_lines.append({type, text});
    }

    QtMessageHandler m_previous = nullptr;
    static inline QMutex s_mutex;
    static inline QList<LogLine> s_lines; // guarded by s_mutex: lines come from any thread
};
