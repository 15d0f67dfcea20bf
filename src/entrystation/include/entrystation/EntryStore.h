#pragma once

#include "entrystation/EntryRecord.h"
#include "entrystation/ValidationRanges.h"

#include <QDateTime>
#include <QStringList>

#include <optional>

namespace kestrin {

class Database;

// What the entry station writes into the laboratory database. Every operation sends its
// statements with bound values and returns the line for the communication log; the caller
// writes it once the entry's transaction has committed.

// A row an entry wrote that Clear Session takes back: the values the entry wrote into it and the
// second the database stamped it in. Found by these, a row stays once another client changed
// them; sub-seconds are left out, as engines keep them differently.
struct WrittenRow {
    QString table; // as it stands in statements
    QStringList columns;
    QVariantList values;
    QString timeColumn;
    QDateTime stampedSecond;
};
using WrittenRows = QList<WrittenRow>;

// The control result, the validated result and the work-table record add the row they wrote to
// `written`; the raw record is never taken back.
QString StoreControlResult(Database& db, const EntryRecord& entry, WrittenRows& written);
QString StoreRawResult(Database& db, const EntryRecord& entry);
QString StoreSessionTableResult(Database& db, const EntryRecord& entry, const QString& sessionTable,
                                WrittenRows& written);
// Replaces the sample's result of the parameter, with its interpretation (LookupInterpretation).
QString StoreValidatedResult(Database& db, EntryRecord& entry, WrittenRows& written);

// The validation ranges of range set 2 of a parameter, with their interpretations.
QList<ValidationRange> ReadValidationRanges(Database& db, qint16 parameterId);

// Fills the interpretation fields from the validation ranges of range set 2 that hold the
// result (FindInRanges).
void LookupInterpretation(Database& db, EntryRecord& entry);

// The lowest upper bound of the parameter's suspicious ranges; none without such a range.
std::optional<double> ReadLowCutoff(Database& db, qint16 parameterId);

// The session start marker of a station in quorix_log, at the database's current time: for
// other software that reads it, as the station no longer does.
void WriteSessionMarker(Database& db, const QString& stationId);

// Deletes a sample's validated result and work-table records of the parameter; the log line.
QString DeleteEntryRows(Database& db, const QString& sessionTable, const QString& sampleId, qint16 parameterId);

// Clear Session: deletes the rows of `written` that are still as they were written, whoever
// changed or deleted others meanwhile; the log line.
QString ClearWrittenRows(Database& db, const WrittenRows& written, qint16 parameterId);

} // namespace kestrin
