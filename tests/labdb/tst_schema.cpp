#include "ScratchDatabase.h"
#include "TestMain.h"
#include "labdb/DbError.h"
#include "labdb/DialectFactory.h"
#include "labdb/Schema.h"

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
