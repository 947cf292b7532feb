#pragma once

#include <QLockFile>
#include <QSharedMemory>
#include <QString>

#include <memory>

// One-byte shared-memory segment whose existence marks a running copy. A
// System V segment is found through ftok(), which keeps only 16 bits of the key
// file's inode: another program's segment can answer to our key. So whether a
// copy runs is decided by a lock file beside the key, which names exactly one
// path and is taken back from a copy that died; the segment only follows it.
class SingleInstanceGuard
{
public:
    static constexpr const char *kKey = "Veloran_Deck_SingleInstance";

    // The segment is found through a file named after the key in the user's
    // own folder (runtime, else configuration), so that every copy of one
    // user meets the same segment whatever TMPDIR says.
    explicit SingleInstanceGuard(const QString &key = QString::fromLatin1(kKey),
                                 const QString &folder = userFolder());

    static QString userFolder();

    // False when another copy runs, or a left-over segment cannot be re-created.
    bool acquire();
    void release();
    bool isAttached() const { return m_lock.isLocked() || (m_memory && m_memory->isAttached()); }
    QString nativeKey() const { return m_nativeKey; }

private:
    // A segment object under a native key takes one create or attach only:
    // after a failed one it refuses every further call, so each step gets
    // its own object.
    std::unique_ptr<QSharedMemory> segment() const;
    void clearAbandonedSegment();

    QString m_nativeKey;
    QLockFile m_lock;
    std::unique_ptr<QSharedMemory> m_memory;
};
