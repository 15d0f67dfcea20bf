#include "PeakMemory.h"

#ifdef Q_OS_WIN
#include <psapi.h>
#include <windows.h>
#else
#include <sys/resource.h>
#endif

namespace kestrin::bench {

qint64 PeakMemoryBytes()
{
#ifdef Q_OS_WIN
    PROCESS_MEMORY_COUNTERS counters{};
    if (GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof(counters)))
        return qint64(counters.PeakWorkingSetSize);
    return 0;
#else
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
#ifdef Q_OS_MACOS
    return qint64(usage.ru_maxrss);
#else
    return qint64(usage.ru_maxrss) * 1024;
#endif
#endif
}

} // namespace kestrin::bench
