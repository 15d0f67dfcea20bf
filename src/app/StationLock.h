#pragma once

#include "config/AppConfig.h"
#include "core/ProcessLock.h"

namespace kestrin {

// The lock file of a station: "<ComLogPath><StationId>.kestrin-lock".
QString StationLockFileName(const AppConfig& config);

// One process per station and log folder: a second start of the same station on the same
// configuration would write the same log and run the same cycles twice. Held from start-up
// to the end of the run; a killed process holds it no longer.
class StationLock {
public:
    // Takes the lock, making the log folder where it is missing. Throws a StartupError that
    // names the process holding it.
    explicit StationLock(const AppConfig& config);

private:
    ProcessLock m_lock;
};

} // namespace kestrin
