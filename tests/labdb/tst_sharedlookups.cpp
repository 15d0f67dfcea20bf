#include "ScratchDatabase.h"
#include "TestMain.h"
#include "core/Error.h"
#include "labdb/Patients.h"
#include "labdb/SessionTable.h"
#include "labdb/TextLookup.h"

using namespace Qt::StringLiterals;
using namespace kestrin;

class TestSharedLookups : public QObject {
    Q_OBJECT
private slots:
    void lookupText_data();
    void lookupText();
    void findPatient_data();
    void findPatient();
    void patientOneIsMadeOnce_data() { test::AddEngineRows(); }
    void patientOneIsMadeOnce();
    void sessionTable_data() { test::AddEngineRows(); }
    void sessionTable();
    void sessionTableNameIsChecked();
    void demoDataLoads_data() { test::AddEngineRows(); }
    void demoDataLoads();
};

namespace {

const QVariant nullText = QVariant(QMetaType(QMetaType::QString));

} // namespace

void TestSharedLookups::lookupText_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("language");
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("expected");
    for (const QString& engine : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char* name) -> QTestData& {
            return QTest::addRow("%s: %s", qPrintable(engine), name) << engine;
        };
        row("German text") << u"german"_s << 6601 << u"Benutzer w\u00e4hlen"_s;
        row("English text") << u"english"_s << 6601 << u"Select user"_s;
        row("language column in other case") << u"GERMAN"_s << 6601 << u"Benutzer w\u00e4hlen"_s;
        row("empty German falls back to English") << u"german"_s << 6602 << u"Sample ID"_s;
        row("NULL German falls back to English") << u"german"_s << 6603 << u"Result"_s;
        row("no row") << u"german"_s << 9999 << u"@N/A"_s;
        row("no text in either") << u"german"_s << 6604 << u"@N/A"_s;
        // A language the table has no column for, or none, falls back to English.
        row("unknown language") << u"klingon"_s << 6601 << u"Select user"_s;
        row("unknown language, no English text") << u"klingon"_s << 6604 << u"@N/A"_s;
        row("no language configured") << QString() << 6601 << u"Select user"_s;
        row("no language configured, no row") << QString() << 9999 << u"@N/A"_s;
        row("language that is no name") << u"german], english FROM x; --"_s << 6601 << u"Select user"_s;
    }
}

void TestSharedLookups::lookupText()
{
    QFETCH(QString, engine);
    QFETCH(QString, language);
    QFETCH(int, key);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    scratch.createSchema();
    Database& db = scratch.db();
    const QString insert = u"INSERT INTO textstrings (\"key\", english, german) VALUES (?, ?, ?)"_s;
    db.exec(insert, {6601, u"Select user"_s, u"Benutzer w\u00e4hlen"_s});
    db.exec(insert, {6602, u"Sample ID"_s, QString(u""_s)});
    db.exec(insert, {6603, u"Result"_s, nullText});
    db.exec(insert, {6604, nullText, nullText});
    QTEST(LookupText(db, language, key), "expected");
    // A window's captions in one query give what each key gives alone.
    QTEST(LookupTexts(db, language, {9999, 6601, 6602, 6603, 6604}).value(key), "expected");
}

void TestSharedLookups::findPatient_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QVariant>("siId");
    QTest::addColumn<QString>("expected");
    for (const QString& engine : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char* name) -> QTestData& {
            return QTest::addRow("%s: %s", qPrintable(engine), name) << engine;
        };
        row("known") << QVariant(u"P100"_s) << u"2"_s;
        row("first of two") << QVariant(u"TWICE"_s) << u"3"_s;
        row("unknown") << QVariant(u"P999"_s) << QString();
        row("apostrophe") << QVariant(u"O'N"_s) << u"5"_s;
        row("null looks for patients without one") << QVariant() << u"6"_s;
        row("empty looks for patients without one") << QVariant(QString()) << u"6"_s;
    }
}

void TestSharedLookups::findPatient()
{
    QFETCH(QString, engine);
    QFETCH(QVariant, siId);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    scratch.createSchema();
    Database& db = scratch.db();
    EnsurePatientOne(db);
    for (const QVariant& id :
         {QVariant(u"P100"_s), QVariant(u"TWICE"_s), QVariant(u"TWICE"_s), QVariant(u"O'N"_s), nullText})
        db.exec(u"INSERT INTO PATIENTS (SI_ID) VALUES (?)"_s, {id});
    QTEST(FindPatientBySiId(db, siId), "expected");
}

void TestSharedLookups::patientOneIsMadeOnce()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    scratch.createSchema();
    Database& db = scratch.db();
    EnsurePatientOne(db);
    EnsurePatientOne(db);
    const QList<Row> patients = db.query(u"SELECT P_ID, SI_ID, ENTRY_DATE FROM PATIENTS"_s);
    QCOMPARE(patients.size(), 1);
    QCOMPARE(patients.first().value(u"P_ID").toInt(), 1);
    QCOMPARE(patients.first().text(u"SI_ID"), u"NA"_s);
    QVERIFY(patients.first().dateTime(u"ENTRY_DATE").isValid());
    const QList<Row> log = db.query(u"SELECT log_key, log_val, time_stamp FROM quorix_log"_s);
    QCOMPARE(log.size(), 1);
    QCOMPARE(log.first().text(u"log_key"), u"Patient 1 insert"_s);
    QCOMPARE(log.first().text(u"log_val"), u"Zelor_COM"_s);
    QVERIFY(log.first().dateTime(u"time_stamp").isValid());
    // The next patient must get a number of its own.
    db.exec(u"INSERT INTO PATIENTS (SI_ID) VALUES (?)"_s, {u"P1"_s});
    QCOMPARE(FindPatientBySiId(db, u"P1"_s), u"2"_s);
}

void TestSharedLookups::sessionTable()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    scratch.createSchema();
    Database& db = scratch.db();
    QCOMPARE(SessionTableName(u"INPUT"_s, u"HL7"_s), u"INPUT_HL7"_s);
    QCOMPARE(CreateSessionTable(db, u"INPUT"_s, u"HL7"_s), u"INPUT_HL7"_s);
    QCOMPARE(db.columns(u"INPUT_HL7"_s).size(), db.columns(u"REQUEST"_s).size());
    QVERIFY(db.query(u"SELECT * FROM INPUT_HL7"_s).isEmpty());
    db.exec(u"INSERT INTO INPUT_HL7 (SAMPLE_ID, PARAMETER_ID, RESULT) VALUES (?, ?, ?)"_s, {u"S1"_s, 3, u"neg"_s});
    CreateSessionTable(db, u"INPUT"_s, u"HL7"_s);
    QCOMPARE(db.query(u"SELECT * FROM INPUT_HL7"_s).size(), 1);
}

void TestSharedLookups::sessionTableNameIsChecked()
{
    test::ScratchDatabase scratch(u"sqlite"_s);
    scratch.createSchema();
    QVERIFY_THROWS_EXCEPTION(StartupError, CreateSessionTable(scratch.db(), u"INPUT"_s, u"A-1"_s));
    QVERIFY_THROWS_EXCEPTION(StartupError, CreateSessionTable(scratch.db(), u"INPUT"_s, u"x; DROP TABLE REQUEST"_s));
    QVERIFY(scratch.db().tableExists(u"REQUEST"_s));
}

// The demo's data is plain SQL for both engines; its captions come back in German.
void TestSharedLookups::demoDataLoads()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    scratch.createSchema();
    scratch.loadDemoData();
    QCOMPARE(LookupText(scratch.db(), u"german"_s, 6601), u"Benutzer w\u00e4hlen"_s);
    QCOMPARE(scratch.db().query(u"SELECT PARAMETER_ID FROM TEST_DEF WHERE IMP_CODE_LDT = ?"_s, {u"THC"_s}).size(), 1);
}

KESTRIN_TEST_MAIN(TestSharedLookups)
#include "tst_sharedlookups.moc"
