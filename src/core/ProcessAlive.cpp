#include "core/ProcessAlive.h"

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <cerrno>
#include <csignal>
#include <sys/types.h>
#endif

namespace kestrin {

bool IsProcessAlive(qint64 pid)
{
    if (pid <= 0)
        return false;
#ifdef Q_OS_WIN
    HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!process)
        return GetLastError() == ERROR_ACCESS_DENIED;
    DWORD code = 0;
    const bool running = GetExitCodeProcess(process, &code) && code == STILL_ACTIVE;
    CloseHandle(process);
    return running;
#else
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
#endif
}

bool IsAbandoned(const WorkOwner& holder, const QDateTime& since, const WorkOwner& self, const QDateTime& now,
                 const std::function<bool(qint64)>& isAlive, qint64 staleAfterMs)
{
    if (holder.host == self.host)
        return holder.pid == self.pid || !isAlive(holder.pid);
    return since.msecsTo(now) > staleAfterMs;
}

} // namespace kestrin
