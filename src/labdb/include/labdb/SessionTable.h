#pragma once

#include <QString>

namespace kestrin {

class Database;

// The name of a station's work table: run type, "_", station id (INPUT_HL7).
QString SessionTableName(const QString& runType, const QString& stationId);

// Creates the station's work table as an empty copy of REQUEST unless it exists (an
// existing one keeps its rows); returns its name. A name that is no plain identifier
// throws a StartupError.
QString CreateSessionTable(Database& db, const QString& runType, const QString& stationId);

} // namespace kestrin
