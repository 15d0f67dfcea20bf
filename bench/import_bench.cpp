// Import benchmark: N generated order files, one import cycle on a fresh embedded database
// with durable commits (WAL, synchronous=FULL). Prints messages per second and peak memory.
//
//   import_bench [N=10000] [messages per commit=100] [sqlite|postgres]
//
// "postgres" runs on the server that KESTRIN_TEST_PG names, in a schema of its own; it also
// prints the statements sent per message (each one round trip) and the measured round trip.
// bench/import_over_network.sh runs it through bench/latency_proxy.py, a server "1 ms away".
// KESTRIN_BENCH_COPY_TO=<folder> leaves a copy of the generated files there (for
// bench/compare_import.sh, which gives the same files to a plain script);
// KESTRIN_BENCH_STATION=<folder> leaves the whole station there for `kestrin /cycle=import`.

#include "BenchStation.h"
#include "core/Clock.h"
#include "hl7import/ImportCycle.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

using namespace Qt::StringLiterals;
using namespace kestrin;

int main(int argc, char* argv[])
{
    NameSystemTimeZone(); // as the program does
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int count = args.size() > 1 ? args.at(1).toInt() : 10000;
    ImportOptions options;
    if (args.size() > 2)
        options.messagesPerCommit = args.at(2).toInt();

    bench::BenchStation station;
    std::unique_ptr<bench::PostgresSchema> schema;
    if (args.value(3) == u"postgres")
        schema = std::make_unique<bench::PostgresSchema>(station.config);
    AppConfig& config = station.config;
    config.ImportPath = station.path(u"in/"_s);
    config.ImportDonePath = config.ImportPath + u"Done"_s;
    config.ImportErrorPath = config.ImportPath + u"EinleseFehler"_s;
    config.ImportExtension = u"hl7"_s;
    config.ImportMinAge = 0;
    config.StdSampleMaterial = u"S"_s;

    if (!bench::WriteOrderFiles(config.ImportPath, count, qEnvironmentVariable("KESTRIN_BENCH_COPY_TO")))
        return 2;
    station.open();
    bench::AddTestDefinitions(station.db());
    if (station.leftForProcess(
            {u"ImportPath=in"_s, u"ImportExtension=hl7"_s, u"ImportMinAge=0"_s, u"STDSampleMat=S"_s}))
        return 0;

    Database& db = station.db();
    // The time one statement takes to come back, as the import sees it (after a few that let
    // a proxy between settle).
    constexpr int kProbes = 200;
    for (int i = 0; i < kProbes / 4; ++i)
        db.exec(u"SELECT 1"_s);
    QElapsedTimer probe;
    probe.start();
    for (int i = 0; i < kProbes; ++i)
        db.exec(u"SELECT 1"_s);
    const double roundTripMs = probe.nsecsElapsed() / 1e6 / kProbes;
    const qint64 sentBefore = db.statementsSent();
    const int status =
        bench::MeasureCycle(u"import_bench: %1 order files, %2 messages per commit, %3"_s.arg(count)
                                .arg(options.messagesPerCommit)
                                .arg(db.description()),
                            u"messages"_s, count, [&] { return RunImportCycle(station.ctx(), options); });
    const qint64 sent = db.statementsSent() - sentBefore;
    QTextStream(stdout) << "  " << sent << " statements sent, " << QString::number(double(sent) / count, 'f', 2)
                        << " per message; a round trip took " << QString::number(roundTripMs, 'f', 3) << " ms\n";
    return status;
}
