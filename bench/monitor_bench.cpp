// Request monitor benchmark: N requests (5 tests per sample, sample IDs in random order,
// every other one with a result) and N/15 queued results, on a fresh embedded database or on
// PostgreSQL. Times, as the median of 3 rounds: opening the monitor window until its first
// picture and until the counts are in its status line, one RELOAD, scrolling the request list
// to its end right after it (waiting for the counts first where they are not in yet), the page
// in the middle of it, the page after that and one ten pages further; says whether a read transaction stays open
// between pages (SQLite: another connection empties the WAL file; PostgreSQL: the monitor's
// connections are "idle", not "idle in transaction"). Then, once, every page one after
// another, and the pages held and the peak memory after it.
//
//   monitor_bench [N=1000000] [sqlite|postgres]
//
// "postgres" runs on the server that KESTRIN_TEST_PG names, in a schema of its own.

#include "BenchStation.h"
#include "PeakMemory.h"
#include "core/Error.h"
#include "monitors/PagedListModel.h"
#include "monitors/RequestMonitor.h"
#include "monitors/RequestMonitorWindow.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTableView>
#include <QTextStream>
#include <QUuid>

#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

constexpr int kRounds = 3;
constexpr int kRowsPerInsert = 5000;

double msOf(const QElapsedTimer& timer) { return timer.nsecsElapsed() / 1e6; }

void waitForCounts(const RequestMonitor& monitor)
{
    while (monitor.requestCount() < 0 && !monitor.failed())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

QString median(QList<double> times)
{
    std::ranges::sort(times);
    return QString::number(times.at(times.size() / 2), 'f', 1) + u" ms (of "_s +
        QString::number(times.first(), 'f', 1) + u" to "_s + QString::number(times.last(), 'f', 1) + u")"_s;
}

// Ten tests, then the requests and the queue in one transaction, a few thousand rows a
// statement.
void fill(Database& db, int requests)
{
    const int samples = requests / 5;
    Transaction seed(db);
    QList<QVariantList> tests;
    for (int p = 1; p <= 10; ++p)
        tests << QVariantList{p, u"T%1"_s.arg(p), u"Test %1"_s.arg(p), u"T%1"_s.arg(p), p};
    db.insertRows(u"TEST_DEF"_s, {u"PARAMETER_ID"_s, u"SHORT"_s, u"LONG"_s, u"IMP_CODE_LDT"_s, u"PRINT_POS"_s}, tests);
    std::vector<int> order(static_cast<size_t>(samples));
    std::iota(order.begin(), order.end(), 0);
    std::shuffle(order.begin(), order.end(), QRandomGenerator(4711));
    QList<QVariantList> rows;
    QList<QVariantList> queued;
    const auto flush = [&] {
        db.insertRows(u"REQUEST"_s, {u"SAMPLE_ID"_s, u"PARAMETER_ID"_s, u"RESULT"_s}, rows);
        db.insertRows(u"REQ2SEND"_s, {u"SAMPLE_ID"_s, u"PARAMETER_ID"_s}, queued);
        rows.clear();
        queued.clear();
    };
    for (int i = 0; i < samples; ++i) {
        const QString sample = u"26%1"_s.arg(order[size_t(i)], 7, 10, QChar(u'0'));
        for (int t = 0; t < 5; ++t) {
            const int parameter = 1 + (i + t * 2) % 10;
            rows << QVariantList{sample, parameter, t % 2 ? QVariant(QString::number(parameter * 17)) : QVariant()};
            if (i % 3 == 0 && t == 0)
                queued << QVariantList{sample, parameter};
        }
        if (rows.size() >= kRowsPerInsert)
            flush();
    }
    flush();
    seed.commit();
    if (db.dialect().engine() == u"postgres")
        db.exec(u"ANALYZE REQUEST, REQ2SEND, TEST_DEF"_s); // as autovacuum would have done on a laboratory's server
}

// Whether the monitor's connection holds a read transaction while the window is shown.
class OpenTransaction {
public:
    OpenTransaction(Database& db, QString application)
        : m_other(db.newConnection())
        , m_application(std::move(application))
    {
        m_other->open();
    }

    QString state()
    {
        if (m_other->dialect().engine() == u"postgres")
            return u"monitor's connection "_s +
                m_other
                    ->first(
                        u"SELECT string_agg(state, ', ') FROM pg_stat_activity WHERE application_name = ? AND pid <> pg_backend_pid()"_s,
                        {m_application})
                    ->at(0)
                    .toString();
        m_other->exec(u"INSERT INTO quorix_log (log_key) VALUES (?)"_s, {u"meanwhile"_s});
        return m_other->first(u"PRAGMA wal_checkpoint(TRUNCATE)"_s)->at(0).toInt() == 0
            ? u"another connection checkpoints"_s
            : u"checkpoint BUSY (a read transaction is open)"_s;
    }

private:
    std::unique_ptr<Database> m_other;
    QString m_application;
};

int run(bench::BenchStation& station, int requests, const QString& application)
{
    Database& db = station.db();
    QTextStream out(stdout);
    QElapsedTimer timer;
    timer.start();
    fill(db, requests);
    out << "monitor_bench: " << requests << " requests, " << (requests / 5 + 2) / 3 << " queued results on "
        << db.dialect().engine() << " (filled in " << QString::number(msOf(timer) / 1000, 'f', 1) << " s)\n"
        << Qt::flush;
    OpenTransaction transaction(db, application);
    const qint64 before = bench::PeakMemoryBytes();
    QList<double> opening, counted, reload, toEnd, middle, next, further;
    QString between;
    bool complete = true;
    for (int round = 0; round < kRounds; ++round) {
        RequestMonitor monitor(station.ctx());
        RequestMonitorWindow window(monitor);
        timer.restart();
        window.open();
        QCoreApplication::processEvents();
        window.grab();
        opening << msOf(timer);
        waitForCounts(monitor);
        window.grab();
        counted << msOf(timer);

        timer.restart();
        complete = monitor.update() && complete;
        window.grab();
        reload << msOf(timer);

        // To the end as the user pulls the scroll bar down at once after RELOAD.
        auto* grid = window.findChild<QTableView*>(u"DataGrid1"_s);
        QAbstractItemModel* list = monitor.requests();
        timer.restart();
        waitForCounts(monitor);
        grid->scrollToBottom();
        window.grab();
        toEnd << msOf(timer);
        const QString last = list->data(list->index(list->rowCount() - 1, 0)).toString();

        const int half = int(monitor.requestCount() / 2);
        timer.restart();
        grid->scrollTo(list->index(half, 0));
        window.grab();
        middle << msOf(timer);
        timer.restart();
        grid->scrollTo(list->index(half + PagedListModel::kPageRows, 0));
        window.grab();
        next << msOf(timer);
        timer.restart();
        grid->scrollTo(list->index(half + 11 * PagedListModel::kPageRows, 0));
        window.grab();
        further << msOf(timer);
        between = transaction.state();
        complete = complete && monitor.requestCount() == requests && list->rowCount() == requests && !last.isEmpty();
        window.close();
    }

    // Every page once, one after another, as a view would read them scrolled line by line.
    RequestMonitor monitor(station.ctx());
    complete = monitor.update() && complete;
    waitForCounts(monitor);
    auto* list = qobject_cast<PagedListModel*>(monitor.requests());
    timer.restart();
    int shown = 0;
    for (int row = 0; row < list->rowCount(); row += PagedListModel::kPageRows)
        shown += list->data(list->index(row, 0)).isNull() ? 0 : 1;
    const double everyPage = msOf(timer);
    complete = complete && shown == (requests + PagedListModel::kPageRows - 1) / PagedListModel::kPageRows;

    out << "  opening until the first picture: " << median(opening) << '\n'
        << "  opening until the counts are shown: " << median(counted) << '\n'
        << "  RELOAD: " << median(reload) << '\n'
        << "  scrolled to the end right after RELOAD: " << median(toEnd) << '\n'
        << "  the page in the middle: " << median(middle) << '\n'
        << "  the page after it: " << median(next) << '\n'
        << "  ten pages further: " << median(further) << '\n'
        << "  between pages: " << between << '\n'
        << "  every page once, one after another: " << QString::number(everyPage / 1000, 'f', 2) << " s, "
        << list->keptPages() << " pages held after it\n"
        << "  peak memory " << QString::number(bench::PeakMemoryBytes() / 1048576.0, 'f', 1) << " MiB (before opening "
        << QString::number(before / 1048576.0, 'f', 1) << " MiB)\n";
    return complete ? 0 : 1;
}

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int requests = args.size() > 1 ? args.at(1).toInt() : 1000000;
    try {
        bench::BenchStation station;
        std::unique_ptr<bench::PostgresSchema> schema;
        if (args.value(2) == u"postgres")
            schema = std::make_unique<bench::PostgresSchema>(station.config);
        station.open();
        // Connections opened from here on (the monitor's) are known to the server by this name.
        const QString application = u"kb_monitor_"_s + QUuid::createUuid().toString(QUuid::Id128).left(12);
        qputenv("PGOPTIONS", qgetenv("PGOPTIONS") + " -capplication_name=" + application.toLatin1());
        return run(station, requests, application);
    } catch (const std::exception& e) {
        QTextStream(stderr) << "monitor_bench: " << ErrorText(e) << Qt::endl;
        return 2;
    }
}
