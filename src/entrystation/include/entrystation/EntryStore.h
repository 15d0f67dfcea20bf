#pragma once

#include "entrystation/EntryRecord.h"

#include <QStringList>

#include <optional>

namespace kestrin {

class Database;

// What the entry station writes into the laboratory database. Every operation sends its
// statements with bound values and returns the line for the communication log; the caller
// writes it once the entry's transaction has committed.

QString StoreControlResult(Database& db, const EntryRecord& entry);
QString StoreRawResult(Database& db, const EntryRecord& entry);
QString StoreSessionTableResult(Database& db, const EntryRecord& entry, const QString& sessionTable);
// Replaces the sample's result of the parameter, with its interpretation (LookupInterpretation).
QString StoreValidatedResult(Database& db, EntryRecord& entry);

// Fills the interpretation fields from the validation ranges of range set 2 that hold the
// result: the first range found decides. A result or bound that is no number holds nothing.
void LookupInterpretation(Database& db, EntryRecord& entry);

// The lowest upper bound of the parameter's suspicious ranges; none without such a range.
std::optional<double> ReadLowCutoff(Database& db, qint16 parameterId);

// The session start marker of a station in quorix_log, at the database's current time.
void WriteSessionMarker(Database& db, const QString& stationId);

// Which rows are the station's: RESULTS carry the station id, the work table and the control
// results the station id, "_" and a user (every user of user_base, and those `usedUsers`
// already stored under).
struct StationRows {
    QString stationId;
    QString sessionTable;
    QStringList analyzerUsers; // station id, "_", user
};
StationRows ReadStationRows(Database& db, const QString& stationId, const QString& sessionTable,
                            const QStringList& usedAnalyzerUsers);

// True when the station has rows of the parameter stamped in the database's current second or
// later: a session marker written now would not tell them from the new session's entries.
bool StationWroteThisSecond(Database& db, const StationRows& station, qint16 parameterId);

// Deletes a sample's validated result and work-table records of the parameter; the log line.
QString DeleteEntryRows(Database& db, const QString& sessionTable, const QString& sampleId, qint16 parameterId);

// Deletes what the station stored for the parameter since its newest session marker (rows of
// the marker's own second included); the log line.
QString ClearSessionRows(Database& db, const StationRows& station, qint16 parameterId);

} // namespace kestrin
