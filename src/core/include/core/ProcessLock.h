#pragma once

#include <QString>

#include <memory>
#include <optional>

namespace kestrin {

// Whom a lock file names: a process of a machine.
struct LockHolder {
    qint64 pid = 0;
    QString program;
    QString host;
};

// A lock file held by this process for as long as it lives. The operating system lets go of
// it when the process ends, however it ends, so a killed holder leaves nothing to clear away
// and a process id that another program uses later never reads as the holder.
class ProcessLock {
public:
    enum class Outcome { Taken, Held, Unwritable };

    explicit ProcessLock(const QString& path);
    ~ProcessLock();
    ProcessLock(const ProcessLock&) = delete;
    ProcessLock& operator=(const ProcessLock&) = delete;

    // Takes the lock without waiting and writes this process into it.
    Outcome tryLock();
    const QString& path() const { return m_path; }
    // Why the lock could not be taken (Unwritable).
    const QString& errorString() const { return m_error; }

private:
    struct Handle;
    QString m_path;
    QString m_error;
    std::unique_ptr<Handle> m_handle;
};

// Whom the lock file names; nothing when it cannot be read or names nobody.
std::optional<LockHolder> ReadLockHolder(const QString& path);

// Whether a running process holds the lock file.
bool IsLockHeld(const QString& path);

} // namespace kestrin
