#include "app/CheckCommand.h"

#include "app/Startup.h"
#include "config/CommandLine.h"
#include "config/Configuration.h"
#include "config/ConnectionSecurity.h"
#include "config/StartupChecks.h"
#include "core/Error.h"
#include "core/FolderCheck.h"
#include "hl7import/ImportFolderCheck.h"
#include "labdb/Connection.h"
#include "labdb/DbError.h"
#include "labdb/Schema.h"
#include "qclink/QcOrders.h"

#include <QDateTime>

#include <optional>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// What every start writes first, a marker in quorix_log, tried and rolled back: a read-only
// file, mount or server reads well and refuses only this. Empty when it was taken.
QString writeProblem(Database& db)
{
    try {
        Transaction probe(db);
        db.exec(u"INSERT INTO quorix_log (time_stamp, log_key) VALUES (?, ?)"_s,
                {QDateTime::currentDateTime(), u"kestrin /check"_s});
        probe.rollback();
        return {};
    } catch (const DbError& e) {
        return e.driverText();
    }
}

// Each folder the run works in, tried as the run would: the number that cannot be used.
int checkFolders(const AppConfig& config, QTextStream& out)
{
    QList<CheckedFolder> folders = CheckImportFolders(config);
    // The export folder is the receiving system's (often a share): it is never created.
    const std::tuple<const char16_t*, QString, MissingFolder> others[] = {
        {u"ExportPath", config.ExportPath, MissingFolder::Refused},
        {u"TempExportPath", config.TempExportPath, MissingFolder::Created},
        {u"ComLogPath", config.ComLogPath, MissingFolder::Created},
    };
    for (const auto& [name, path, missing] : others)
        folders.append({QString::fromUtf16(name), path, CheckFolder(path, missing)});
    int failed = 0;
    for (const CheckedFolder& folder : std::as_const(folders)) {
        out << "Folder " << folder.field << ": " << folder.path << " (" << folder.state.description << ")\n";
        failed += folder.state.usable ? 0 : 1;
    }
    return failed;
}

// The analyser's database (run type MGC) and the laboratory database, tried as a start
// would: the number that cannot be used.
int checkDatabases(const AppConfig& config, QTextStream& out)
{
    int failed = 0;
    if (config.Mode == RunMode::QcLink) {
        try {
            const auto analyser = ConnectAnalyzerDatabase(ConnectionSettingsOf(config));
            out << "Analyser database: connected to " << analyser->description() << '\n';
            if (const QStringList missing = MissingAnalyzerTables(*analyser); !missing.isEmpty()) {
                out << "Analyser tables: missing " << missing.join(u", ") << '\n';
                ++failed;
            }
        } catch (const std::exception& e) {
            out << "Analyser database: " << ErrorText(e) << '\n';
            ++failed;
        }
    }

    // Its problem is listed above; another engine's database is not tried in its place.
    if (!config.Engine) {
        out << "Database: not tried, the key \"engine\" names no engine Kestrin knows\n";
        return failed;
    }
    try {
        const auto db = ConnectDatabase(ConnectionSettingsOf(config));
        out << "Database: connected to " << db->description() << '\n';
        const QStringList missing = MissingTables(*db);
        if (missing.isEmpty()) {
            out << "Tables: all " << LabTables().size() << " present\n";
            if (const QString problem = writeProblem(*db); problem.isEmpty()) {
                out << "Writing: a row was written and rolled back\n";
            } else {
                out << "Writing: refused, so every start fails: " << problem << '\n';
                ++failed;
            }
        } else {
            out << "Tables: missing " << missing.join(u", ") << " (kestrin /initdb creates them)\n";
            ++failed;
        }
        // Without them Kestrin works, only slower.
        if (const QStringList indexes = MissingIndexes(*db); !indexes.isEmpty())
            out << "Indexes: missing " << indexes.join(u", ") << " (kestrin /initdb creates them)\n";
    } catch (const std::exception& e) {
        out << "Database: " << ErrorText(e) << '\n';
        ++failed;
    }
    return failed;
}

QString counted(qsizetype number, const char16_t* one, const char16_t* many)
{
    return u"%1 %2"_s.arg(QString::number(number), QStringView(number == 1 ? one : many));
}

QString verdict(qsizetype problems, qsizetype warnings)
{
    const QString warned = counted(warnings, u"warning", u"warnings");
    if (problems == 0)
        return warnings == 0 ? u"Verdict: ready to run."_s : u"Verdict: ready to run, with %1."_s.arg(warned);
    const QString failed = counted(problems, u"problem", u"problems");
    return warnings == 0 ? u"Verdict: not ready to run: %1."_s.arg(failed)
                         : u"Verdict: not ready to run: %1, %2."_s.arg(failed, warned);
}

} // namespace

int RunCheck(const CommandLine& commandLine, QTextStream& out)
{
    out << VersionLine() << '\n';
    QStringList problems = commandLine.errors;
    QStringList warnings;
    for (const QString& unknown : commandLine.settings.UnknownSwitches)
        warnings << u"the switch %1 is unknown and ignored."_s.arg(unknown);
    std::optional<AppConfig> config;
    try {
        SilentProgress progress;
        CheckedConfiguration checked = LoadConfigurationAsWritten(commandLine, progress);
        problems += checked.problems;
        warnings += checked.warnings;
        config = std::move(checked.config);
    } catch (const std::exception& e) {
        problems << ErrorText(e); // an INI file that cannot be read at all
    }

    if (config) {
        for (const QString& line : DescribeConfiguration(*config))
            out << line << '\n';
        if (config->Engine == Engine::SqlServer)
            out << "OleDbConnectionString="
                << MaskPassword(OleDbConnectionString(config->SqlServerKind, config->DatabaseName, config->ServerName))
                << '\n';
        problems += StartupProblems(*config);
        // Lock, status and log files are made there: another user could put a link in their way.
        if (EveryoneMayWrite(config->ComLogPath))
            warnings << u"every user of this machine may write the log folder %1; give it to Kestrin's user and group "
                        u"only (chmod o-w)."_s.arg(config->ComLogPath);
        warnings += ConnectionSecurityWarnings(*config);
    }
    out << '\n';
    for (const QString& problem : problems)
        out << "Problem: " << problem << '\n';
    for (const QString& warning : warnings)
        out << "Warning: " << warning << '\n';

    qsizetype failed = problems.size();
    if (config)
        failed += checkFolders(*config, out) + checkDatabases(*config, out);
    out << verdict(failed, warnings.size()) << '\n';
    out.flush();
    return failed == 0 ? 0 : 2;
}

} // namespace kestrin
