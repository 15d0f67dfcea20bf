#include "app/Main.h"

#include "StatusCommand.h"
#include "app/CheckCommand.h"
#include "app/ServiceRun.h"
#include "app/Startup.h"
#include "config/CommandLine.h"
#include "core/Clock.h"
#include "core/Error.h"
#include "core/OwnFiles.h"
#include "labdb/Connection.h"
#include "labdb/DbError.h"
#include "labdb/Schema.h"

#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

int RunInitDb(const AppConfig& config)
{
    const ConnectionSettings settings = ConnectionSettingsOf(config);
    const bool newFile = IsNewEmbeddedDatabase(settings);
    const auto db = ConnectDatabase(settings, MissingDatabase::Created);
    // Patients' data: written by the service's user, read by its group (docs/operations.md).
    if (newFile)
        QFile::setPermissions(settings.database,
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
    const QStringList created = newFile ? LabTableNames() : CreateMissingTables(*db);
    QTextStream out(stdout);
    if (created.isEmpty())
        out << "Every table and index exists in " << db->description() << "; nothing was changed." << Qt::endl;
    else
        out << "Created in " << db->description() << ": " << created.join(u", ") << Qt::endl;
    return kExitOk;
}

int RunWithoutWindows(const CommandLine& commandLine)
{
    if (commandLine.run.Check) {
        QTextStream out(stdout);
        return RunCheck(commandLine, out);
    }
    if (!commandLine.errors.isEmpty())
        return FailStartup(commandLine.errors.join(u'\n'),
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
        RefuseStartupProblems(config);
        const SystemClock clock;
        ServiceRun run(clock, config, StandardCycles());
        run.start(progress);
        Service& service = run.service();
        if (commandLine.run.Cycle != CycleChoice::None) {
            const int status = service.runOnce(commandLine.run.Cycle);
            if (service.stopFlag()) {
                service.log().logStatus(u"Asked to stop: the batch in hand was finished."_s);
                service.shutdown(); // its stop line
            }
            return status;
        }
        service.startTimers();
        return QCoreApplication::exec();
    } catch (const DbStopped&) {
        // A stop while start-up waited for another program's lock on the database.
        QTextStream(stderr) << "kestrin: asked to stop during start-up; Kestrin stopped." << Qt::endl;
        return kExitOk;
    } catch (const std::exception& e) {
        // "/status" gives its verdict: 2 when it cannot even look.
        return FailStartup(ErrorText(e), commandLine.run.Status ? kExitStartupFailed : StartupExitStatus(e));
    }
}

} // namespace

void WarnUnknownSwitches(const CommandLine& commandLine)
{
    // "/check" says them with its other findings, on stdout.
    for (const QString& unknown : commandLine.run.Check ? QStringList() : commandLine.settings.UnknownSwitches)
        QTextStream(stderr) << "kestrin: the switch " << unknown << " is unknown and ignored" << Qt::endl;
}

int Main(int argc, char* argv[], WindowedRun windowedRun)
{
    RestrictNewFileModes(); // logs, database and result files are no one else's, whatever shell started it
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
    if (commandLine.run.showsWindows())
        return windowedRun(argc, argv, commandLine);
    WarnUnknownSwitches(commandLine);
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(u"Kestrin"_s);
    return RunWithoutWindows(commandLine);
}

} // namespace kestrin
