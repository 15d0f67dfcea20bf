#include "app/Main.h"

#include "StatusCommand.h"
#include "app/CheckCommand.h"
#include "app/Program.h"
#include "app/Startup.h"
#include "config/CommandLine.h"
#include "config/StartupChecks.h"
#include "core/Clock.h"
#include "core/Error.h"
#include "core/Translations.h"
#include "hl7export/ExportCycle.h"
#include "hl7import/ImportCycle.h"
#include "labdb/Connection.h"
#include "labdb/DbError.h"
#include "labdb/Schema.h"
#include "mainwindow/SplashWindow.h"

#include <QApplication>
#include <QFile>
#include <QFileInfo>
#include <QMessageBox>
#include <QTextStream>

#include <memory>
#include <optional>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

constexpr int kExitOk = 0;
constexpr int kExitStartupFailed = 2;
constexpr int kExitConfiguration = 78; // sysexits' EX_CONFIG: a restart will not mend it

int failStartup(const QString& message, bool windows, int status = kExitStartupFailed)
{
    QTextStream(stderr) << "kestrin: " << message << Qt::endl;
    // The box leads with a sentence in the captions' language once the INI file has named it;
    // the cause stays as the log and stderr have it.
    if (windows)
        QMessageBox::critical(nullptr, u"Kestrin"_s,
                              QCoreApplication::translate("Main", "Kestrin cannot start.") + u"\n\n"_s + message);
    return status;
}

int failStartup(const std::exception& e, bool windows)
{
    const bool configuration = dynamic_cast<const ConfigurationError*>(&e) != nullptr;
    return failStartup(ErrorText(e), windows, configuration ? kExitConfiguration : kExitStartupFailed);
}

// Without a display Qt's windowing connection fails and ends the process with an abort.
bool DisplayMissing(int argc, char* argv[])
{
#if defined(Q_OS_UNIX) && !defined(Q_OS_MACOS) && !defined(Q_OS_ANDROID)
    QString platform = qEnvironmentVariable("QT_QPA_PLATFORM");
    for (int i = 1; i + 1 < argc; ++i) {
        if (qstrcmp(argv[i], "-platform") == 0)
            platform = QString::fromLocal8Bit(argv[i + 1]);
    }
    if (!platform.isEmpty() && !platform.startsWith(u"xcb") && !platform.startsWith(u"wayland"))
        return false;
    return qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
#else
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    return false;
#endif
}

void refuseProblems(const AppConfig& config)
{
    if (const QStringList problems = StartupProblems(config); !problems.isEmpty())
        throw ConfigurationError(problems.join(u'\n'));
}

int RunInitDb(const AppConfig& config)
{
    const ConnectionSettings settings = ConnectionSettingsOf(config);
    const bool newFile = IsNewEmbeddedDatabase(settings);
    const auto db = ConnectDatabase(settings, MissingDatabase::Created);
    // Patients' data: not for every user of the machine; the group's stations write it too.
    if (newFile)
        QFile::setPermissions(settings.database,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup |
                                  QFileDevice::WriteGroup);
    const QStringList created = newFile ? LabTableNames() : CreateMissingTables(*db);
    QTextStream out(stdout);
    if (created.isEmpty())
        out << "Every table and index exists in " << db->description() << "; nothing was changed." << Qt::endl;
    else
        out << "Created in " << db->description() << ": " << created.join(u", ") << Qt::endl;
    return kExitOk;
}

// The cycles the timers and "/cycle" run; the import keeps what it knows from cycle to cycle.
CycleEntries Cycles()
{
    auto importState = std::make_shared<ImportState>();
    return {[importState](Context& ctx) { return RunImportCycle(ctx, *importState); },
            [](Context& ctx) { return ExportPendingResults(ctx); }};
}

} // namespace

int RunWithWindows(const CommandLine& commandLine)
{
    // A switch that cannot be used is said where the worker looks: in a box.
    if (!commandLine.errors.isEmpty())
        return failStartup(commandLine.errors.join(u'\n'), true, kExitConfiguration);
    QApplication::setQuitOnLastWindowClosed(false);
    auto splash = std::make_unique<SplashWindow>();
    splash->show();
    std::optional<Translations> translations; // for every window after the INI file's
    try {
        const AppConfig config = LoadConfiguration(commandLine, *splash);
        translations.emplace(TextLanguage(config.Language));
        refuseProblems(config);
        const SystemClock clock;
        Program program(clock, config, Cycles(), true);
        program.start(*splash);
        program.service().startTimers();
        return QApplication::exec();
    } catch (const std::exception& e) {
        splash->hide();
        return failStartup(e, true);
    }
}

namespace {

int RunWithoutWindows(const CommandLine& commandLine)
{
    if (commandLine.run.Check) {
        QTextStream out(stdout);
        return RunCheck(commandLine, out);
    }
    if (!commandLine.errors.isEmpty())
        return failStartup(commandLine.errors.join(u'\n'), false,
                           commandLine.run.Status ? kExitStartupFailed : kExitConfiguration);
    SilentProgress progress;
    try {
        const AppConfig config = LoadConfiguration(commandLine, progress);
        if (commandLine.run.Status) {
            QTextStream out(stdout);
            return RunStatus(config, out);
        }
        if (commandLine.run.InitDb)
            return RunInitDb(config);
        refuseProblems(config);
        const SystemClock clock;
        Program program(clock, config, Cycles(), false);
        program.start(progress);
        if (commandLine.run.Cycle != CycleChoice::None) {
            const int status = program.service().runOnce(commandLine.run.Cycle);
            if (program.service().stopFlag()) {
                program.service().log().logStatus(u"Asked to stop: the batch in hand was finished."_s);
                program.service().shutdown(); // its stop line
            }
            return status;
        }
        program.service().startTimers();
        return QCoreApplication::exec();
    } catch (const std::exception& e) {
        // "/status" gives its verdict: 2 when it cannot even look.
        return commandLine.run.Status ? failStartup(ErrorText(e), false) : failStartup(e, false);
    }
}

} // namespace

int Main(int argc, char* argv[])
{
    NameSystemTimeZone();
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    const CommandLine commandLine = ParseCommandLine(arguments);
    if (commandLine.run.Help) {
        QTextStream(stdout) << CommandLineHelp() << Qt::flush;
        return kExitOk;
    }
    if (commandLine.run.Version) {
        QTextStream(stdout) << VersionLine() << Qt::endl;
        return kExitOk;
    }
    // "/check" says them with its other findings, on stdout.
    for (const QString& unknown : commandLine.run.Check ? QStringList() : commandLine.settings.UnknownSwitches)
        QTextStream(stderr) << "kestrin: the switch " << unknown << " is unknown and ignored" << Qt::endl;

    if (!commandLine.run.showsWindows()) {
        QCoreApplication app(argc, argv);
        QCoreApplication::setApplicationName(u"Kestrin"_s);
        return RunWithoutWindows(commandLine);
    }
    if (DisplayMissing(argc, argv))
        return failStartup(u"no display: use /headless or set DISPLAY"_s, false);
    QApplication app(argc, argv);
    QApplication::setApplicationName(u"Kestrin"_s);
    return RunWithWindows(commandLine);
}

} // namespace kestrin
