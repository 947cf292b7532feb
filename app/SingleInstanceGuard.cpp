#include "app/SingleInstanceGuard.h"

#include <QDebug>
#include <QDir>
#include <QStandardPaths>

SingleInstanceGuard::SingleInstanceGuard(const QString &key, const QString &folder)
    : m_nativeKey(QDir(folder).filePath(key))
    , m_lock(m_nativeKey + QStringLiteral(".lock"))
{
    QDir().mkpath(folder);
    m_lock.setStaleLockTime(0); // held as long as the copy runs, however long
}

QString SingleInstanceGuard::userFolder()
{
    const QString runtime = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (!runtime.isEmpty())
        return runtime;
    return QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation);
}

std::unique_ptr<QSharedMemory> SingleInstanceGuard::segment() const
{
    auto memory = std::make_unique<QSharedMemory>();
    memory->setNativeKey(m_nativeKey);
    return memory;
}

void SingleInstanceGuard::clearAbandonedSegment()
{
    // System V segments outlive a crashed process and stay attachable, which
    // would look like a running copy forever. Detaching a probe removes the
    // segment only when no live process is attached to it.
    const auto probe = segment();
    if (probe->attach(QSharedMemory::ReadOnly))
        probe->detach();
}

bool SingleInstanceGuard::acquire()
{
    if (!m_lock.tryLock(0)) {
        if (m_lock.error() == QLockFile::LockFailedError) {
            qDebug() << "共享内存已存在，直接退出";
            return false;
        }
        qWarning() << "SingleInstanceGuard: cannot write the lock file" << m_lock.error() << "- running unguarded";
    }
    clearAbandonedSegment();
    m_memory = segment();
    if (m_memory->create(1, QSharedMemory::ReadWrite))
        return true;
    // Under our lock no copy of ours holds it: a segment that answers is
    // abandoned, or another program's under a colliding key.
    const auto stale = segment();
    if (stale->attach(QSharedMemory::ReadWrite))
        stale->detach();
    m_memory = segment();
    if (!m_memory->create(1, QSharedMemory::ReadWrite))
        qDebug() << "SingleInstanceGuard: no segment of our own:" << m_memory->errorString();
    return true;
}

void SingleInstanceGuard::release()
{
    if (m_memory && m_memory->isAttached())
        m_memory->detach();
    m_memory.reset();
    m_lock.unlock();
}
