#include "../entrystation/EntryFixture.h"
#include "../idstation/StationSeed.h"
#include "LabStation.h"
#include "OrderBuilder.h"
#include "TestMain.h"
#include "app/HealthReport.h"
#include "entrystation/EntrySession.h"
#include "hl7export/ExportCycle.h"
#include "hl7import/ImportCycle.h"
#include "idstation/SampleIdStation.h"
#include "labdb/Connection.h"
#include "labdb/DialectFactory.h"
#include "labdb/Patients.h"
#include "labdb/Schema.h"
#include "monitors/RequestMonitor.h"
#include "qclink/QcOrders.h"
#include "runtime/ChangeMarkers.h"

#include <QAbstractItemModel>
#include <QDir>

using namespace Qt::StringLiterals;
using namespace kestrin;

// The cycles and stations on the SQL Server dialect, run on SQLite (SqlServerStandIn.h): each
// scenario must succeed there, and every distinct statement text it sent is written into a
// folder for sqlserver-parse.sh, which parses them with a T-SQL grammar.
class TestSqlServerStatements : public QObject {
    Q_OBJECT

private slots:
    void importAndExport();
    void entryStation();
    void sampleIdStation();
    void qcLinkAndControlBlocks();
    void requestMonitor();
    void status();
    void cleanupTestCase();

private:
    // Runs `work` on the station's database and keeps what it sent, with what the station sent
    // before `from` (the schema it created).
    void keep(const test::ScratchDatabase& scratch, qsizetype from, const std::function<void()>& work);

    QSet<QString> m_statements;
};

void TestSqlServerStatements::keep(const test::ScratchDatabase& scratch, qsizetype from,
                                   const std::function<void()>& work)
{
    const qsizetype before = scratch.sqlServerStatements().count();
    const QStringList creating = scratch.sqlServerStatements().since(0).mid(0, from);
    work();
    for (const QString& statement : creating + scratch.sqlServerStatements().since(before))
        m_statements.insert(statement);
}

void TestSqlServerStatements::importAndExport()
{
    test::LabStation lab(u"sqlserver"_s);
    QVERIFY2(lab.available(), qPrintable(lab.unavailableReason()));
    const qsizetype schema = lab.scratch.sqlServerStatements().count();
    lab.seedTests();
    keep(lab.scratch, schema, [&] {
        EnsurePatientOne(lab.db());
        QCOMPARE(MissingIndexes(lab.db()), QStringList());
        {
            Transaction outer(lab.db());
            Transaction(lab.db()).rollback(); // a savepoint given back
        }
        QVERIFY(lab.db().isAlive());
        QVERIFY(!lab.db().columns(u"REQUEST"_s).isEmpty());
        const QDir orders(test::SourceDir() + u"/examples/orders"_s);
        for (const QString& name : orders.entryList(QDir::Files))
            lab.dropOrder(name, test::ReadFile(orders.filePath(name)));
        lab.dropOrder(u"new.hl7"_s, test::OrderBuilder().patient(u"P9001"_s).sample(u"9001"_s).test(u"THC"_s).text());
        QVERIFY2(RunImportCycle(lab.ctx()).failed == 0, qPrintable(lab.logLines().join(u'\n')));
        // Known patients and samples now: the same orders again, and one that changes a sample.
        for (const QString& name : orders.entryList(QDir::Files))
            lab.dropOrder(u"again-"_s + name, test::ReadFile(orders.filePath(name)));
        lab.dropOrder(u"more.hl7"_s,
                      test::OrderBuilder().patient(u"P9001"_s).sample(u"9001"_s).test(u"AMP"_s).test(u"COC"_s).text());
        QVERIFY2(RunImportCycle(lab.ctx()).failed == 0, qPrintable(lab.logLines().join(u'\n')));
        QCOMPARE(lab.errorFiles(), QStringList());
    });
    lab.db().exec(u"INSERT INTO RESULTS (SAMPLE_ID, PARAMETER_ID, RESULT, INTERPRETATION) "
                  u"SELECT SAMPLE_ID, PARAMETER_ID, '12', 'negative' FROM REQUEST"_s);
    lab.db().exec(u"INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) SELECT SAMPLE_ID, PARAMETER_ID FROM REQUEST"_s);
    lab.db().exec(u"DELETE FROM REQUEST"_s);
    keep(lab.scratch, 0, [&] {
        QVERIFY2(ExportPendingResults(lab.ctx()).failed == 0, qPrintable(lab.logLines().join(u'\n')));
        QVERIFY(!test::FileNames(lab.config.ExportPath).isEmpty());
        CheckDayAndShiftChange(lab.ctx());
        lab.clock.set(lab.clock.now().addDays(1));
        CheckDayAndShiftChange(lab.ctx());
    });
}

void TestSqlServerStatements::entryStation()
{
    test::EntryFixture f(u"sqlserver"_s);
    QVERIFY(f.available());
    keep(f.lab.scratch, f.lab.scratch.sqlServerStatements().count(), [&] {
        const auto session = f.startSession();
        QVERIFY(session->chooseUser(u"MB"_s).done());
        QVERIFY(session->storeEntry(u"4711"_s, u"12"_s).done());
        QVERIFY(session->storeEntry(u"4712"_s, u"80"_s).done());
        QVERIFY(session->storeEntry(u"4711"_s, u"13"_s).done());
        QVERIFY(session->deleteHistoryRow(0).done());
        QVERIFY(session->clearSession().done());
    });
}

void TestSqlServerStatements::sampleIdStation()
{
    test::LabStation lab(u"sqlserver"_s);
    QVERIFY(lab.available());
    lab.config.StationId = u"AN1"_s;
    lab.seedTests();
    test::SeedAnalysers(lab.db());
    test::AddControl(lab.db(), u"QC-L1"_s, u"Urine control LOW"_s);
    test::AddSample(lab.db(), u"A1"_s, u"Meier"_s, u"Anna"_s, {1, 4});
    test::AddSamples(lab.db(), 60);
    keep(lab.scratch, 0, [&] {
        SampleIdStation station(lab.ctx());
        station.open();
        QVERIFY(station.refresh());
        QVERIFY(station.rebuild());
        station.selectControl(ControlLevel::Low, u"QC-L1"_s);
        station.scan(u"A1"_s);
        station.stop();
    });
}

void TestSqlServerStatements::qcLinkAndControlBlocks()
{
    test::LabStation lab(u"sqlserver"_s);
    QVERIFY(lab.available());
    lab.config.StationId = u"AN1"_s;
    lab.config.AccessPath = lab.scratch.folder() + u"/analyser.sqlite"_s;
    {
        ConnectionParameters p;
        p.databaseName = lab.config.AccessPath;
        Database analyser(MakeDialect(Engine::Sqlite), p);
        analyser.open();
        test::RunSqlScript(analyser, u"/examples/analyser-schema.sql"_s);
    }
    const auto analyser = ConnectAnalyzerDatabase(ConnectionSettingsOf(lab.config));
    lab.seedTests();
    test::SeedAnalysers(lab.db());
    test::AddControl(lab.db(), u"QC-L1"_s, u"Urine control LOW"_s);
    lab.db().exec(u"INSERT INTO control_def (control_id, parameter_id) VALUES ('QC-L1', 1)"_s);
    keep(lab.scratch, 0, [&] {
        RebuildAnalyzerControlBlocks(lab.db(), u"AN1"_s);
        TransferQcOrders(lab.ctx(), *analyser);
    });
}

void TestSqlServerStatements::requestMonitor()
{
    test::LabStation lab(u"sqlserver"_s);
    QVERIFY(lab.available());
    lab.seedTests();
    test::AddSample(lab.db(), u"A1"_s, u"Meier"_s, u"Anna"_s, {1, 4, 8});
    keep(lab.scratch, 0, [&] {
        RequestMonitor monitor(lab.ctx());
        QVERIFY(monitor.update());
        QTRY_COMPARE(monitor.requestCount(), 3);
        QVERIFY(monitor.requests()->data(monitor.requests()->index(0, 0)).isValid());
        QCOMPARE(monitor.req2send()->rowCount(), 0);
    });
}

void TestSqlServerStatements::status()
{
    test::LabStation lab(u"sqlserver"_s);
    QVERIFY(lab.available());
    lab.seedTests();
    test::AddSample(lab.db(), u"A1"_s, u"Meier"_s, u"Anna"_s, {1});
    keep(lab.scratch, 0, [&] {
        HealthReport report;
        LookAtQueue(lab.db(), report);
        QCOMPARE(report.claims, 0);
    });
}

void TestSqlServerStatements::cleanupTestCase()
{
    QDir folder(QStringLiteral(KESTRIN_SQLSERVER_STATEMENTS));
    folder.removeRecursively();
    QVERIFY(folder.mkpath(u"."_s));
    QStringList statements(m_statements.begin(), m_statements.end());
    statements.sort();
    for (qsizetype i = 0; i < statements.size(); ++i)
        test::WriteFile(folder.filePath(u"statement-%1.sql"_s.arg(i + 1, 3, 10, QChar(u'0'))),
                        statements.at(i).toUtf8() + '\n');
    qInfo("%lld distinct statements written into %s", qlonglong(statements.size()), qPrintable(folder.path()));
}

KESTRIN_TEST_MAIN(TestSqlServerStatements)
#include "tst_sqlserverstatements.moc"
