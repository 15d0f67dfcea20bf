#pragma once

#include "runtime/Context.h"

namespace kestrin {

// The communication log of a station and day: ComLogPath, station, "_", yyyymmdd, "_log.txt".
QString LogFileName(const QString& comLogPath, const QString& stationId, const QDate& day);
// Removes the station's logs of days before today - keepDays (none when keepDays is 0) and
// returns their names; another station's logs are left alone.
QStringList RemoveOldLogs(const QString& comLogPath, const QString& stationId, const QDate& today, int keepDays);

// The shift a time falls in: the hour boundaries between the first shift and the time,
// without sign, divided by the shift length, whole part.
qint64 ShiftNumber(const QDateTime& time, const QDateTime& firstShift, double shiftLength);

// Opens today's log file (appending), writes its header and the "HL7_log_change" marker.
// Throws a DbError, or a FileError when the file cannot be opened.
void OpenLogFile(Context& ctx);

// Records a day change (and opens the new day's log) or a shift change in quorix_log, and
// rebuilds this station's control blocks when either happens.
void CheckDayAndShiftChange(Context& ctx);

// control_block holds one row per control and parameter of the analyser's channels.
void RebuildAnalyzerControlBlocks(Database& db, const QString& analyzerId);
void RebuildControlBlock(Database& db, const QString& controlId, const QString& analyzerId);

} // namespace kestrin
