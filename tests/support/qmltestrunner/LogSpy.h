#pragma once

#include <QMutex>
#include <QObject>
#include <QStringList>

// Keeps every log message of the test process for QML tests to read. Started
// from initTestCase, after QtTest has installed its own handler, and hands
// every message on to it, so ignoreMessage and warning failures still work.
class LogSpy : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QStringList messages READ messages)
public:
    static LogSpy *instance();

    // Installs the spy in front of the current handler (once) and forgets
    // what was kept before.
    Q_INVOKABLE void start();
    Q_INVOKABLE void clear();
    // Messages that contain text.
    Q_INVOKABLE int count(const QString &text) const;
    QStringList messages() const;

private:
    static void handle(QtMsgType type, const QMessageLogContext &context, const QString &message);

    mutable QMutex m_mutex;
    QStringList m_messages; // guarded by m_mutex: messages come from any thread
    QtMessageHandler m_next = nullptr;
};
