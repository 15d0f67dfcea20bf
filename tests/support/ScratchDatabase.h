#pragma once

#include "SqlServerStandIn.h"
#include "config/AppConfig.h"
#include "labdb/Database.h"

#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace kestrin::test {

// Adds the column "engine" with one row per database engine that database tests run on:
// sqlite always, postgres always (it skips, or fails in CI, without a server).
void AddEngineRows();

// A fresh, empty database of one engine for one test: an SQLite file in a temporary folder,
// or a schema of its own on the PostgreSQL server that KESTRIN_TEST_PG names (libpq
// key=value form), dropped again at the end. The engine "sqlserver" is the SQL Server
// dialect's statements, recorded and run on an SQLite file (SqlServerStandIn.h).
class ScratchDatabase {
public:
    explicit ScratchDatabase(const QString& engine);
    ~ScratchDatabase();

    bool available() const { return m_db != nullptr; }
    QString unavailableReason() const { return m_reason; }
    Database& db() { return *m_db; }
    QString engine() const { return m_engine; }
    QString folder() const { return m_dir.path(); }
    // Engine "sqlserver": the statement texts sent by every connection.
    const SentStatements& sqlServerStatements() const { return *m_sqlServerSent; }

    // Creates every laboratory table.
    void createSchema();
    // Runs examples/demo-data.sql, the demo's tests, users, controls, captions and one sample.
    void loadDemoData();
    // A second connection to the same database, as another process would have.
    std::unique_ptr<Database> connectAgain() const;
    // Settings that reach this database through the INI keys (the SQLite file only:
    // the PostgreSQL schema cannot be named there).
    AppConfig sqliteConfig() const;
    // For a Kestrin process of its own on this database: the INI keys that reach it, and the
    // environment to start it in (a PostgreSQL schema is named through libpq's PGOPTIONS).
    QByteArray iniKeys() const;
    QProcessEnvironment processEnvironment() const;

private:
    std::unique_ptr<Database> connect() const;

    QString m_engine;
    QTemporaryDir m_dir;
    QString m_schema;
    QString m_reason;
    std::shared_ptr<SentStatements> m_sqlServerSent = std::make_shared<SentStatements>();
    std::unique_ptr<Database> m_db;
};

// A database of its own on the PostgreSQL server that KESTRIN_TEST_PG names, for Kestrin
// processes that reach it through their INI file; dropped again at the end.
class ServerDatabase {
public:
    ServerDatabase();
    ~ServerDatabase();
    ServerDatabase(const ServerDatabase&) = delete;
    ServerDatabase& operator=(const ServerDatabase&) = delete;

    bool available() const { return !m_name.isEmpty(); }
    QString unavailableReason() const { return m_reason; }
    // The INI lines that reach it: engine, server, database, DbUser, DbPassword.
    QByteArray iniLines() const;
    // A connection of the test's own, open.
    std::unique_ptr<Database> connect() const;

private:
    QString m_name;
    QString m_reason;
};

// Runs a script of the source tree (such as "/examples/demo-data.sql") whose statements each
// end with ";" at the end of a line; lines beginning with "--" are skipped.
void RunSqlScript(Database& db, const QString& sourceFile);

// True when CI demands that PostgreSQL tests run (KESTRIN_REQUIRE_PG=1).
bool PostgresRequired();

} // namespace kestrin::test

// Skips a database test that has no database, or fails it where a skip is not allowed.
#define KESTRIN_REQUIRE(scratch)                                                                                       \
    do {                                                                                                               \
        if (!(scratch).available()) {                                                                                  \
            if (kestrin::test::PostgresRequired())                                                                     \
                QFAIL(qPrintable((scratch).unavailableReason()));                                                      \
            QSKIP(qPrintable((scratch).unavailableReason()));                                                          \
        }                                                                                                              \
    } while (false)
