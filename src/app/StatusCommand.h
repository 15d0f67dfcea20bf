#pragma once

#include "app/HealthReport.h"
#include "config/AppConfig.h"

#include <QTextStream>

namespace kestrin {

// Looks at a station as another process may: its lock and cycle record, its import and error
// folders, its database and the result queue. Reads only: no log, no folder, no lock is made.
HealthReport GatherHealth(const AppConfig& config, const QDateTime& now);

// "/status": prints the station's health as short lines. Returns the exit status: 0 healthy,
// 1 something needs attention.
int RunStatus(const AppConfig& config, QTextStream& out);

} // namespace kestrin
