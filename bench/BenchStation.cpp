#include "BenchStation.h"

#include "PeakMemory.h"
#include "labdb/Connection.h"
#include "labdb/Schema.h"
#include "station/ChangeMarkers.h"

#include <QElapsedTimer>
#include <QTextStream>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace kestrin::bench {

BenchStation::BenchStation()
{
    config.ComputerName = u"BENCH"_s;
    config.Engine = u"sqlite"_s;
    config.DatabaseName = dir.filePath(u"lab.sqlite"_s);
    config.ComLogPath = dir.filePath(u"log/"_s);
}

void BenchStation::open()
{
    m_db = ConnectDatabase(config, MissingDatabase::Created);
    m_log = std::make_unique<CommLog>(m_clock, RegionalFormat{}, config.Charset);
    m_ctx = std::make_unique<Context>(Context{config, *m_db, *m_log, m_clock});
    OpenLogFile(*m_ctx);
}

PostgresSchema::PostgresSchema(AppConfig& config)
{
    for (const QString& pair : qEnvironmentVariable("KESTRIN_TEST_PG").split(u' ', Qt::SkipEmptyParts)) {
        const QString key = pair.section(u'=', 0, 0);
        const QString value = pair.section(u'=', 1);
        if (key == u"host")
            host = value;
        else if (key == u"port")
            port = value;
        else if (key == u"dbname")
            config.DatabaseName = value;
        else if (key == u"user")
            config.DbUser = value;
        else if (key == u"password")
            config.DbPassword = value;
    }
    config.Engine = u"postgres"_s;
    config.ServerName = host + u':' + port;
    name = u"kb_"_s + QUuid::createUuid().toString(QUuid::Id128).left(16);
    admin = std::make_unique<Database>(MakeDialect(u"postgres"_s), LabConnectionParameters(config));
    admin->open();
    admin->exec(u"SET client_min_messages TO warning"_s);
    admin->exec(u"CREATE SCHEMA "_s + name);
    admin->exec(u"SET search_path TO "_s + name);
    CreateMissingTables(*admin);
    admin->exec(u"SET search_path TO DEFAULT"_s);
    qputenv("PGOPTIONS", "-csearch_path=" + name.toLatin1());
}

PostgresSchema::~PostgresSchema() { admin->exec(u"DROP SCHEMA %1 CASCADE"_s.arg(name)); }

int MeasureCycle(const QString& title, const QString& items, int expected, const std::function<CycleOutcome()>& cycle)
{
    const auto mib = [](qint64 bytes) { return QString::number(bytes / 1048576.0, 'f', 1); };
    const qint64 before = PeakMemoryBytes();
    QElapsedTimer timer;
    timer.start();
    const CycleOutcome outcome = cycle();
    const double seconds = timer.nsecsElapsed() / 1e9;
    QTextStream(stdout) << title << '\n'
                        << "  handled " << outcome.handled << ", failed " << outcome.failed << " in "
                        << QString::number(seconds, 'f', 2)
                        << " s: " << QString::number(outcome.handled / seconds, 'f', 0) << ' ' << items
                        << " per second\n"
                        << "  peak memory " << mib(PeakMemoryBytes()) << " MiB (before the cycle " << mib(before)
                        << " MiB)\n";
    return outcome.failed == 0 && outcome.handled == expected ? 0 : 1;
}

} // namespace kestrin::bench
