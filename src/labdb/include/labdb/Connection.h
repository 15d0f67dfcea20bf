#pragma once

#include "config/ConnectionSettings.h"
#include "labdb/Database.h"

#include <memory>

namespace kestrin {

// The OLE DB connection string of the laboratory's SQL Server for a login kind: "2000"
// integrated, "quorix" the program's own login, anything else the administrator.
QString OleDbConnectionString(const QString& sqlServerKind, const QString& databaseName, const QString& serverName);

// The same connection for an ODBC driver.
QString OdbcConnectionString(const QString& sqlServerKind, const QString& databaseName, const QString& serverName,
                             const QString& driver);

// A connection string with its password shown as "****".
QString MaskPassword(const QString& connectionString);

// How the settings reach the laboratory database; throws a ConfigurationError when they name
// no engine.
ConnectionParameters LabConnectionParameters(const ConnectionSettings& settings);

// Whether a missing embedded database file is made. Only "/initdb" makes one: a mistyped
// path would otherwise give a new, empty database that orders go into and nobody reads.
enum class MissingDatabase { Refused, Created };

// Opens the laboratory database of the settings; a new embedded database file gets the
// whole schema. Throws a StartupError naming engine, server and database, or the file that
// is missing.
std::unique_ptr<Database> ConnectDatabase(const ConnectionSettings& settings,
                                          MissingDatabase missing = MissingDatabase::Refused);

// Says that the embedded database file of the settings is missing, and how it is made.
QString MissingDatabaseText(const ConnectionSettings& settings);

// The analyser's own database (run mode MGC): an Access file through ODBC on Windows, any
// other file as an embedded database. Throws a StartupError.
std::unique_ptr<Database> ConnectAnalyzerDatabase(const ConnectionSettings& settings);

} // namespace kestrin
