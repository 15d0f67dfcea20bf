#include "ScratchDatabase.h"
#include "TestMain.h"
#include "labdb/ColumnSizes.h"
#include "labdb/DbError.h"
#include "labdb/DialectFactory.h"
#include "labdb/Schema.h"
#include "labdb/SessionTable.h"

#include <QFile>

using namespace Qt::StringLiterals;
using namespace kestrin;

class TestSchema : public QObject {
    Q_OBJECT
private slots:
    void createsEveryTable_data() { test::AddEngineRows(); }
    void createsEveryTable();
    void neverTouchesExistingTables_data() { test::AddEngineRows(); }
    void neverTouchesExistingTables();
    void addsMissingIndexes_data() { test::AddEngineRows(); }
    void addsMissingIndexes();
    void refusedIndexKeepsNoTableAway_data() { test::AddEngineRows(); }
    void refusedIndexKeepsNoTableAway();
    void keysHold_data() { test::AddEngineRows(); }
    void keysHold();
    void columnsTakeTheirSizes_data() { test::AddEngineRows(); }
    void columnsTakeTheirSizes();
    void declaredTextSize_data();
    void declaredTextSize();
    void catalogueSizes_data();
    void catalogueSizes();
    void sqlServerScriptIsCurrent();
};

void TestSchema::createsEveryTable()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    QCOMPARE(MissingTables(scratch.db()), LabTableNames());
    QCOMPARE(CreateMissingTables(scratch.db()), LabTableNames());
    QVERIFY(MissingTables(scratch.db()).isEmpty());
    QVERIFY(CreateMissingTables(scratch.db()).isEmpty());
    for (const TableDef& table : LabTables()) {
        const QStringList columns = scratch.db().columns(table.name);
        for (const ColumnDef& column : table.columns)
            QVERIFY2(columns.contains(column.name, Qt::CaseInsensitive), qPrintable(table.name + u'.' + column.name));
    }
}

void TestSchema::neverTouchesExistingTables()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    Database& db = scratch.db();
    // The laboratory's own REQUEST, with a column of its own, one missing, and a row.
    db.exec(u"CREATE TABLE REQUEST (SAMPLE_ID VARCHAR(18), LAB_NOTE VARCHAR(10))"_s);
    db.exec(u"INSERT INTO REQUEST (SAMPLE_ID, LAB_NOTE) VALUES (?, ?)"_s, {u"S1"_s, u"keep"_s});
    QStringList created = CreateMissingTables(db);
    QVERIFY(!created.contains(u"REQUEST"_s));
    // It gains the index it has the columns for.
    QVERIFY(created.removeOne(u"IX_REQUEST_SAMPLE_ID"_s));
    QCOMPARE(created.size(), LabTables().size() - 1);
    QCOMPARE(db.first(u"SELECT LAB_NOTE FROM REQUEST"_s)->text(u"LAB_NOTE"), u"keep"_s);
    QCOMPARE(db.columns(u"REQUEST"_s).size(), 2);
    QVERIFY(CreateMissingTables(db).isEmpty());
}

// A database whose tables lack indexes (made by older versions or by other software) gets
// them, and keeps its rows.
void TestSchema::addsMissingIndexes()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    scratch.createSchema();
    Database& db = scratch.db();
    db.exec(u"INSERT INTO REQUEST (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s, {u"S1"_s, 3});
    const QStringList dropped{u"IX_REQUEST_PARAMETER_ID"_s, u"IX_param2channel_analyzer_id"_s};
    for (const QString& index : dropped)
        db.exec(u"DROP INDEX "_s + db.dialect().quote(index));
    QCOMPARE(MissingIndexes(db), dropped);
    QCOMPARE(CreateMissingTables(db), dropped);
    QVERIFY(MissingIndexes(db).isEmpty());
    QVERIFY(CreateMissingTables(db).isEmpty());
    QCOMPARE(db.query(u"SELECT SAMPLE_ID FROM REQUEST"_s).size(), 1);
}

// An index a laboratory's table refuses (here its name is taken) is said, and Kestrin's own
// tables, which every start needs, are made all the same.
void TestSchema::refusedIndexKeepsNoTableAway()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    scratch.createSchema();
    Database& db = scratch.db();
    for (const QString& table : OwnTableNames())
        db.exec(u"DROP TABLE "_s + table);
    db.exec(u"DROP INDEX IX_SAMPLE_BASE_SI_ID"_s);
    db.exec(u"CREATE INDEX IX_SAMPLE_BASE_SI_ID ON CUSTOMER (CUST_ID)"_s);
    QVERIFY_THROWS_EXCEPTION(StartupError, CreateMissingTables(db));
    QVERIFY(MissingTables(db).isEmpty());
    QCOMPARE(MissingIndexes(db), QStringList{u"IX_SAMPLE_BASE_SI_ID"_s});
}

void TestSchema::keysHold()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    scratch.createSchema();
    Database& db = scratch.db();
    db.exec(u"INSERT INTO SAMPLE_BASE (SAMPLE_ID) VALUES (?)"_s, {u"S1"_s});
    QVERIFY_THROWS_EXCEPTION(DbError, db.exec(u"INSERT INTO SAMPLE_BASE (SAMPLE_ID) VALUES (?)"_s, {u"S1"_s}));
    db.exec(u"INSERT INTO PATIENTS (SI_ID) VALUES (?)"_s, {u"A"_s});
    db.exec(u"INSERT INTO PATIENTS (SI_ID) VALUES (?)"_s, {u"B"_s});
    const QList<Row> patients = db.query(u"SELECT P_ID FROM PATIENTS ORDER BY P_ID"_s);
    QCOMPARE(patients.size(), 2);
    QCOMPARE(patients.at(1).value(u"P_ID").toInt(), patients.at(0).value(u"P_ID").toInt() + 1);
}

void TestSchema::columnsTakeTheirSizes()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    scratch.createSchema();
    Database& db = scratch.db();
    const QString line(2000, u'x');
    db.exec(u"INSERT INTO HL7_STRINGS (ORDER_ID, STRING_TEXT) VALUES (?, ?)"_s, {QString(20, u'1'), line});
    QCOMPARE(db.first(u"SELECT STRING_TEXT FROM HL7_STRINGS"_s)->text(u"STRING_TEXT"), line);
    db.exec(u"INSERT INTO PATIENTS (SURNAME) VALUES (?)"_s,
            {u"M\u00fcller-L\u00fcdenscheidt \u0645\u062d\u0645\u062f"_s});
    QCOMPARE(db.first(u"SELECT SURNAME FROM PATIENTS"_s)->text(u"SURNAME"),
             u"M\u00fcller-L\u00fcdenscheidt \u0645\u062d\u0645\u062f"_s);
}

void TestSchema::declaredTextSize_data()
{
    QTest::addColumn<QString>("declared");
    QTest::addColumn<int>("size"); // -1: none
    QTest::newRow("VARCHAR(19)") << u"VARCHAR(19)"_s << 19;
    QTest::newRow("lower case, blank before the bracket") << u"varchar (19)"_s << 19;
    QTest::newRow("NVARCHAR(50)") << u"NVARCHAR(50)"_s << 50;
    QTest::newRow("CHAR(1)") << u"CHAR(1)"_s << 1;
    QTest::newRow("two words, blanks inside") << u"character varying( 30 )"_s << 30;
    QTest::newRow("two numbers") << u"NVARCHAR(40, 2)"_s << 40;
    QTest::newRow("TEXT") << u"TEXT"_s << -1;
    QTest::newRow("VARCHAR without size") << u"VARCHAR"_s << -1;
    QTest::newRow("untyped") << QString() << -1;
    QTest::newRow("a number type") << u"DECIMAL(10,2)"_s << -1;
    QTest::newRow("max") << u"VARCHAR(max)"_s << -1;
    QTest::newRow("zero") << u"VARCHAR(0)"_s << -1;
    QTest::newRow("too large") << u"VARCHAR(99999999999)"_s << -1;
}

void TestSchema::declaredTextSize()
{
    QFETCH(QString, declared);
    QFETCH(int, size);
    QCOMPARE(DeclaredTextSize(declared).value_or(-1), size);
}

// RAW_RESULTS as an older database may have it, and a work table copied from REQUEST: what its
// catalogue declares counts; where it declares no size, SQLite (which keeps any text) has
// Kestrin's schema's size, a server no limit.
void TestSchema::catalogueSizes_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("column");
    QTest::addColumn<int>("size"); // -1: none
    for (const QString& engine : {u"sqlite"_s, u"postgres"_s}) {
        const bool sqlite = engine == u"sqlite";
        const auto row = [&](const char* name) -> QTestData& {
            return QTest::addRow("%s %s", qPrintable(engine), name) << engine;
        };
        row("declared wider") << u"raw_results"_s << u"SAMPLE_ID"_s << 30;
        row(sqlite ? "untyped" : "VARCHAR without size") << u"RAW_RESULTS"_s << u"result"_s << (sqlite ? 50 : -1);
        row("TEXT") << u"RAW_RESULTS"_s << u"ANALYZER_ID"_s << (sqlite ? 20 : -1);
        row("as created") << u"RESULTS"_s << u"SAMPLE_ID"_s << 19;
        row("work table, a copy of REQUEST") << u"INPUT_L1"_s << u"SAMPLE_ID"_s << 18;
    }
}

void TestSchema::catalogueSizes()
{
    QFETCH(QString, engine);
    QFETCH(QString, table);
    QFETCH(QString, column);
    QFETCH(int, size);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    scratch.createSchema();
    Database& db = scratch.db();
    db.exec(u"DROP TABLE RAW_RESULTS"_s);
    db.exec(engine == u"sqlite"
                ? u"CREATE TABLE RAW_RESULTS (SAMPLE_ID nvarchar (30), PARAMETER_ID, TIME_STAMP, RESULT, "
                  u"ANALYZER_ID TEXT)"_s
                : u"CREATE TABLE RAW_RESULTS (SAMPLE_ID VARCHAR(30), PARAMETER_ID INTEGER, TIME_STAMP "
                  u"TIMESTAMP, RESULT VARCHAR, ANALYZER_ID TEXT)"_s);
    const QString workTable = CreateSessionTable(db, u"INPUT"_s, u"L1"_s);
    QCOMPARE(TextColumnSize(db, table, column, table == workTable ? u"REQUEST"_s : QString()).value_or(-1), size);
}

void TestSchema::sqlServerScriptIsCurrent()
{
    const QString path = test::SourceDir() + u"/src/labdb/sql/sqlserver-schema.sql"_s;
    // KESTRIN_UPDATE_SCRIPTS=1 writes the script anew after a change of the schema.
    if (qEnvironmentVariable("KESTRIN_UPDATE_SCRIPTS") == u"1")
        test::WriteFile(path, SchemaScript(*MakeDialect(Engine::SqlServer)).toUtf8());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::ReadOnly), "the SQL Server script is missing");
    const QString committed = QString::fromUtf8(file.readAll());
    QCOMPARE(committed, SchemaScript(*MakeDialect(Engine::SqlServer)));
}

KESTRIN_TEST_MAIN(TestSchema)
#include "tst_schema.moc"
