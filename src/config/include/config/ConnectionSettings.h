#pragma once

#include "config/AppConfig.h"
#include "config/Engine.h"

namespace kestrin {

// What the database layer needs of the configuration: the laboratory database and the
// analyser's own. File paths are already resolved against the INI file's folder.
struct ConnectionSettings {
    // None where the key "engine" names no engine Kestrin knows: no database is tried then.
    std::optional<Engine> engine = Engine::SqlServer;
    QString server;
    QString database; // the embedded database's file, or the server's database
    QString user;
    QString password;
    QString sslMode;     // PostgreSQL's sslmode; empty: the driver's default
    QString sslRootCert; // the CA certificate the server's is verified against
    QString odbcDriver;
    QString encrypt;                // ODBC Encrypt; empty: the driver's default
    QString trustServerCertificate; // ODBC TrustServerCertificate; the same
    QString sqlServerKind;
    QString analyzerDatabase; // the analyser's own database file (run mode MGC)
    QString iniFilePath;      // named in messages
};

// The connection settings of a configuration.
ConnectionSettings ConnectionSettingsOf(const AppConfig& config);

// The file of the embedded database; empty for a database server.
QString EmbeddedDatabaseFile(const ConnectionSettings& settings);

// Whether the settings name an embedded database whose file does not exist yet.
bool IsNewEmbeddedDatabase(const ConnectionSettings& settings);

} // namespace kestrin
