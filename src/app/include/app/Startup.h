#pragma once

#include "config/AppConfig.h"
#include "config/CommandLine.h"
#include "config/StartupProgress.h"

namespace kestrin {

// The first steps of start-up: machine name, command line, the INI file. Throws a
// ConfigurationError when the INI file cannot be read or holds values that cannot be used
// (naming every one).
AppConfig LoadConfiguration(const CommandLine& commandLine, StartupProgress& progress);

// The configuration as the INI file has it, with what a start would refuse in it.
struct CheckedConfiguration {
    AppConfig config;
    QStringList problems; // values that cannot be used; their fields keep their start values
    QStringList warnings; // lines read otherwise than they may have been meant
};

// The same steps for "/check": throws only when the INI file itself cannot be read.
CheckedConfiguration LoadConfigurationAsWritten(const CommandLine& commandLine, StartupProgress& progress);

} // namespace kestrin
