#include "app/SingleInstanceGuard.h"

#include <QDebug>
#include <QDir>
#include <QStandardPaths>

SingleInstanceGuard::SingleInstanceGuard(const QString &key, const QString &folder)
    : m_nativeKey(QDir(folder).filePath(key))
{
    QDir().mkpath(folder);
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
    clearAbandonedSegment();
    m_memory = segment();
    if (m_memory->create(1, QSharedMemory::ReadWrite))
        return true;
    if (m_memory->error() != QSharedMemory::AlreadyExists)
        return true; // run without a working guard rather than not at all
    const auto owner = segment();
    if (owner->attach(QSharedMemory::ReadWrite)) {
        qDebug() << "共享内存已存在，直接退出";
        owner->detach();
        m_memory.reset();
        return false;
    }
    const auto stale = segment();
    if (stale->attach(QSharedMemory::ReadWrite))
        stale->detach();
    m_memory = segment();
    return m_memory->create(1, QSharedMemory::ReadWrite);
}

void SingleInstanceGuard::release()
{
    if (m_memory && m_memory->isAttached())
        m_memory->detach();
}
