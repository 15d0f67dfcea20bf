#include "GuiTestMain.h"
#include "LabStation.h"
#include "OrderBuilder.h"
#include "TestEnvironment.h"
#include "hl7import/ImportCycle.h"
#include "labdb/DbError.h"
#include "monitors/RequestMonitor.h"
#include "monitors/RequestMonitorWindow.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QSemaphore>
#include <QTableView>
#include <QThread>

#include <atomic>

using namespace Qt::StringLiterals;
using namespace kestrin;
using test::OrderBuilder;

namespace {

// Every row the grid's model holds, its cells joined by "|".
QStringList rowsOf(const QTableView* grid)
{
    const QAbstractItemModel* model = grid->model();
    QStringList rows;
    for (int r = 0; r < model->rowCount(); ++r) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells << model->data(model->index(r, c)).toString();
        rows << cells.join(u'|');
    }
    return rows;
}

QStringList headingsOf(const QTableView* grid)
{
    const QAbstractItemModel* model = grid->model();
    QStringList headings;
    for (int c = 0; c < model->columnCount(); ++c)
        headings << model->headerData(c, Qt::Horizontal).toString();
    return headings;
}

// The rows [first, first + count) of a model, read in that order.
QStringList rowsOf(const QAbstractItemModel* model, int first, int count)
{
    QStringList rows;
    for (int r = first; r < first + count; ++r) {
        QStringList cells;
        for (int c = 0; c < model->columnCount(); ++c)
            cells << model->data(model->index(r, c)).toString();
        rows << cells.join(u'|');
    }
    return rows;
}

void addRequest(Database& db, const QVariant& sample, int parameter, const QVariant& result = {})
{
    db.exec(u"INSERT INTO REQUEST (SAMPLE_ID, PARAMETER_ID, RESULT) VALUES (?, ?, ?)"_s, {sample, parameter, result});
}

// The request monitor's window on a station's database, as the main window opens it.
struct Monitor {
    explicit Monitor(test::LabStation& station, RequestMonitor::Connect connect = {})
        : logic(station.ctx(), std::move(connect))
        , window(logic)
    {
        window.open();
    }
    QTableView* requests() const { return window.findChild<QTableView*>(u"DataGrid1"_s); }
    QTableView* req2send() const { return window.findChild<QTableView*>(u"DataGrid2"_s); }
    QString status() const { return window.findChild<QLabel*>(u"lblStatus"_s)->text(); }
    bool counted() const { return logic.requestCount() >= 0; }
    void reload() { QTest::mouseClick(window.findChild<QPushButton*>(u"Command1"_s), Qt::LeftButton); }

    RequestMonitor logic;
    RequestMonitorWindow window;
};

} // namespace

class TestRequestMonitor : public QObject {
    Q_OBJECT
private slots:
    void emptyDatabaseShowsOnlyHeadings_data() { test::AddEngineRows(); }
    void emptyDatabaseShowsOnlyHeadings();
    void reloadShowsImportedRequestsInOrder_data() { test::AddEngineRows(); }
    void reloadShowsImportedRequestsInOrder();
    void failingReloadKeepsTheLists_data();
    void failingReloadKeepsTheLists();
    void largeListIsFetchedAsScrolled_data() { test::AddEngineRows(); }
    void largeListIsFetchedAsScrolled();
    void pagesReadWhereverShown_data();
    void pagesReadWhereverShown();
    void countRunsAside_data() { test::AddEngineRows(); }
    void countRunsAside();
    void failingCountIsSaid_data() { test::AddEngineRows(); }
    void failingCountIsSaid();
    void failingPageIsSaid_data();
    void failingPageIsSaid();
    void screenshot();
};

void TestRequestMonitor::emptyDatabaseShowsOnlyHeadings()
{
    KESTRIN_STATION(station);
    Monitor monitor(station);
    QVERIFY(monitor.window.isVisible());
    QCOMPARE(rowsOf(monitor.requests()), QStringList());
    QCOMPARE(rowsOf(monitor.req2send()), QStringList());
    QCOMPARE(headingsOf(monitor.requests()), (QStringList{u"sample_id"_s, u"short"_s, u"result"_s}));
    QCOMPARE(headingsOf(monitor.req2send()), (QStringList{u"sample_id"_s, u"short"_s}));
    QCOMPARE(monitor.status(), u"Lists read at 20.01.2019 14:05:03; counting their rows…"_s);
    QTRY_COMPARE(monitor.status(), u"Request: 0 rows, Req2send: 0 rows, read at 20.01.2019 14:05:03"_s);
}

void TestRequestMonitor::reloadShowsImportedRequestsInOrder()
{
    KESTRIN_STATION(station);
    Monitor monitor(station);
    station.dropOrder(u"a.hl7"_s,
                      OrderBuilder().controlId(u"M2"_s).sample(u"4712"_s).test(u"THC"_s).test(u"AMP"_s).text());
    station.dropOrder(u"b.hl7"_s, OrderBuilder().controlId(u"M1"_s).sample(u"4711"_s).test(u"COC"_s).text());
    QCOMPARE(RunImportCycle(station.ctx()).handled, 2);
    station.db().exec(u"UPDATE REQUEST SET RESULT = ? WHERE SAMPLE_ID = ? AND PARAMETER_ID = ?"_s,
                      {u"74"_s, u"4712"_s, 8});
    station.db().exec(u"INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?), (?, ?)"_s,
                      {u"4712"_s, 8, u"4711"_s, 4});
    QCOMPARE(rowsOf(monitor.requests()), QStringList());

    station.clock.advance(60);
    monitor.reload();
    QCOMPARE(rowsOf(monitor.requests()), (QStringList{u"4711|COC|"_s, u"4712|AMP|"_s, u"4712|THC|74"_s}));
    QCOMPARE(rowsOf(monitor.req2send()), (QStringList{u"4711|COC"_s, u"4712|THC"_s}));
    QTRY_COMPARE(monitor.status(), u"Request: 3 rows, Req2send: 2 rows, read at 20.01.2019 14:06:03"_s);
}

void TestRequestMonitor::failingReloadKeepsTheLists_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<bool>("outage"); // the server is gone, else a table it reads is
    for (const QString& engine : {u"sqlite"_s, u"postgres"_s}) {
        QTest::addRow("%s connection lost", qPrintable(engine)) << engine << true;
        QTest::addRow("%s table gone", qPrintable(engine)) << engine << false;
    }
}

void TestRequestMonitor::failingReloadKeepsTheLists()
{
    KESTRIN_STATION(station);
    QFETCH(bool, outage);
    bool down = false;
    addRequest(station.db(), u"4711"_s, 1);
    station.db().exec(u"INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s, {u"4711"_s, 1});
    Monitor monitor(station, [&]() -> std::unique_ptr<Database> {
        if (down)
            throw DbError(u"server closed the connection unexpectedly"_s, {});
        return station.db().newConnection();
    });
    const QStringList requests{u"4711|AMP|"_s};
    QCOMPARE(rowsOf(monitor.requests()), requests);

    addRequest(station.db(), u"4712"_s, 8, u"12"_s);
    if (outage)
        down = true;
    else
        station.db().exec(u"ALTER TABLE TEST_DEF RENAME TO TEST_DEF_AWAY"_s);
    station.clock.advance(60);
    monitor.reload();
    QCOMPARE(rowsOf(monitor.requests()), requests);
    QCOMPARE(rowsOf(monitor.req2send()), QStringList{u"4711|AMP"_s});
    QVERIFY(monitor.logic.failed());
    QVERIFY2(monitor.status().startsWith(u"Reload failed at 20.01.2019 14:06:03: "_s), qPrintable(monitor.status()));
    if (outage)
        QVERIFY(monitor.status().contains(u"server closed the connection unexpectedly"_s));
    QVERIFY(monitor.status().endsWith(u"the lists show the database as read at 20.01.2019 14:05:03."_s));
    QVERIFY2(station.logLines().last().contains(u"Monitor: Request monitor: reload failed: "_s),
             qPrintable(station.logLines().last()));

    if (outage)
        down = false;
    else
        station.db().exec(u"ALTER TABLE TEST_DEF_AWAY RENAME TO TEST_DEF"_s);
    monitor.reload();
    QCOMPARE(rowsOf(monitor.requests()), (QStringList{u"4711|AMP|"_s, u"4712|THC|12"_s}));
    QVERIFY(!monitor.logic.failed());
    QTRY_VERIFY2(monitor.status().startsWith(u"Request: 2 rows, Req2send: 1 row, "_s), qPrintable(monitor.status()));
}

// Pages are read as the list is scrolled, each with a query of its own: between them nothing
// holds a read transaction, so another process writes and SQLite checkpoints its WAL file.
// Pages end inside a sample and inside rows that look alike, and a request without a sample
// ID comes first; scrolled to the end, the list holds every row once, in order.
void TestRequestMonitor::largeListIsFetchedAsScrolled()
{
    KESTRIN_STATION(station);
    QStringList expected{u"|AMP|"_s};
    {
        Transaction fill(station.db());
        addRequest(station.db(), {}, 1);
        for (int i = 0; i < 200; ++i) {
            const QString sample = u"S%1"_s.arg(i, 4, 10, QChar(u'0'));
            for (const int test : {8, 1, 4, 1, 4})
                addRequest(station.db(), sample, test);
            for (const char* row : {"|AMP|", "|AMP|", "|COC|", "|COC|", "|THC|"})
                expected << sample + QLatin1StringView(row);
        }
        fill.commit();
    }
    Monitor monitor(station);
    QAbstractItemModel* model = monitor.requests()->model();
    QCOMPARE(model->rowCount(), 256);
    monitor.requests()->scrollToBottom();
    QVERIFY2(model->rowCount() > 256 && model->rowCount() < 1001, qPrintable(QString::number(model->rowCount())));

    const auto other = station.scratch.connectAgain();
    other->exec(u"INSERT INTO quorix_log (log_key) VALUES (?)"_s, {u"meanwhile"_s});
    if (station.scratch.engine() == u"sqlite")
        QCOMPARE(other->first(u"PRAGMA wal_checkpoint(TRUNCATE)"_s)->at(0).toInt(), 0); // not busy

    // Counted, the list has every row at once.
    QTRY_COMPARE(monitor.logic.requestCount(), 1001);
    QVERIFY(monitor.status().startsWith(u"Request: 1001 rows, "_s));
    QCOMPARE(model->rowCount(), 1001);
    QVERIFY(!model->canFetchMore({}));
    QCOMPARE(rowsOf(monitor.requests()), expected);
}

// Three requests without a sample ID, then 200 samples of five requests with ties (AMP, AMP,
// COC, COC, THC), one of them (S0100) with 300 more AMP: 1303 rows, a page wholly inside one
// sample, page borders inside ties. The pages are read in the order given, on a counted list
// without a view; `change` happens after the first read, and the reads after it show either
// the rows that followed the page before (`whereShown` = "before") or the list's new end.
void TestRequestMonitor::pagesReadWhereverShown_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QList<int>>("pages");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("whereShown");
    for (const QString& engine : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char* name) -> QTestData& {
            return QTest::addRow("%s %s", qPrintable(engine), name) << engine;
        };
        row("start to end") << QList<int>{0, 1, 2, 3, 4, 5} << QString() << QString();
        row("end to start") << QList<int>{5, 4, 3, 2, 1, 0} << QString() << QString();
        row("middle first") << QList<int>{2, 3, 1, 0, 4, 5} << QString() << QString();
        row("after a middle page") << QList<int>{1, 2, 3, 5, 4, 0} << QString() << QString();
        row("scattered") << QList<int>{4, 2, 5, 0, 3, 1} << QString() << QString();
        row("two after a page read") << QList<int>{1, 3, 0} << QString() << QString();
        row("two before a page read") << QList<int>{5, 3, 0} << QString() << QString();
        row("next page, rows added before") << QList<int>{0, 1} << u"add S0010"_s << u"before"_s;
        row("next page, rows removed before") << QList<int>{0, 1} << u"remove S0010"_s << u"before"_s;
        row("end, rows added at the end") << QList<int>{0, 5} << u"add S9999"_s << u"end"_s;
        row("end, rows removed at the end") << QList<int>{0, 5} << u"remove S0199"_s << u"end"_s;
    }
}

void TestRequestMonitor::pagesReadWhereverShown()
{
    KESTRIN_STATION(station);
    QFETCH(QList<int>, pages);
    QFETCH(QString, change);
    QFETCH(QString, whereShown);
    const auto rowsWith = [](const QString& sample, int extraAmp) {
        QStringList rows;
        for (int i = 0; i < 2 + extraAmp; ++i)
            rows << sample + u"|AMP|"_s;
        return rows << sample + u"|COC|"_s << sample + u"|COC|"_s << sample + u"|THC|"_s;
    };
    QStringList expected{u"|AMP|"_s, u"|COC|"_s, u"|THC|"_s};
    {
        Transaction fill(station.db());
        for (const int test : {8, 1, 4})
            addRequest(station.db(), {}, test);
        for (int i = 0; i < 200; ++i) {
            const QString sample = u"S%1"_s.arg(i, 4, 10, QChar(u'0'));
            const int extra = i == 100 ? 300 : 0;
            for (int t = 0; t < 5 + extra; ++t)
                addRequest(station.db(), sample, t < 5 ? QList<int>{8, 1, 4, 1, 4}.at(t) : 1);
            expected << rowsWith(sample, extra);
        }
        fill.commit();
    }
    QCOMPARE(expected.size(), 1303);
    RequestMonitor monitor(station.ctx());
    QVERIFY(monitor.update());
    QTRY_COMPARE(monitor.requestCount(), 1303);
    const QAbstractItemModel* model = monitor.requests();
    const auto pageRows = [&](int page) { return int(std::min(256, model->rowCount() - page * 256)); };

    QStringList changed = expected; // the list after `change`, as far as its end goes
    for (qsizetype i = 0; i < pages.size(); ++i) {
        const int page = pages.at(i);
        const QStringList shown = rowsOf(model, page * 256, pageRows(page));
        if (i > 0 && whereShown == u"end")
            QCOMPARE(shown, changed.mid(changed.size() - shown.size()));
        else
            QCOMPARE(shown, expected.mid(page * 256, pageRows(page)));
        if (i > 0 || change.isEmpty())
            continue;
        const QString sample = change.section(u' ', 1);
        if (change.startsWith(u"add "_s)) {
            addRequest(station.db(), sample, 4);
            addRequest(station.db(), sample, 8);
            changed << sample + u"|COC|"_s << sample + u"|THC|"_s;
        } else {
            station.db().exec(u"DELETE FROM REQUEST WHERE SAMPLE_ID = ?"_s, {sample});
            changed.removeIf([&](const QString& row) { return row.startsWith(sample + u'|'); });
        }
    }
    QVERIFY(!monitor.failed());
}

// The count runs aside: the lists are there at once, the count of lists since reloaded is
// dropped, and closing the window while a count runs neither waits for it nor takes its result.
void TestRequestMonitor::countRunsAside()
{
    KESTRIN_STATION(station);
    addRequest(station.db(), u"4711"_s, 1);
    QSemaphore go;
    std::atomic<int> counts = 0;
    auto monitor = std::make_unique<Monitor>(station, [&]() -> std::unique_ptr<Database> {
        if (QThread::currentThread() != QCoreApplication::instance()->thread() && counts++ != 1)
            go.acquire(); // the first and the third count wait
        return station.db().newConnection();
    });
    QCOMPARE(rowsOf(monitor->requests()), QStringList{u"4711|AMP|"_s});

    addRequest(station.db(), u"4712"_s, 8);
    station.clock.advance(60);
    monitor->reload();
    const QString reloaded = u"Request: 2 rows, Req2send: 0 rows, read at 20.01.2019 14:06:03"_s;
    QTRY_COMPARE(monitor->status(), reloaded);
    addRequest(station.db(), u"4713"_s, 4);
    go.release();
    QTest::qWait(300); // the first count's result, were it taken, would say 3 rows
    QCOMPARE(monitor->status(), reloaded);
    QCOMPARE(monitor->logic.requestCount(), 2);
    QCOMPARE(monitor->requests()->model()->rowCount(), 2);

    monitor->reload();
    monitor->window.close();
    QCOMPARE(monitor->status(), QString());
    go.release();
    QTest::qWait(300);
    QCOMPARE(monitor->status(), QString());
    QCOMPARE(monitor->logic.requestCount(), -1);
    monitor.reset();
    QCOMPARE(counts.load(), 3);
}

// A count that fails is said (status line and log); the list still grows as it is scrolled.
void TestRequestMonitor::failingCountIsSaid()
{
    KESTRIN_STATION(station);
    for (int i = 0; i < 300; ++i)
        addRequest(station.db(), u"S%1"_s.arg(i, 4, 10, QChar(u'0')), 1);
    Monitor monitor(station, [&]() -> std::unique_ptr<Database> {
        if (QThread::currentThread() != QCoreApplication::instance()->thread())
            throw DbError(u"server closed the connection unexpectedly"_s, {});
        return station.db().newConnection();
    });
    QTRY_COMPARE(monitor.status(),
                 u"Lists read at 20.01.2019 14:05:03; counting their rows failed: "
                 "server closed the connection unexpectedly"_s);
    QVERIFY(monitor.logic.failed());
    QVERIFY(station.logLines().last().contains(u"Monitor: Request monitor: counting the rows failed: "_s));
    QAbstractItemModel* model = monitor.requests()->model();
    QTRY_VERIFY_WITH_TIMEOUT((monitor.requests()->scrollToBottom(), model->rowCount() == 300), 5000);
    QCOMPARE(monitor.logic.requestCount(), -1);
}

// A page that cannot be read (while the list grows, or once counted) says why (status line
// and log), shows nothing, and reads no further until RELOAD.
void TestRequestMonitor::failingPageIsSaid_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<bool>("counted");
    for (const QString& engine : {u"sqlite"_s, u"postgres"_s}) {
        QTest::addRow("%s growing", qPrintable(engine)) << engine << false;
        QTest::addRow("%s counted", qPrintable(engine)) << engine << true;
    }
}

void TestRequestMonitor::failingPageIsSaid()
{
    KESTRIN_STATION(station);
    QFETCH(bool, counted);
    for (int i = 0; i < 300; ++i)
        addRequest(station.db(), u"S%1"_s.arg(i, 4, 10, QChar(u'0')), 1);
    Monitor monitor(station);
    QAbstractItemModel* model = monitor.requests()->model();
    if (counted)
        QTRY_COMPARE(model->rowCount(), 300);
    station.db().exec(u"ALTER TABLE TEST_DEF RENAME TO TEST_DEF_AWAY"_s);
    station.clock.advance(60);
    if (counted) {
        QCOMPARE(model->data(model->index(299, 0)), QVariant());
        QCOMPARE(model->data(model->index(280, 0)), QVariant());
    } else {
        monitor.requests()->scrollToBottom();
        QCOMPARE(model->rowCount(), 256);
        QVERIFY(!model->canFetchMore({}));
    }
    QVERIFY(monitor.logic.failed());
    QVERIFY2(monitor.status().startsWith(u"Reading further rows failed at 20.01.2019 14:06:03: "_s),
             qPrintable(monitor.status()));
    QVERIFY(station.logLines().filter(u"Monitor: Request monitor: reading further rows failed: "_s).size() == 1);
    QTest::qWait(50); // a count arriving now leaves the failure said
    QVERIFY(monitor.status().startsWith(u"Reading further rows failed at "_s));

    station.db().exec(u"ALTER TABLE TEST_DEF_AWAY RENAME TO TEST_DEF"_s);
    monitor.reload();
    model = monitor.requests()->model();
    QTRY_COMPARE(model->rowCount(), 300);
    QCOMPARE(model->data(model->index(299, 0)).toString(), u"S0299"_s);
}

// KESTRIN_SCREENSHOT=path writes a picture of the monitor on the demo data after the demo's
// order files have been imported.
void TestRequestMonitor::screenshot()
{
    const QString path = qEnvironmentVariable("KESTRIN_SCREENSHOT");
    if (path.isEmpty())
        QSKIP("KESTRIN_SCREENSHOT names no file");
    test::LabStation station(u"sqlite"_s);
    station.scratch.loadDemoData();
    const QDir orders(test::SourceDir() + u"/examples/orders"_s);
    for (const QString& name : orders.entryList(QDir::Files))
        station.dropOrder(name, test::ReadFile(orders.filePath(name)));
    QCOMPARE(RunImportCycle(station.ctx()).stopped, false);
    station.db().exec(u"UPDATE REQUEST SET RESULT = ? WHERE SAMPLE_ID = ? AND PARAMETER_ID = ?"_s,
                      {u"142"_s, u"26001002"_s, 9});
    station.clock.set(QDateTime(QDate(2026, 12, 7), QTime(9, 14, 5)));
    Monitor monitor(station);
    QVERIFY(QTest::qWaitForWindowExposed(&monitor.window));
    QTRY_VERIFY(monitor.counted());
    QVERIFY(monitor.window.grab().save(path));
}

KESTRIN_GUI_TEST_MAIN(TestRequestMonitor)
#include "tst_requestmonitor.moc"
