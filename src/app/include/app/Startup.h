#pragma once

#include "config/AppConfig.h"
#include "config/CommandLine.h"
#include "config/StartupProgress.h"

namespace kestrin {

// The first steps of start-up: machine name, command line, the INI file. Throws a
// StartupError when the INI file cannot be read or a value cannot be used.
AppConfig LoadConfiguration(const CommandLine& commandLine, StartupProgress& progress);

} // namespace kestrin
