#include "app/Main.h"

#include "core/CommandLine.h"
#include "core/Configuration.h"
#include "core/IniLocation.h"
#include "core/StartupChecks.h"
#include "core/StartupError.h"
#include "mainwindow/SplashWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QSysInfo>
#include <QTextStream>

#include <memory>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitStartupFailed = 2;

QTextStream& out()
{
    static QTextStream stream(stdout);
    return stream;
}

QTextStream& err()
{
    static QTextStream stream(stderr);
    return stream;
}

int failStartup(const QString& message, bool windows)
{
    err() << "kestrin: " << message << Qt::endl;
    if (windows)
        QMessageBox::critical(nullptr, u"Kestrin"_s, message);
    return kExitStartupFailed;
}

// Steps up to the INI file: machine name, command line, start-up window, configuration.
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
    if (!commandLine.run.IniPath.isEmpty() && !QFileInfo::exists(commandLine.run.IniPath))
        throw StartupError(u"The INI file %1 given by /ini does not exist."_s.arg(commandLine.run.IniPath));
    const QString iniPath = commandLine.run.IniPath.isEmpty() ? LocateIniFile()
                                                              : QFileInfo(commandLine.run.IniPath).absoluteFilePath();
    progress.yield();
    progress.showStatus(u"Loading ini ... "_s);
    static_cast<IniSettings&>(config) = ReadConfiguration(iniPath);
    config.IniFilePath = iniPath;
    if (const QStringList problems = StartupProblems(config); !problems.isEmpty())
        throw StartupError(problems.join(u'\n'));
    return config;
}

int RunCheck(const CommandLine& commandLine)
{
    SilentProgress progress;
    AppConfig config;
    QStringList problems;
    try {
        config = LoadConfiguration(commandLine, progress);
    } catch (const StartupError& e) {
        return failStartup(e.message(), false);
    }
    for (const QString& line : DescribeConfiguration(config))
        out() << line << '\n';
    out().flush();
    return kExitOk;
}

int NotYetAvailable(const QString& what)
{
    err() << "kestrin: " << what << " is not available in this version yet." << Qt::endl;
    return kExitStartupFailed;
}

int RunWithWindows(const CommandLine& commandLine)
{
    auto splash = std::make_unique<SplashWindow>();
    splash->show();
    try {
        const AppConfig config = LoadConfiguration(commandLine, *splash);
        splash->setTitle(config.StationId + u" - Communication loading ... "_s);
        splash->finish();
    } catch (const StartupError& e) {
        splash->hide();
        return failStartup(e.message(), true);
    }
    return kExitOk;
}

} // namespace

int Main(int argc, char* argv[])
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = ParseCommandLine(arguments);
    if (commandLine.run.Help) {
        out() << CommandLineHelp();
        out().flush();
        return kExitOk;
    }
    if (!commandLine.errors.isEmpty())
        return failStartup(commandLine.errors.join(u'\n'), false);

    if (!commandLine.run.showsWindows()) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(u"Kestrin"_s);
        if (commandLine.run.Check)
            return RunCheck(commandLine);
        if (commandLine.run.InitDb)
            return NotYetAvailable(u"/initdb"_s);
        if (commandLine.run.Cycle != CycleChoice::None)
            return NotYetAvailable(u"/cycle"_s);
        return NotYetAvailable(u"/headless"_s);
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Kestrin"_s);
    return RunWithWindows(commandLine);
}

} // namespace kestrin
