#include "app/CheckCommand.h"

#include "config/CommandLine.h"
#include "config/Configuration.h"
#include "config/StartupChecks.h"
#include "core/Error.h"
#include "core/FolderCheck.h"
#include "labdb/Connection.h"
#include "labdb/DbError.h"
#include "labdb/Schema.h"
#include "qclink/QcOrders.h"

#include <QDateTime>

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

} // namespace

int RunCheck(const AppConfig& config, QTextStream& out)
{
    bool usable = true;
    out << VersionLine() << '\n';
    for (const QString& line : DescribeConfiguration(config))
        out << line << '\n';
    if (config.Engine == u"sqlserver")
        out << "OleDbConnectionString="
            << MaskPassword(OleDbConnectionString(config.SqlServerKind, config.DatabaseName, config.ServerName))
            << '\n';
    out << '\n';

    for (const QString& problem : StartupProblems(config)) {
        out << "Problem: " << problem << '\n';
        usable = false;
    }
    for (const QString& unknown : config.UnknownSwitches)
        out << "Warning: the switch " << unknown << " is unknown and ignored\n";

    // The export folder is the receiving system's (often a share): it is never created.
    const std::tuple<const char16_t*, QString, MissingFolder> folders[] = {
        {u"ImportPath", config.ImportPath, MissingFolder::Created},
        {u"ImportDonePath", config.ImportDonePath, MissingFolder::Created},
        {u"ImportErrorPath", config.ImportErrorPath, MissingFolder::Created},
        {u"ExportPath", config.ExportPath, MissingFolder::Refused},
        {u"TempExportPath", config.TempExportPath, MissingFolder::Created},
        {u"ComLogPath", config.ComLogPath, MissingFolder::Created},
    };
    for (const auto& [name, path, missing] : folders) {
        const FolderState state = CheckFolder(path, missing);
        out << "Folder " << QStringView(name) << ": " << path << " (" << state.description << ")\n";
        usable = usable && state.usable;
    }

    if (config.Mode == RunMode::QcLink) {
        try {
            const auto analyser = ConnectAnalyzerDatabase(config);
            out << "Analyser database: connected to " << analyser->description() << '\n';
            if (const QStringList missing = MissingAnalyzerTables(*analyser); !missing.isEmpty()) {
                out << "Analyser tables: missing " << missing.join(u", ") << '\n';
                usable = false;
            }
        } catch (const std::exception& e) {
            out << "Analyser database: " << ErrorText(e) << '\n';
            usable = false;
        }
    }

    try {
        const auto db = ConnectDatabase(config);
        out << "Database: connected to " << db->description() << '\n';
        const QStringList missing = MissingTables(*db);
        if (missing.isEmpty()) {
            out << "Tables: all " << LabTables().size() << " present\n";
            if (const QString problem = writeProblem(*db); problem.isEmpty()) {
                out << "Writing: a row was written and rolled back\n";
            } else {
                out << "Writing: refused, so every start fails: " << problem << '\n';
                usable = false;
            }
        } else {
            out << "Tables: missing " << missing.join(u", ") << " (kestrin /initdb creates them)\n";
            usable = false;
        }
        // Without them Kestrin works, only slower.
        if (const QStringList indexes = MissingIndexes(*db); !indexes.isEmpty())
            out << "Indexes: missing " << indexes.join(u", ") << " (kestrin /initdb creates them)\n";
    } catch (const std::exception& e) {
        out << "Database: " << ErrorText(e) << '\n';
        usable = false;
    }
    out.flush();
    return usable ? 0 : 2;
}

} // namespace kestrin
