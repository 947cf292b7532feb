#pragma once

#include <QSharedMemory>

// One-byte shared-memory segment whose existence marks a running copy.
class SingleInstanceGuard
{
public:
    static constexpr const char *kKey = "Veloran_Deck_SingleInstance";

    explicit SingleInstanceGuard(const QString &key = QString::fromLatin1(kKey));

    // False when another copy runs, or a left-over segment cannot be re-created.
    bool acquire();
    void release();
    bool isAttached() const { return m_memory.isAttached(); }

private:
    void clearAbandonedSegment();

    QSharedMemory m_memory;
};
