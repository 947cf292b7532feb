#include "app/SingleInstanceGuard.h"

#include <QDebug>

SingleInstanceGuard::SingleInstanceGuard(const QString &key)
    : m_memory(key)
{
}

void SingleInstanceGuard::clearAbandonedSegment()
{
    // System V segments outlive a crashed process and stay attachable, which
    // would look like a running copy forever. Detaching a probe removes the
    // segment only when no live process is attached to it.
    QSharedMemory probe(m_memory.key());
    if (probe.attach(QSharedMemory::ReadOnly))
        probe.detach();
}

bool SingleInstanceGuard::acquire()
{
    clearAbandonedSegment();
    if (m_memory.create(1, QSharedMemory::ReadWrite))
        return true;
    if (m_memory.error() != QSharedMemory::AlreadyExists)
        return true; // run without a working guard rather than not at all
    if (m_memory.attach(QSharedMemory::ReadWrite)) {
        qDebug() << "共享内存已存在，直接退出";
        m_memory.detach();
        return false;
    }
    if (m_memory.attach(QSharedMemory::ReadWrite))
        m_memory.detach();
    return m_memory.create(1, QSharedMemory::ReadWrite);
}

void SingleInstanceGuard::release()
{
    if (m_memory.isAttached())
        m_memory.detach();
}
