#include "LabStation.h"
#include "TestMain.h"
#include "core/Error.h"
#include "labdb/Connection.h"
#include "labdb/DbError.h"
#include "labdb/DialectFactory.h"
#include "qclink/QcOrders.h"

#include <QProcess>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

std::unique_ptr<Database> OpenSqlite(const QString& path)
{
    ConnectionParameters p;
    p.databaseName = path;
    auto db = std::make_unique<Database>(MakeDialect(Engine::Sqlite), p);
    db->open();
    return db;
}

// Each row of a query as its values joined by "|", NULL as "NULL".
QStringList Rows(Database& db, const QString& sql, const QVariantList& values = {})
{
    QStringList rows;
    for (const Row& row : db.query(sql, values)) {
        QStringList texts;
        for (qsizetype i = 0; i < row.size(); ++i)
            texts << (row.at(i).isNull() ? u"NULL"_s : row.at(i).toString());
        rows << texts.join(u'|');
    }
    return rows;
}

// Every row of the analyser's tables, to compare before and after.
QStringList Dump(Database& analyser)
{
    QStringList rows;
    for (const QString& table : {u"samp_odr"_s, u"samp_dat"_s, u"itempara"_s})
        rows << Rows(analyser, u"SELECT '%1', * FROM %1"_s.arg(table));
    rows.sort();
    return rows;
}

const QString kToday = u"datetime('now','localtime','start of day')"_s;
const QString kYesterday = u"datetime('now','localtime','start of day','-1 day')"_s;

// An earlier order of the analyser: its samp_odr row and one item.
void PutOrder(Database& analyser, const QString& sample, const QString& day, int number)
{
    analyser.exec(u"INSERT INTO samp_odr (samp_id, fdate, samp_no, barID) VALUES (?, %1, ?, ?)"_s.arg(day),
                  {sample, number, sample});
    analyser.exec(u"INSERT INTO samp_dat (samp_id, fdate, item_no) VALUES (?, %1, 1)"_s.arg(day), {sample});
}

// The analyser AN1 with its SQLite order database, beside a laboratory database of the
// data row's engine.
struct Bench {
    explicit Bench(const QString& engine)
        : station(engine)
    {
        if (!station.available())
            return;
        station.config.StationId = u"AN1"_s;
        station.config.AccessPath = station.scratch.folder() + u"/analyser.sqlite"_s;
        test::RunSqlScript(*OpenSqlite(station.config.AccessPath), u"/examples/analyser-schema.sql"_s);
        analyser = ConnectAnalyzerDatabase(ConnectionSettingsOf(station.config));
    }
    // control_block and param2channel rows of an analyser.
    void block(const QString& control, const QVariantList& parameters, const QString& analyzer = u"AN1"_s)
    {
        for (const QVariant& parameter : parameters)
            station.db().exec(u"INSERT INTO control_block (control_id, parameter_id, analyzer_id) VALUES (?, ?, ?)"_s,
                              {control, parameter, analyzer});
    }
    void channel(qint64 parameter, qint64 channel, const QString& analyzer = u"AN1"_s)
    {
        station.db().exec(u"INSERT INTO param2channel (parameter_id, analyzer_id, channel_id) VALUES (?, ?, ?)"_s,
                          {parameter, analyzer, channel});
    }
    QList<QcOrder> write() { return WriteQcOrders(station.ctx(), *analyser); }
    // Today's orders as "control|number|items".
    QStringList todaysOrders()
    {
        return Rows(
            *analyser,
            u"SELECT samp_id, samp_no, ord_total FROM samp_odr WHERE fdate = %1 ORDER BY samp_no"_s.arg(kToday));
    }

    test::LabStation station;
    std::unique_ptr<Database> analyser;
};

#define KESTRIN_BENCH(name)                                                                                            \
    QFETCH(QString, engine);                                                                                           \
    Bench name(engine);                                                                                                \
    KESTRIN_REQUIRE(name.station.scratch)

// A folder for whole Kestrin runs on the demo data: INI file, laboratory and analyser files.
struct DemoFolder {
    DemoFolder()
    {
        test::WriteFile(dir.filePath(u"lab.ini"_s),
                        "engine=sqlite\ndatabase=lab.sqlite\nAccessPath=analyser.sqlite\nComLogPath=log\n"
                        "ImportPath=in\nExportPath=out\nTempExportPath=tmp\nshiftlen=8\n"
                        "firstshift=01.01.2019 06:00:00\nImportExtension=hl7\n");
        QDir(dir.path()).mkpath(u"out"_s); // the hospital's share is there; Kestrin never makes it
        AppConfig config;
        config.Engine = Engine::Sqlite;
        config.DatabaseName = dir.filePath(u"lab.sqlite"_s);
        test::RunSqlScript(*ConnectDatabase(ConnectionSettingsOf(config), MissingDatabase::Created),
                           u"/examples/demo-data.sql"_s);
        test::RunSqlScript(*OpenSqlite(dir.filePath(u"analyser.sqlite"_s)), u"/examples/analyser-schema.sql"_s);
        analyser = OpenSqlite(dir.filePath(u"analyser.sqlite"_s));
    }
    std::unique_ptr<QProcess> start(const QString& what = u"/cycle=import"_s, const QString& ini = u"lab.ini"_s)
    {
        auto process = std::make_unique<QProcess>();
        process->start(test::KestrinProgram(), {u"/ini="_s + dir.filePath(ini), u"/type=MGC"_s, u"/id=AN1"_s, what});
        return process;
    }
    QTemporaryDir dir;
    std::unique_ptr<Database> analyser;
};

} // namespace

class TestQcOrders : public QObject {
    Q_OBJECT
private slots:
    void ordersTheControls_data() { test::AddEngineRows(); }
    void ordersTheControls();
    void rerunReplacesAndNumbersAbove_data() { test::AddEngineRows(); }
    void rerunReplacesAndNumbersAbove();
    void withoutControlBlocksNothingChanges_data() { test::AddEngineRows(); }
    void withoutControlBlocksNothingChanges();
    void failureLeavesTheAnalyserAsItWas_data();
    void failureLeavesTheAnalyserAsItWas();
    void busyAnalyserFailsCleanlyThenNumbersAbove();
    void mgcStartOrdersTheDemoControls();
    void startsAtOnceNeverShareANumber();
    void checkNamesMissingAnalyserTables();
};

void TestQcOrders::ordersTheControls()
{
    KESTRIN_BENCH(bench);
    bench.block(u"QC-A"_s, {8, 1, 4});
    bench.block(u"QC-B"_s, {5, 6, 70000}); // no channel; a channel without name; beyond 16 bits
    bench.block(u"QC-C"_s, {1}, u"AN2"_s);
    for (const auto& [parameter, channel] : {std::pair{1, 1}, {4, 4}, {8, 8}, {6, 9}, {70000, 100000}})
        bench.channel(parameter, channel);
    bench.channel(5, 3, u"AN2"_s);
    bench.analyser->exec(u"INSERT INTO itempara (item_no, item_name) VALUES (9, NULL)"_s);
    PutOrder(*bench.analyser, u"QC-A"_s, kYesterday, 6);
    PutOrder(*bench.analyser, u"S-1"_s, kYesterday, 5);

    const QList<QcOrder> orders = bench.write();
    QCOMPARE(orders.size(), 2);
    QCOMPARE(orders[1].controlId, u"QC-B"_s);
    QCOMPARE(orders[1].sampleNumber, 2);
    QCOMPARE(orders[1].items, 3);
    QCOMPARE(bench.todaysOrders(), (QStringList{u"QC-A|1|3"_s, u"QC-B|2|3"_s}));
    QCOMPARE(Rows(*bench.analyser, u"SELECT samp_id, samp_no FROM samp_odr WHERE fdate <> %1"_s.arg(kToday)),
             QStringList{u"S-1|5"_s});
    QCOMPARE(Rows(*bench.analyser,
                  u"SELECT samp_id, item_no, item_name FROM samp_dat WHERE fdate = %1 "
                  u"ORDER BY samp_id, item_no"_s.arg(kToday)),
             (QStringList{u"QC-A|1|AMP"_s, u"QC-A|4|COC"_s, u"QC-A|8|THC"_s, u"QC-B|0|ni(0)"_s, u"QC-B|9|ni(9)"_s,
                          u"QC-B|100000|ni(100000)"_s}));
    // Every column of the two tables as the analyser expects it.
    const QString today = bench.analyser->first(u"SELECT %1 AS d"_s.arg(kToday))->text(u"d");
    QCOMPARE(
        Rows(*bench.analyser, u"SELECT * FROM samp_odr WHERE samp_id = 'QC-A'"_s),
        QStringList{u"QC-A|%1|1|1|1|0|0|0|1|0|0|1|NULL|3|0|NULL|NULL|NULL|1|0|0|0|0|0|0|0|0|0|0|QC-A"_s.arg(today)});
    QCOMPARE(Rows(*bench.analyser, u"SELECT * FROM samp_dat WHERE samp_id = 'QC-B' AND item_no = 0"_s),
             QStringList{u"QC-B|%1|1|0|0|ni(0)|0|0|1|NULL|NULL|NULL|NULL|0|0|0|0|NULL"_s.arg(today)});
}

void TestQcOrders::rerunReplacesAndNumbersAbove()
{
    KESTRIN_BENCH(bench);
    bench.block(u"QC-A"_s, {1, 4});
    bench.block(u"QC-B"_s, {8});
    bench.write();
    PutOrder(*bench.analyser, u"S-7"_s, kToday, 7);
    TransferQcOrders(bench.station.ctx(), *bench.analyser);
    QCOMPARE(bench.todaysOrders(), (QStringList{u"S-7|7|NULL"_s, u"QC-A|8|2"_s, u"QC-B|9|1"_s}));
    QCOMPARE(Rows(*bench.analyser, u"SELECT COUNT(*) FROM samp_dat WHERE samp_id LIKE 'QC-%'"_s), QStringList{u"3"_s});
    const QStringList log = bench.station.logLines();
    QVERIFY(log.contains(u"Monitor: QC order QC-A: sample number 8, 2 items"_s));
    QVERIFY2(log.last().startsWith(u"Monitor: QC orders for analyser AN1: 2 controls with 3 items written into "_s),
             qPrintable(log.last()));
}

void TestQcOrders::withoutControlBlocksNothingChanges()
{
    KESTRIN_BENCH(bench);
    bench.block(u"QC-A"_s, {1}, u"AN2"_s);
    PutOrder(*bench.analyser, u"QC-A"_s, kYesterday, 1);
    const QStringList before = Dump(*bench.analyser);
    TransferQcOrders(bench.station.ctx(), *bench.analyser);
    QCOMPARE(Dump(*bench.analyser), before);
    QVERIFY(bench.station.logLines().last().endsWith(u"nothing was written."_s));
}

void TestQcOrders::failureLeavesTheAnalyserAsItWas_data()
{
    QTest::addColumn<QString>("analyserSql");
    QTest::addColumn<QString>("labSql");
    QTest::newRow("pass 2 statement fails")
        << u"CREATE TRIGGER refuse BEFORE INSERT ON samp_dat WHEN NEW.samp_id = 'QC-B' "
           u"BEGIN SELECT RAISE(ABORT, 'refused'); END"_s
        << QString();
    QTest::newRow("pass 3 statement fails")
        << u"CREATE TRIGGER refuse BEFORE INSERT ON samp_odr WHEN NEW.samp_id = 'QC-B' "
           u"BEGIN SELECT RAISE(ABORT, 'refused'); END"_s
        << QString();
    QTest::newRow("item names unreadable") << u"ALTER TABLE itempara RENAME COLUMN item_name TO name"_s << QString();
    QTest::newRow("channel beyond 32 bits")
        << QString() << u"UPDATE param2channel SET channel_id = 5000000000 WHERE parameter_id = 8"_s;
}

void TestQcOrders::failureLeavesTheAnalyserAsItWas()
{
    QFETCH(QString, analyserSql);
    QFETCH(QString, labSql);
    Bench bench(u"sqlite"_s);
    bench.block(u"QC-A"_s, {1, 4});
    bench.block(u"QC-B"_s, {8});
    bench.channel(8, 8);
    PutOrder(*bench.analyser, u"QC-A"_s, kYesterday, 2);
    PutOrder(*bench.analyser, u"QC-B"_s, kToday, 3);
    if (!analyserSql.isEmpty())
        bench.analyser->exec(analyserSql);
    if (!labSql.isEmpty())
        bench.station.db().exec(labSql);
    const QStringList before = Dump(*bench.analyser);
    QVERIFY_THROWS_EXCEPTION(StartupError, TransferQcOrders(bench.station.ctx(), *bench.analyser));
    QCOMPARE(Dump(*bench.analyser), before);
    QVERIFY(bench.station.logLines().last().startsWith(
        u"Monitor: QC orders for analyser AN1 failed; the analyser database keeps what it had: "_s));
}

// Another writer holds the analyser database: the transfer gives up without a trace, and
// once that writer is done, numbers above what it wrote.
void TestQcOrders::busyAnalyserFailsCleanlyThenNumbersAbove()
{
    Bench bench(u"sqlite"_s);
    bench.block(u"QC-A"_s, {1});
    bench.block(u"QC-B"_s, {4});
    bench.analyser->exec(u"PRAGMA busy_timeout=100"_s);
    const QStringList before = Dump(*bench.analyser);
    const auto other = ConnectAnalyzerDatabase(ConnectionSettingsOf(bench.station.config));
    Transaction held(*other);
    PutOrder(*other, u"S-7"_s, kToday, 7);
    QVERIFY_THROWS_EXCEPTION(DbError, bench.write());
    QCOMPARE(Dump(*bench.analyser), before);
    held.commit();
    bench.write();
    QCOMPARE(bench.todaysOrders(), (QStringList{u"S-7|7|NULL"_s, u"QC-A|8|1"_s, u"QC-B|9|1"_s}));
}

// The demo's controls reach the analyser at an MGC start; a failing start ends with status 2
// and leaves the analyser as it was.
void TestQcOrders::mgcStartOrdersTheDemoControls()
{
    DemoFolder demo;
    auto run = demo.start();
    QVERIFY(run->waitForFinished(60000));
    QVERIFY2(run->exitCode() == 0, run->readAllStandardError().constData());
    QCOMPARE(Rows(*demo.analyser, u"SELECT samp_id, samp_no, ord_total FROM samp_odr ORDER BY samp_no"_s),
             (QStringList{u"QC-HIGH-1|1|5"_s, u"QC-LOW-1|2|5"_s, u"QC-MED-1|3|5"_s}));
    QCOMPARE(Rows(*demo.analyser, u"SELECT item_name FROM samp_dat WHERE samp_id = 'QC-LOW-1' ORDER BY item_no"_s),
             (QStringList{u"AMP"_s, u"BZD"_s, u"COC"_s, u"OPI"_s, u"THC"_s}));

    demo.analyser->exec(u"CREATE TRIGGER refuse BEFORE INSERT ON samp_odr WHEN NEW.samp_id = 'QC-LOW-1' "
                        u"BEGIN SELECT RAISE(ABORT, 'refused'); END"_s);
    const QStringList before = Dump(*demo.analyser);
    run = demo.start();
    QVERIFY(run->waitForFinished(60000));
    QCOMPARE(run->exitCode(), 2);
    const QString said = QString::fromUtf8(run->readAllStandardError());
    QVERIFY2(said.contains(u"QC orders for analyser AN1"_s) && said.contains(u"refused"_s), qPrintable(said));
    QCOMPARE(Dump(*demo.analyser), before);
}

// Several MGC starts for one analyser at the same moment take turns.
void TestQcOrders::startsAtOnceNeverShareANumber()
{
    DemoFolder demo;
    PutOrder(*demo.analyser, u"S-1"_s, kToday, 1);
    std::vector<std::unique_ptr<QProcess>> starts;
    // As from four machines: one analyser, a log folder each (one station starts once per log folder).
    const QByteArray ini = test::ReadFile(demo.dir.filePath(u"lab.ini"_s));
    for (int i = 0; i < 4; ++i) {
        const QString name = u"lab%1.ini"_s.arg(i);
        const QByteArray logFolder = "ComLogPath=log" + QByteArray::number(i);
        test::WriteFile(demo.dir.filePath(name), QByteArray(ini).replace("ComLogPath=log", logFolder));
        starts.push_back(demo.start(u"/cycle=import"_s, name));
    }
    for (const auto& start : starts) {
        QVERIFY(start->waitForFinished(60000));
        QVERIFY2(start->exitCode() == 0, start->readAllStandardError().constData());
    }
    QCOMPARE(Rows(*demo.analyser, u"SELECT samp_id, samp_no FROM samp_odr ORDER BY samp_no"_s),
             (QStringList{u"S-1|1"_s, u"QC-HIGH-1|2"_s, u"QC-LOW-1|3"_s, u"QC-MED-1|4"_s}));
    QCOMPARE(Rows(*demo.analyser, u"SELECT COUNT(*) FROM samp_dat"_s), QStringList{u"16"_s});
}

void TestQcOrders::checkNamesMissingAnalyserTables()
{
    DemoFolder demo;
    auto check = demo.start(u"/check"_s);
    QVERIFY(check->waitForFinished(60000));
    QString said = QString::fromUtf8(check->readAllStandardOutput());
    QVERIFY2(check->exitCode() == 0 && said.contains(u"\nAnalyser database: connected to "_s), qPrintable(said));
    demo.analyser->exec(u"DROP TABLE itempara"_s);
    check = demo.start(u"/check"_s);
    QVERIFY(check->waitForFinished(60000));
    said = QString::fromUtf8(check->readAllStandardOutput());
    QVERIFY2(check->exitCode() == 2 && said.contains(u"\nAnalyser tables: missing itempara\n"_s), qPrintable(said));
}

KESTRIN_TEST_MAIN(TestQcOrders)
#include "tst_qcorders.moc"
