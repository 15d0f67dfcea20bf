#pragma once

#include "config/AppConfig.h"
#include "core/Clock.h"
#include "labdb/Database.h"
#include "runtime/CommLog.h"
#include "runtime/Context.h"
#include "runtime/CycleOutcome.h"

#include <QRandomGenerator>
#include <QTemporaryDir>

#include <memory>

namespace kestrin::bench {

// A station in a temporary folder with a fresh embedded database (durable commits, as in the
// laboratory), its communication log and the context that holds them.
// KESTRIN_BENCH_STATION=<folder> makes the station in that folder instead and keeps it, for a
// whole process to run (`kestrin /ini=<folder>/kestrin.ini /cycle=...`, as the laboratory does).
class BenchStation {
public:
    BenchStation();
    // Connects and opens the log; set the configuration before.
    void open();
    Context& ctx() { return *m_ctx; }
    Database& db() { return *m_db; }
    // A path in the station's folder.
    QString path(const QString& name) const;
    // With KESTRIN_BENCH_STATION: writes the station's kestrin.ini (its database, its log and
    // `iniLines`) and says true, and the bench runs no cycle of its own.
    bool leftForProcess(const QStringList& iniLines) const;

    AppConfig config;

private:
    QTemporaryDir m_temporary;
    QString m_folder;
    SystemClock m_clock;
    std::unique_ptr<Database> m_db;
    std::unique_ptr<CommLog> m_log;
    std::unique_ptr<Context> m_ctx;
};

// A schema of its own on the PostgreSQL server that KESTRIN_TEST_PG names (libpq key=value
// form), with every table, made the connection's search path; dropped again at the end. Set
// up before the station opens.
struct PostgresSchema {
    explicit PostgresSchema(AppConfig& config);
    ~PostgresSchema();

    QString host = QStringLiteral("localhost");
    QString port = QStringLiteral("5432");
    QString name;
    std::unique_ptr<Database> admin;
};

// A realistic order message (ORM^O01) for sample i: a patient, 3 to 6 tests, notes, with
// CR LF or lone CR line ends.
QByteArray OrderFile(int i, QRandomGenerator& random);
// Writes `count` such files, "order000000.hl7" on, into the folder (and a copy of each into
// `copyTo` unless it is empty); false when one cannot be written.
bool WriteOrderFiles(const QString& folder, int count, const QString& copyTo = {});
// The tests the generated orders ask for, so that every request is stored.
void AddTestDefinitions(Database& db);

// Runs one cycle and prints what it handled per second and the peak memory. Returns the
// exit status: 0 when every one of `expected` items was handled.
int MeasureCycle(const QString& title, const QString& items, int expected, const std::function<CycleOutcome()>& cycle);

} // namespace kestrin::bench
