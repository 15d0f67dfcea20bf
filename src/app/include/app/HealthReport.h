#pragma once

#include "config/AppConfig.h"
#include "core/RegionalFormat.h"
#include "service/CycleRecord.h"

#include <QDateTime>
#include <QStringList>

#include <optional>

namespace kestrin {

class Database;

// Whether a process holds the station's lock file.
enum class ServiceState {
    NotRunning,
    Running,      // a process of this machine that lives
    OtherMachine, // a process of another machine (a shared log folder): it cannot be asked
    Unreadable,   // the lock file is there but this user may not read it
};

// What "/status" finds about one station: its process, its cycles, its folders, its database.
struct HealthReport {
    QDateTime now;
    QString stationId;
    QString iniFile;
    QStringList configurationProblems;

    ServiceState service = ServiceState::NotRunning;
    qint64 servicePid = 0;
    QString serviceHost;
    QDateTime serviceSince;            // when the process took the lock
    std::optional<CycleRecord> cycles; // what the station's process last recorded
    qint64 importPeriodMs = 0;
    qint64 exportPeriodMs = 0;
    bool exports = true; // whether this station's run type runs the export

    QString importFolderError; // empty when the import folder could be read
    int orderFilesWaiting = 0;
    QDateTime oldestOrderFile;  // the time the oldest waiting file was last written
    int failedFilesToday = 0;   // filed into EinleseFehler today
    int failedFilesWaiting = 0; // failed, and set aside in the import folder until EinleseFehler takes them
    QStringList folderProblems; // the folders the cycles cannot work in, as this user sees them

    QString database;      // the database reached, empty when it was not
    QString databaseError; // why it was not, or which tables it lacks
    int samplesQueued = 0;
    QDateTime oldestQueuedResult; // the earliest validation (else measuring) time of a queued result
    int queueRowsWithoutSample = 0;
    int claims = 0; // samples an exporter is sending
    QDateTime oldestClaim;
};

// Looks at a station as another process may: its lock and cycle record, its folders, its
// database and the result queue. Reads only: no log, no folder, no lock is made.
HealthReport GatherHealth(const AppConfig& config, const QDateTime& now);

// The queue's figures of the report, read from the laboratory database.
void LookAtQueue(Database& db, HealthReport& r);

// How late a cycle's work may be before a person should look: three cycles and five minutes
// (the record is written once a minute; an order file rests a moment before it is read).
qint64 CycleAllowanceMs(qint64 periodMs);

// The reasons the station needs attention; empty when it is healthy.
QStringList JudgeHealth(const HealthReport& report);

// "/status" as short lines: what was found, then each reason for attention, then the verdict.
QStringList StatusLines(const HealthReport& report, const RegionalFormat& format);

// A duration for people: "45 s", "12 min", "3 h 5 min", "2 d 4 h".
QString AgeText(qint64 ms);

} // namespace kestrin
