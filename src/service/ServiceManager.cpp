#include "service/ServiceManager.h"

// libsystemd on Linux; elsewhere no service manager listens.
#ifdef KESTRIN_SYSTEMD
#include <systemd/sd-daemon.h>
#endif

namespace kestrin {

#ifdef KESTRIN_SYSTEMD
void NotifyServiceManager(const QString& lines)
{
    // The manager has no answer that would change the run: a message it did not take is lost.
    sd_notify(0, lines.toUtf8().constData());
}

std::chrono::microseconds ServiceManagerWatchdog()
{
    uint64_t usec = 0;
    // Also zero when WATCHDOG_PID names another process: the variables were inherited.
    return sd_watchdog_enabled(0, &usec) > 0 ? std::chrono::microseconds(usec) : std::chrono::microseconds(0);
}
#else
void NotifyServiceManager(const QString&) { }

std::chrono::microseconds ServiceManagerWatchdog() { return std::chrono::microseconds(0); }
#endif

} // namespace kestrin
