// Request monitor benchmark: N requests (5 tests per sample, sample IDs in random order,
// every other one with a result) and N/15 queued results on a fresh embedded database. Times
// opening the monitor window until its first picture, one RELOAD, and reading every request
// page by page; prints how many rows the lists fetched and the peak memory.
//
//   monitor_bench [N=300000]

#include "BenchStation.h"
#include "PeakMemory.h"
#include "monitors/PagedListModel.h"
#include "monitors/RequestMonitor.h"
#include "monitors/RequestMonitorWindow.h"

#include <QAbstractItemModel>
#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTextStream>

#include <algorithm>
#include <numeric>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

QString ms(const QElapsedTimer& timer) { return QString::number(timer.nsecsElapsed() / 1e6, 'f', 0) + u" ms"_s; }

} // namespace

int main(int argc, char* argv[])
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const int requests = args.size() > 1 ? args.at(1).toInt() : 300000;
    const int samples = requests / 5;

    bench::BenchStation station;
    station.open();
    Database& db = station.db();
    {
        Transaction seed(db);
        for (int p = 1; p <= 10; ++p)
            db.exec(
                u"INSERT INTO TEST_DEF (PARAMETER_ID, SHORT, LONG, IMP_CODE_LDT, PRINT_POS) VALUES (?, ?, ?, ?, ?)"_s,
                {p, u"T%1"_s.arg(p), u"Test %1"_s.arg(p), u"T%1"_s.arg(p), p});
        std::vector<int> order(static_cast<size_t>(samples));
        std::iota(order.begin(), order.end(), 0);
        std::shuffle(order.begin(), order.end(), QRandomGenerator(4711));
        for (int i = 0; i < samples; ++i) {
            const QString sample = u"26%1"_s.arg(order[size_t(i)], 6, 10, QChar(u'0'));
            for (int t = 0; t < 5; ++t) {
                const int parameter = 1 + (i + t * 2) % 10;
                db.exec(u"INSERT INTO REQUEST (SAMPLE_ID, PARAMETER_ID, RESULT) VALUES (?, ?, ?)"_s,
                        {sample, parameter, t % 2 ? QVariant(QString::number(parameter * 17)) : QVariant()});
                if (i % 3 == 0 && t == 0)
                    db.exec(u"INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s, {sample, parameter});
            }
        }
        seed.commit();
    }

    QTextStream out(stdout);
    out << "monitor_bench: " << requests << " requests, " << (samples + 2) / 3 << " queued results\n";
    const qint64 before = bench::PeakMemoryBytes();
    QElapsedTimer timer;
    timer.start();
    RequestMonitor monitor(station.ctx());
    RequestMonitorWindow window(monitor);
    window.open();
    QCoreApplication::processEvents();
    window.grab();
    out << "  opening until the first picture: " << ms(timer) << " (rows fetched: " << monitor.requests()->rowCount()
        << " of " << monitor.requestCount() << " and " << monitor.req2send()->rowCount() << " of "
        << monitor.req2sendCount() << ")\n";
    timer.restart();
    const bool reloaded = monitor.update();
    window.grab();
    out << "  RELOAD: " << ms(timer) << '\n';
    // Page by page to the end, as scrolling reads them: each page seeks to where the last ended.
    QAbstractItemModel* requestList = monitor.requests();
    int pages = 0;
    timer.restart();
    while (requestList->canFetchMore({})) {
        requestList->fetchMore({});
        ++pages;
    }
    out << "  every request page by page: " << ms(timer) << " for " << pages << " pages of "
        << PagedListModel::kPageRows << " rows (" << requestList->rowCount() << " rows)\n"
        << "  peak memory " << QString::number(bench::PeakMemoryBytes() / 1048576.0, 'f', 1) << " MiB (before opening "
        << QString::number(before / 1048576.0, 'f', 1) << " MiB)\n";
    return reloaded && monitor.requestCount() == requests && requestList->rowCount() == requests ? 0 : 1;
}
