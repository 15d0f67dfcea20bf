// Entry station benchmark: on an embedded database that already holds 100 000 samples,
// 1 000 000 results and as many raw results (durable commits: WAL, synchronous=FULL), a
// worker's session stores N entries the way the Enter key does (raw and validated record in
// one transaction, the interpretation looked up, the history's cut-off read), then clears the
// session. Prints the median, 99th percentile and longest time per entry, and the time of
// Clear Session.
//
//   entry_bench [N=2000]

#include "BenchStation.h"
#include "PeakMemory.h"
#include "core/Clock.h"
#include "entrystation/EntrySession.h"
#include "labdb/SessionTable.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

constexpr int kSamples = 100000;
constexpr int kResultsPerSample = 10;

// The laboratory's history, generated inside the database: a year of results from two
// analysers and four entry stations.
void seed(Database& db)
{
    Transaction seed(db);
    for (int p = 1; p <= 10; ++p) {
        db.exec(u"INSERT INTO TEST_DEF (PARAMETER_ID, SHORT, LONG, UNIT, CUTOFF, IMP_CODE_LDT, PRINT_POS) "
                u"VALUES (?, ?, ?, ?, ?, ?, ?)"_s,
                {p, u"T%1"_s.arg(p), u"Test %1"_s.arg(p), u"ng/mL"_s, QString::number(p * 50), u"T%1"_s.arg(p), p});
        const QString range = u"INSERT INTO VALIDATION (parameter_ID, V_from, v_to, interpretation, suspicious, "
                              u"nw_id) VALUES (?, ?, ?, ?, ?, ?)"_s;
        for (const int set : {1, 2}) {
            db.exec(range, {p, 0, 19.99, 3, 1, set});
            db.exec(range, {p, 20, p * 50 - 0.01, 1, 0, set});
            db.exec(range, {p, p * 50, 1000000, 2, 1, set});
        }
    }
    const QString interpretation = u"INSERT INTO interpretation (ID, value, value_arab) VALUES (?, ?, ?)"_s;
    db.exec(interpretation, {1, u"negative"_s, u"\u0633\u0644\u0628\u064a"_s});
    db.exec(interpretation, {2, u"positive"_s, u"\u0625\u064a\u062c\u0627\u0628\u064a"_s});
    db.exec(interpretation, {3, u"diluted"_s, u"\u0645\u062e\u0641\u0641"_s});
    for (int u = 1; u <= 20; ++u)
        db.exec(u"INSERT INTO user_base (userid, comment) VALUES (?, ?)"_s, {u"U%1"_s.arg(u), u"user %1"_s.arg(u)});
    db.exec(u"WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
            u"INSERT INTO SAMPLE_BASE (SAMPLE_ID, ENTRY_USER, ENTRY_DAT) "
            u"SELECT printf('B%08d', i), 'user ' || (1 + i % 20), datetime('now', 'localtime', '-' || (i % 365) || "
            u"' days') FROM n"_s.arg(kSamples - 1));
    for (const QString& table : {u"RESULTS"_s, u"RAW_RESULTS"_s}) {
        const QString time = table == u"RESULTS" ? u"MEAS_TIME_STAMP"_s : u"TIME_STAMP"_s;
        db.exec(u"WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < %1) "
                u"INSERT INTO %2 (SAMPLE_ID, PARAMETER_ID, RESULT, ANALYZER_ID, %3) "
                u"SELECT printf('B%08d', i / %4), 1 + i % %4, CAST(i % 700 AS TEXT), "
                u"CASE i % 6 WHEN 0 THEN 'AN1' WHEN 1 THEN 'AN2' WHEN 2 THEN 'L1' WHEN 3 THEN 'L10' "
                u"WHEN 4 THEN 'L2' ELSE 'L3' END, datetime('now', 'localtime', '-1 days', '-' || (i % 525600) || "
                u"' minutes') FROM n"_s.arg(QString::number(kSamples * kResultsPerSample - 1), table, time,
                                            QString::number(kResultsPerSample)));
    }
    // A year of day and shift markers and earlier sessions of the stations.
    db.exec(u"WITH RECURSIVE n(i) AS (SELECT 0 UNION ALL SELECT i + 1 FROM n WHERE i < 8759) "
            u"INSERT INTO quorix_log (time_stamp, log_key, log_val) SELECT datetime('now', 'localtime', '-1 days', "
            u"'-' || i || ' hours'), CASE i % 4 WHEN 0 THEN 'L1' WHEN 1 THEN 'L10' WHEN 2 THEN 'd_change' "
            u"ELSE 's_change' END, CASE WHEN i % 4 < 2 THEN 'SessionStart' END FROM n"_s);
    seed.commit();
}

double percentile(std::vector<double> times, double share)
{
    std::sort(times.begin(), times.end());
    const auto index = std::size_t(std::clamp(share * double(times.size()) - 1, 0.0, double(times.size() - 1)));
    return times.at(index);
}

} // namespace

int main(int argc, char* argv[])
{
    NameSystemTimeZone(); // as the program does
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int count = args.size() > 1 ? args.at(1).toInt() : 2000;

    bench::BenchStation station;
    AppConfig& config = station.config;
    config.RunType = u"INPUT"_s;
    config.StationId = u"L1"_s;
    config.TestParameter = 8;
    config.AutoVal = u"1"_s;
    station.open();
    QElapsedTimer timer;
    timer.start();
    seed(station.db());
    QTextStream out(stdout);
    out << "entry_bench: " << kSamples << " samples, " << kSamples * kResultsPerSample
        << " results and raw results generated in " << QString::number(timer.elapsed() / 1000.0, 'f', 1) << " s\n"
        << Qt::flush;

    timer.restart();
    const QString table = CreateSessionTable(station.db(), config.RunType, config.StationId);
    EntrySession session(station.ctx(), table);
    session.load();
    const double loading = timer.nsecsElapsed() / 1e6;
    if (!session.chooseUser(u"U3"_s).done())
        return 1;

    std::vector<double> times;
    times.reserve(std::size_t(count));
    for (int i = 0; i < count; ++i) {
        // Every other sample has results already: its result of the parameter is replaced.
        const QString sample =
            i % 2 == 0 ? u"B%1"_s.arg(i * 37 % kSamples, 8, 10, QChar(u'0')) : u"N%1"_s.arg(i, 8, 10, QChar(u'0'));
        const QString result = i % 10 == 0 ? u"12,5"_s : QString::number(i % 900);
        timer.restart();
        if (!session.storeEntry(sample, result).done())
            return 1;
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    timer.restart();
    if (!session.clearSession().done())
        return 1;
    const double clearing = timer.nsecsElapsed() / 1e6;

    const auto ms = [](double value) -> QString { return QString::number(value, 'f', 2) + u" ms"_s; };
    out << "  loading the window (marker, parameter, users): " << ms(loading) << '\n'
        << "  " << count << " entries: median " << ms(percentile(times, 0.5)) << ", 99th percentile "
        << ms(percentile(times, 0.99)) << ", longest " << ms(*std::max_element(times.begin(), times.end())) << '\n'
        << "  Clear Session of " << count << " entries: " << ms(clearing) << '\n'
        << "  peak memory " << QString::number(bench::PeakMemoryBytes() / 1048576.0, 'f', 1) << " MiB\n";
    return 0;
}
