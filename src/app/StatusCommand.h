#pragma once

#include "app/HealthReport.h"
#include "config/AppConfig.h"

#include <QTextStream>

namespace kestrin {

// "/status": prints the station's health as short lines. Returns the exit status: 0 healthy,
// 1 something needs attention.
int RunStatus(const AppConfig& config, QTextStream& out);

} // namespace kestrin
