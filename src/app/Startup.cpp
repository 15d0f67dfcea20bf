#include "app/Startup.h"

#include "config/Configuration.h"
#include "config/IniLocation.h"
#include "core/Error.h"

#include <QFileInfo>
#include <QSysInfo>

using namespace Qt::StringLiterals;

namespace kestrin {

AppConfig LoadConfiguration(const CommandLine& commandLine, StartupProgress& progress)
{
    AppConfig config;
    config.ComputerName = QSysInfo::machineHostName();
    static_cast<CommandLineSettings&>(config) = commandLine.settings;
    // Leaders and extensions fall back to empty text unless the INI file sets them.
    config.ImportExtension.clear();
    config.ExportExtension.clear();
    config.ImportLeader.clear();
    config.ExportLeader.clear();

    QString iniPath = commandLine.run.IniPath;
    if (iniPath.isEmpty()) {
        iniPath = LocateIniFile();
    } else if (!QFileInfo::exists(iniPath)) {
        throw ConfigurationError(u"The INI file %1 given by /ini does not exist."_s.arg(iniPath));
    }
    iniPath = QFileInfo(iniPath).absoluteFilePath();
    progress.yield();
    progress.showStatus(u"Loading ini ... "_s);
    static_cast<IniSettings&>(config) = ReadConfiguration(iniPath);
    config.IniFilePath = iniPath;
    return config;
}

} // namespace kestrin
