#include "app/Startup.h"

#include "FixedTexts.h"
#include "config/Configuration.h"
#include "config/IniLocation.h"
#include "config/StartupChecks.h"
#include "core/Error.h"
#include "hl7export/ExportCycle.h"
#include "hl7import/ImportCycle.h"

#include <QFileInfo>
#include <QSysInfo>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

AppConfig startValues(const CommandLine& commandLine)
{
    AppConfig config;
    config.ComputerName = QSysInfo::machineHostName();
    static_cast<CommandLineSettings&>(config) = commandLine.settings;
    // Leaders and extensions fall back to empty text unless the INI file sets them.
    config.ImportExtension.clear();
    config.ExportExtension.clear();
    config.ImportLeader.clear();
    config.ExportLeader.clear();
    return config;
}

QString iniFile(const CommandLine& commandLine, StartupProgress& progress)
{
    QString iniPath = commandLine.run.IniPath;
    if (iniPath.isEmpty()) {
        iniPath = LocateIniFile();
    } else if (!QFileInfo::exists(iniPath)) {
        throw ConfigurationError(u"The INI file %1 given by /ini does not exist."_s.arg(iniPath));
    }
    iniPath = QFileInfo(iniPath).absoluteFilePath();
    progress.yield();
    progress.showStatus(apptexts::kLoadingIniStep.toString());
    return iniPath;
}

} // namespace

AppConfig LoadConfiguration(const CommandLine& commandLine, StartupProgress& progress)
{
    AppConfig config = startValues(commandLine);
    const QString iniPath = iniFile(commandLine, progress);
    static_cast<IniSettings&>(config) = ReadConfiguration(iniPath, &config.IniWarnings);
    config.IniFilePath = iniPath;
    return config;
}

CheckedConfiguration LoadConfigurationAsWritten(const CommandLine& commandLine, StartupProgress& progress)
{
    CheckedConfiguration checked{startValues(commandLine), {}, {}};
    const QString iniPath = iniFile(commandLine, progress);
    ParsedConfiguration parsed = ReadConfigurationFile(iniPath);
    static_cast<IniSettings&>(checked.config) = std::move(parsed.settings);
    checked.config.IniFilePath = iniPath;
    for (const SettingError& error : parsed.errors)
        checked.problems << ProblemText(error);
    checked.warnings = std::move(parsed.warnings);
    return checked;
}

int FailStartup(const QString& message, int status)
{
    QTextStream(stderr) << "kestrin: " << message << Qt::endl;
    return status;
}

int StartupExitStatus(const std::exception& e)
{
    return dynamic_cast<const ConfigurationError*>(&e) ? kExitConfiguration : kExitStartupFailed;
}

void RefuseStartupProblems(const AppConfig& config)
{
    if (const QStringList problems = StartupProblems(config); !problems.isEmpty())
        throw ConfigurationError(problems.join(u'\n'));
}

CycleEntries StandardCycles()
{
    auto importState = std::make_shared<ImportState>();
    auto exportState = std::make_shared<ExportState>();
    return {[importState](Context& ctx) { return RunImportCycle(ctx, *importState); },
            [exportState](Context& ctx) { return ExportPendingResults(ctx, *exportState); }};
}

} // namespace kestrin
