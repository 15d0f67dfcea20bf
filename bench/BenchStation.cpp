#include "BenchStation.h"

#include "PeakMemory.h"
#include "labdb/Connection.h"
#include "station/ChangeMarkers.h"

#include <QElapsedTimer>
#include <QTextStream>

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
    m_db = ConnectDatabase(config);
    m_log = std::make_unique<CommLog>(m_clock, RegionalFormat{}, config.Charset);
    m_ctx = std::make_unique<Context>(Context{config, *m_db, *m_log, m_clock});
    OpenLogFile(*m_ctx);
}

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
