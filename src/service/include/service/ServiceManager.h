#pragma once

#include <QString>

#include <chrono>

namespace kestrin {

// What the service manager hears of a run that a unit of Type=notify started: lines such as
// "READY=1", "STATUS=...", "STOPPING=1" and "WATCHDOG=1", one message at a time. Nothing
// happens where no manager listens (no NOTIFY_SOCKET: a terminal, a window) and on Windows.
void NotifyServiceManager(const QString& lines);

// How long the unit's watchdog (WatchdogSec=) waits for a "WATCHDOG=1" from this process;
// zero when none watches it.
std::chrono::microseconds ServiceManagerWatchdog();

} // namespace kestrin
