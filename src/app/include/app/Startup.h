#pragma once

#include "config/AppConfig.h"
#include "config/CommandLine.h"
#include "config/StartupProgress.h"
#include "service/Service.h"

#include <exception>

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

// The exit statuses of a start.
inline constexpr int kExitOk = 0;
inline constexpr int kExitStartupFailed = 2;
inline constexpr int kExitConfiguration = 78; // sysexits' EX_CONFIG: a restart will not mend it

// Says why start-up failed on stderr; returns `status`.
int FailStartup(const QString& message, int status = kExitStartupFailed);
// The exit status a start-up error calls for: 78 for a configuration that cannot work, else 2.
int StartupExitStatus(const std::exception& e);

// Throws a ConfigurationError naming every value a start refuses.
void RefuseStartupProblems(const AppConfig& config);

// The cycles the timers and "/cycle" run; the import keeps what it knows from cycle to cycle.
CycleEntries StandardCycles();

} // namespace kestrin
