#include "StatusCommand.h"

#include "StationLock.h"
#include "config/CycleSchedule.h"
#include "config/StartupChecks.h"
#include "core/Error.h"
#include "core/FolderCheck.h"
#include "core/ProcessLock.h"
#include "hl7import/ImportFolder.h"
#include "labdb/Connection.h"
#include "labdb/Schema.h"

#include <QDirIterator>
#include <QFileInfo>
#include <QSet>
#include <QSysInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

void lookAtLock(const AppConfig& config, HealthReport& r)
{
    const QString path = StationLockFileName(config);
    const QFileInfo file(path);
    if (!file.exists())
        return;
    const std::optional<LockHolder> holder = ReadLockHolder(path);
    if (!holder) {
        if (!file.isReadable())
            r.service = ServiceState::Unreadable;
        return;
    }
    r.servicePid = holder->pid;
    r.serviceHost = holder->host;
    r.serviceSince = file.lastModified();
    if (holder->host != QSysInfo::machineHostName())
        r.service = ServiceState::OtherMachine;
    else if (IsLockHeld(path))
        r.service = ServiceState::Running;
}

// A move keeps a file's time of writing; the time its entry last changed tells when it came.
QDateTime arrival(const QFileInfo& file) { return std::max(file.lastModified(), file.metadataChangeTime()); }

// Each folder a cycle writes into, as far as this user can tell without writing: a folder the
// cycles make is no trouble while it is missing, the export folder (another system's) is.
void lookAtWriting(const AppConfig& config, HealthReport& r)
{
    struct Folder {
        const char16_t* what;
        QString path;
        MissingFolder missing;
    };
    QList<Folder> folders{
        {u"the order files in %1 cannot be taken: %2", config.ImportPath, MissingFolder::Created},
        {u"handled order files cannot be filed into %1: %2", config.ImportDonePath, MissingFolder::Created},
        {u"failed order files cannot be filed into %1: %2", config.ImportErrorPath, MissingFolder::Created}};
    if (r.exports)
        folders << Folder{u"result files cannot be written into %1: %2", config.TempExportPath, MissingFolder::Created}
                << Folder{u"result files cannot be published into %1: %2", config.ExportPath, MissingFolder::Refused};
    for (const auto& [what, path, missing] : std::as_const(folders)) {
        const QFileInfo folder(path);
        QString problem;
        if (!folder.exists())
            problem = missing == MissingFolder::Refused ? u"it is missing"_s : QString();
        else if (!folder.isDir())
            problem = u"it is no folder"_s;
        else
            problem = WritingProblem(path);
        if (!problem.isEmpty())
            r.folderProblems << QStringView(what).toString().arg(path, problem);
    }
}

void lookAtFolders(const AppConfig& config, HealthReport& r)
{
    lookAtWriting(config, r);
    const QFileInfo importFolder(config.ImportPath);
    if (!importFolder.isDir() || !importFolder.isReadable()) {
        r.importFolderError = importFolder.exists() ? u"%1 cannot be listed"_s.arg(config.ImportPath)
                                                    : u"%1 is missing"_s.arg(config.ImportPath);
        return;
    }
    QSet<QString> setAside;
    for (const FoundClaim& file : SetAsideFiles(config.ImportPath))
        setAside.insert(file.claimName);
    r.failedFilesWaiting = int(setAside.size());
    const auto files = QDir::Files | QDir::Hidden | QDir::System;
    for (QDirIterator it(config.ImportPath, files); it.hasNext();) {
        it.next();
        const QString name = it.fileName();
        if (!HasImportExtension(name, config.ImportExtension) || setAside.contains(name) ||
            !ClaimedName(name).isEmpty())
            continue;
        ++r.orderFilesWaiting;
        const QDateTime written = it.fileInfo().lastModified();
        if (written.isValid() && (!r.oldestOrderFile.isValid() || written < r.oldestOrderFile))
            r.oldestOrderFile = written;
    }
    for (QDirIterator it(config.ImportErrorPath, files); it.hasNext();) {
        it.next();
        if (arrival(it.fileInfo()).date() == r.now.date())
            ++r.failedFilesToday;
    }
}

} // namespace

void LookAtQueue(Database& db, HealthReport& r)
{
    const Row queue = *db.first(u"SELECT COUNT(DISTINCT SAMPLE_ID) AS samples, "
                                u"SUM(CASE WHEN SAMPLE_ID IS NULL OR SAMPLE_ID = '' THEN 1 ELSE 0 END) AS no_id "
                                u"FROM REQ2SEND"_s);
    r.samplesQueued = queue.value(u"samples").toInt();
    r.queueRowsWithoutSample = queue.value(u"no_id").toInt();
    // The queue keeps no time of its own; its results' times say how long they wait at most.
    const Row oldest = *db.first(u"SELECT MIN(COALESCE(r.VAL_TIME_STAMP, r.MEAS_TIME_STAMP)) AS oldest "
                                 u"FROM REQ2SEND q JOIN RESULTS r ON r.SAMPLE_ID = q.SAMPLE_ID AND "
                                 u"r.PARAMETER_ID = q.PARAMETER_ID"_s);
    r.oldestQueuedResult = oldest.dateTime(u"oldest");
    const Row claims = *db.first(u"SELECT COUNT(*) AS claims, MIN(CLAIMED_AT) AS oldest FROM KESTRIN_EXPORTS"_s);
    r.claims = claims.value(u"claims").toInt();
    r.oldestClaim = claims.dateTime(u"oldest");
}

namespace {

void lookAtDatabase(const AppConfig& config, HealthReport& r)
{
    try {
        const auto db = ConnectDatabase(ConnectionSettingsOf(config));
        r.database = db->description();
        const QStringList missing = MissingTables(*db);
        if (!missing.isEmpty()) {
            r.databaseError = u"tables missing: %1 (kestrin /initdb creates them)"_s.arg(missing.join(u", "));
            return;
        }
        LookAtQueue(*db, r);
    } catch (const std::exception& e) {
        r.databaseError = ErrorText(e);
    }
}

} // namespace

HealthReport GatherHealth(const AppConfig& config, const QDateTime& now)
{
    HealthReport r;
    r.now = now;
    r.stationId = config.StationId;
    r.iniFile = config.IniFilePath;
    r.configurationProblems = StartupProblems(config);
    r.importPeriodMs = std::max<qint64>(CycleSchedule::ImportCutoff(config.ComputerName, config.ImportCycle), 1) *
        CycleSchedule::kImportTickMs;
    r.exportPeriodMs = std::max<qint64>(CycleSchedule::ExportCutoff(config.ComputerName, config.ExportCycle), 1) *
        CycleSchedule::kExportTickMs;
    r.exports = config.ExportTimerEnabled;
    lookAtLock(config, r);
    r.cycles = ReadCycleRecord(CycleRecordFileName(config));
    lookAtFolders(config, r);
    lookAtDatabase(config, r);
    return r;
}

int RunStatus(const AppConfig& config, QTextStream& out)
{
    const HealthReport report = GatherHealth(config, QDateTime::currentDateTime());
    const RegionalFormat format{config.ShortDateFormat, config.TimeFormat, config.DecimalSeparator};
    for (const QString& line : StatusLines(report, format))
        out << line << '\n';
    out.flush();
    return JudgeHealth(report).isEmpty() ? 0 : 1;
}

} // namespace kestrin
