#include "EntryFixture.h"
#include "TestMain.h"
#include "entrystation/EntryStore.h"
#include "labdb/Database.h"

using namespace Qt::StringLiterals;
using namespace kestrin;

// The entry station's session against the database, on every engine: loading, users,
// storing on each path, interpretations, deletes, Clear Session, failures.
class TestEntrySession : public QObject {
    Q_OBJECT
private slots:
    void loadLogsTheParameter_data();
    void loadLogsTheParameter();
    void busiestUsersFirst_data() { test::AddEngineRows(); }
    void busiestUsersFirst();
    void userChoice_data() { test::AddEngineRows(); }
    void userChoice();
    void storingPaths_data();
    void storingPaths();
    void entryLimits_data();
    void entryLimits();
    void interpretation_data();
    void interpretation();
    void deleteTakesBackOneEntry_data() { test::AddEngineRows(); }
    void deleteTakesBackOneEntry();
    void clearSessionKeepsOtherStations_data() { test::AddEngineRows(); }
    void clearSessionKeepsOtherStations();
    void clearTakesOnlyThisWindowsRows_data();
    void clearTakesOnlyThisWindowsRows();
    void manyUsersBindFewValues_data() { test::AddEngineRows(); }
    void manyUsersBindFewValues();
    void failedEntryLeavesNothing_data() { test::AddEngineRows(); }
    void failedEntryLeavesNothing();
    void waitingEntryKeepsItsUser_data() { test::AddEngineRows(); }
    void waitingEntryKeepsItsUser();
    void lostConnectionIsOpenedAgain_data() { test::AddEngineRows(); }
    void lostConnectionIsOpenedAgain();
};

void TestEntrySession::loadLogsTheParameter_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<QString>("autoVal");
    QTest::addColumn<QStringList>("lines");
    const QString autovalidated = u"Results will be autovalidated and go direct to results."_s;
    for (const QString& engine : test::EngineNames()) {
        const auto row = [&](const char* name) -> QTestData& { return test::EngineRow(engine, name); };
        row("autovalidated") << 8 << u"1"_s << QStringList{u"Parameter:  8 / Cannabinoids"_s, autovalidated};
        row("work table") << 8 << u"0"_s << QStringList{u"Parameter:  8 / Cannabinoids"_s};
        row("no autoval switch") << 4 << QString() << QStringList{u"Parameter:  4 / Cocaine metabolite"_s};
        row("unknown parameter") << 99 << u"1"_s << QStringList{u"Parameter not configured!"_s, autovalidated};
    }
}

void TestEntrySession::loadLogsTheParameter()
{
    QFETCH(int, parameter);
    QFETCH(QString, autoVal);
    QFETCH(QStringList, lines);
    KESTRIN_ENTRY_FIXTURE(f);
    f.config().TestParameter = qint16(parameter);
    f.config().AutoVal = autoVal;
    const auto session = f.startSession();
    QVERIFY(f.markerTime(u"L1"_s).isValid());
    QVERIFY(f.db().tableExists(u"INPUT_L1"_s));
    QCOMPARE(f.logLines(), lines);
    QCOMPARE(session->parameterConfigured(), parameter != 99);
    QCOMPARE(session->captions().value(EntrySession::kPleaseSelectUserKey), u"Bitte Benutzer w\u00e4hlen"_s);
    QCOMPARE(session->captions().value(EntrySession::kSampleCounterKey), u"Samples in session"_s);
    QCOMPARE(session->captions().value(EntrySession::kCloseKey), u"@N/A"_s);
    QCOMPARE(session->chooseUser(u"MB"_s).done(), parameter != 99);
    QCOMPARE(session->sampleCount(), 0);
}

void TestEntrySession::busiestUsersFirst()
{
    KESTRIN_ENTRY_FIXTURE(f);
    Database& db = f.db();
    // EB entered 101 samples, O'Neil 150, MB exactly 100.
    int n = 0;
    for (const auto& [comment, samples] :
         {std::pair{u"Evening bench"_s, 101}, std::pair{u"Night bench"_s, 150}, std::pair{u"Morning bench"_s, 100}}) {
        Transaction t(db);
        for (int i = 0; i < samples; ++i)
            db.exec(u"INSERT INTO SAMPLE_BASE (SAMPLE_ID, ENTRY_USER) VALUES (?, ?)"_s,
                    {u"S%1"_s.arg(++n), comment.left(10)});
        t.commit();
    }
    db.exec(u"UPDATE user_base SET comment = ? WHERE userid = ?"_s, {u"Evening be"_s, u"EB"_s});
    db.exec(u"UPDATE user_base SET comment = ? WHERE userid = ?"_s, {u"Night benc"_s, u"O'Neil"_s});
    db.exec(u"UPDATE user_base SET comment = ? WHERE userid = ?"_s, {u"Morning be"_s, u"MB"_s});
    db.exec(u"INSERT INTO user_base (userid, comment) VALUES (?, ?)"_s, {u"NEW"_s, u"never entered"_s});
    const auto session = f.startSession();
    const QStringList users = session->users();
    QCOMPARE(users.mid(0, 2), (QStringList{u"O'Neil"_s, u"EB"_s}));
    QCOMPARE(QSet<QString>(users.begin() + 2, users.end()), (QSet<QString>{u"MB"_s, u"NEW"_s}));
}

void TestEntrySession::userChoice()
{
    KESTRIN_ENTRY_FIXTURE(f);
    const auto session = f.startSession();
    QVERIFY(!session->chooseUser(u"  "_s).done());
    QVERIFY(!session->chooseUser(u"NOBODY"_s).done());
    QVERIFY(!session->entering());
    QVERIFY(!session->storeEntry(u"4711"_s, u"12"_s).done());
    QVERIFY(session->chooseUser(u"O'Neil"_s).done());
    QVERIFY(session->chooseUser(u"MB"_s).done());
    // A later choice that fails keeps the user entries are stored for.
    QCOMPARE(session->chooseUser(u"NOBODY"_s).outcome, ActionOutcome::Refused);
    QCOMPARE(session->user(), u"MB"_s);
    QVERIFY(session->storeEntry(u"4711"_s, u"12"_s).done());
    QCOMPARE(f.lab.column(u"SELECT R_VALIDATOR FROM RESULTS"_s), QStringList{u"MB"_s});
}

void TestEntrySession::storingPaths_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("autoVal");
    QTest::addColumn<QString>("sampleId");
    QTest::addColumn<QStringList>("counts"); // RAW_RESULTS, RESULTS, work table, CONTROL_RESULTS
    QTest::addColumn<QStringList>("log");
    for (const QString& engine : test::EngineNames()) {
        const auto row = [&](const char* name) -> QTestData& { return test::EngineRow(engine, name); };
        row("autovalidated") << u"1"_s << u"O'Hara-1"_s << QStringList{u"2"_s, u"1"_s, u"0"_s, u"0"_s}
                             << QStringList{u"Enter to RAW_Results: SAMPLE ID: O'Hara-1 Parameter ID: 8 Result: 5 "
                                            u"Analyser/User: L1_MB"_s,
                                            u"Enter to Results: SAMPLE ID: O'Hara-1 Parameter ID: 8 Result: 5 "
                                            u"Interpretation: diluted Analyser: L1 User: MB"_s,
                                            u"Enter to RAW_Results: SAMPLE ID: O'Hara-1 Parameter ID: 8 Result: 7.5 "
                                            u"Analyser/User: L1_MB"_s,
                                            u"Enter to Results: SAMPLE ID: O'Hara-1 Parameter ID: 8 Result: 7.5 "
                                            u"Interpretation: diluted Analyser: L1 User: MB"_s};
        row("work table") << u"0"_s << u"4711"_s << QStringList{u"2"_s, u"0"_s, u"2"_s, u"0"_s}
                          << QStringList{u"Enter to RAW_Results: SAMPLE ID: 4711 Parameter ID: 8 Result: 5 "
                                         u"Analyser/User: L1_MB"_s,
                                         u"Enter to INPUT_L1: SAMPLE ID: 4711 Parameter ID: 8 Result: 5 "
                                         u"Analyser/User: L1_MB"_s,
                                         u"Enter to RAW_Results: SAMPLE ID: 4711 Parameter ID: 8 Result: 7.5 "
                                         u"Analyser/User: L1_MB"_s,
                                         u"Enter to INPUT_L1: SAMPLE ID: 4711 Parameter ID: 8 Result: 7.5 "
                                         u"Analyser/User: L1_MB"_s};
        row("control") << u"1"_s << u"QC-LOW-1"_s << QStringList{u"0"_s, u"0"_s, u"0"_s, u"2"_s}
                       << QStringList{u"Enter Control Value: Control ID: QC-LOW-1 Parameter ID: 8 Result: 5 "
                                      u"Analyser/User: L1_MB"_s,
                                      u"Enter Control Value: Control ID: QC-LOW-1 Parameter ID: 8 Result: 7.5 "
                                      u"Analyser/User: L1_MB"_s};
    }
}

// The same sample twice, with 5 and then 7,5.
void TestEntrySession::storingPaths()
{
    QFETCH(QString, autoVal);
    QFETCH(QString, sampleId);
    QFETCH(QStringList, counts);
    QFETCH(QStringList, log);
    KESTRIN_ENTRY_FIXTURE(f);
    f.config().AutoVal = autoVal;
    f.config().ControlIdMask = u"QC-?\?\?-1;QC-?\?\?\?-1"_s;
    const auto session = f.startSession();
    QVERIFY(session->chooseUser(u"MB"_s).done());
    QVERIFY(session->storeEntry(sampleId, u"5"_s).done());
    QCOMPARE(session->entryRecord(), EntryRecord());
    QVERIFY(session->storeEntry(u" "_s + sampleId, u"7,5 "_s).done());
    QCOMPARE(session->sampleCount(), 2);
    QCOMPARE((QStringList{QString::number(f.count(u"RAW_RESULTS"_s)), QString::number(f.count(u"RESULTS"_s)),
                          QString::number(f.count(u"INPUT_L1"_s)), QString::number(f.count(u"CONTROL_RESULTS"_s))}),
             counts);
    QStringList logged;
    for (const QString& line : f.logLines())
        logged << line.section(u" INPUT: "_s, 1);
    QCOMPARE(logged.mid(logged.size() - log.size()), log);
    QCOMPARE(session->history().row(0).result, u"7,5 "_s);
    QCOMPARE(session->history().row(0).storedSampleId, sampleId);
    const QString analyzer = u"L1_MB"_s;
    for (const QString& table : {u"RAW_RESULTS"_s, u"INPUT_L1"_s, u"CONTROL_RESULTS"_s})
        for (const QString& value : f.lab.column(u"SELECT ANALYZER_ID FROM "_s + table))
            QCOMPARE(value, analyzer);
    if (counts.at(1) == u"1") {
        const Row stored = *f.db().first(u"SELECT * FROM RESULTS"_s);
        QCOMPARE(stored.text(u"RESULT"), u"7.5"_s);
        QCOMPARE(stored.text(u"ANALYZER_ID"), u"L1"_s);
        QCOMPARE(stored.dateTime(u"MEAS_TIME_STAMP"), stored.dateTime(u"VAL_TIME_STAMP"));
        // Stored as the engine's local time, like every other stamp of it.
        QVERIFY(qAbs(stored.dateTime(u"MEAS_TIME_STAMP").secsTo(QDateTime::currentDateTime())) < 60);
    }
}

// What the catalogue of each engine declares, Kestrin's schema here, is what the station takes.
void TestEntrySession::entryLimits_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("sampleId");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("refusal"); // empty: stored
    for (const QString& engine : test::EngineNames()) {
        const auto row = [&](const char* name) -> QTestData& { return test::EngineRow(engine, name); };
        row("sample ID of 19") << QString(19, u'4') << u"30"_s << QString();
        row("sample ID of 301") << QString(301, u'4') << u"30"_s << u"has 301 characters; at most 19 fit"_s;
        row("result of 50") << u"4711"_s << QString(50, u'9') << QString();
        row("result of 51") << u"4711"_s << QString(51, u'9') << u"has 51 characters; at most 50 fit"_s;
        row("control ID of 20") << u"QC-"_s + QString(17, u'Q') << u"30"_s << QString();
        row("control ID of 21") << u"QC-"_s + QString(18, u'Q') << u"30"_s << u"has 21 characters; at most 20 fit"_s;
    }
}

void TestEntrySession::entryLimits()
{
    QFETCH(QString, sampleId);
    QFETCH(QString, result);
    QFETCH(QString, refusal);
    KESTRIN_ENTRY_FIXTURE(f);
    f.config().ControlIdMask = u"QC-"_s + QString(17, u'?') + u";QC-"_s + QString(18, u'?');
    const auto session = f.startSession();
    QVERIFY(session->chooseUser(u"MB"_s).done());
    const ActionResult stored = session->storeEntry(sampleId, result);
    QVERIFY2(stored.message.contains(refusal), qPrintable(stored.message));
    QCOMPARE(stored.outcome, refusal.isEmpty() ? ActionOutcome::Done : ActionOutcome::Refused);
    QCOMPARE(f.count(u"RAW_RESULTS"_s) + f.count(u"CONTROL_RESULTS"_s), refusal.isEmpty() ? 1 : 0);
}

// Bounds of number columns (the fixture's) or of text columns, as older databases have them:
// "refused" is an entry the ranges cannot compare.
void TestEntrySession::interpretation_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<bool>("textBounds");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("arabic");
    QTest::addColumn<bool>("suspicious");
    const QString negative = u"\u0633\u0644\u0628\u064a"_s;
    const QString positive = u"\u0625\u064a\u062c\u0627\u0628\u064a"_s;
    for (const QString& engine : test::EngineNames()) {
        const auto numbers = [&](const char* name) -> QTestData& { return test::EngineRow(engine, name) << false; };
        numbers("negative") << u"25"_s << u"negative"_s << negative << false;
        numbers("positive") << u"74"_s << u"positive"_s << positive << true;
        numbers("lower bound holds") << u"50"_s << u"positive"_s << positive << true;
        numbers("decimal comma, NULL arabic text is empty") << u"12,5"_s << u"diluted"_s << QString() << true;
        numbers("decimal point") << u"12.5"_s << u"diluted"_s << QString() << true;
        numbers("in range set 1 only") << u"-5"_s << QString() << QString() << false;
        numbers("between the ranges") << u"49.995"_s << QString() << QString() << false;
        numbers("a NULL bound holds nothing") << u"-200"_s << QString() << QString() << false;
        numbers("plus is no number") << u"+"_s << u"refused"_s << QString() << false;
        numbers("text against numbers") << u"POS"_s << u"refused"_s << QString() << false;
        numbers("comma and point") << u"1,000.5"_s << u"refused"_s << QString() << false;
        const auto texts = [&](const char* name) -> QTestData& { return test::EngineRow(engine, name) << true; };
        texts("text bounds: blank bounds hold nothing") << u"0"_s << u"diluted"_s << QString() << true;
        texts("text bounds: numbers compare as numbers") << u"9"_s << u"diluted"_s << QString() << true;
        texts("text bounds: above a shorter bound") << u"100"_s << u"positive"_s << positive << true;
        texts("text bounds: decimal comma, bound with a comma") << u"19,5"_s << u"diluted"_s << QString() << true;
        texts("text bounds: decimal point") << u"12.5"_s << u"diluted"_s << QString() << true;
        texts("text bounds: text as text, case ignored") << u"pos"_s << u"positive"_s << positive << true;
        texts("text bounds: text in no range, NULL holds nothing") << u"n.b."_s << QString() << QString() << false;
    }
}

void TestEntrySession::interpretation()
{
    QFETCH(bool, textBounds);
    QFETCH(QString, result);
    QFETCH(QString, value);
    QFETCH(QString, arabic);
    QFETCH(bool, suspicious);
    KESTRIN_ENTRY_FIXTURE(f);
    Database& db = f.db();
    const QString range = u"INSERT INTO VALIDATION (parameter_ID, V_from, v_to, interpretation, suspicious, nw_id) "
                          u"VALUES (8, ?, ?, ?, ?, 2)"_s;
    if (textBounds) {
        db.exec(u"DROP TABLE VALIDATION"_s);
        db.exec(u"CREATE TABLE VALIDATION (parameter_ID INTEGER, V_from VARCHAR(20), v_to VARCHAR(20), interpretation "
                u"INTEGER, suspicious INTEGER, nw_id INTEGER)"_s);
        const QString null;
        for (const auto& [from, to, interpretation, flag] :
             {std::tuple{u""_s, u"  "_s, 1, 0}, std::tuple{null, u"ZZZ"_s, 1, 0}, std::tuple{u"0"_s, u"19,99"_s, 3, 1},
              std::tuple{u"20"_s, u"49.99"_s, 1, 0}, std::tuple{u"50"_s, u"1000000"_s, 2, 1},
              std::tuple{u"POS"_s, u"POS"_s, 2, 1}})
            db.exec(range, {from, to, interpretation, flag});
    } else {
        db.exec(range, {QVariant(QMetaType(QMetaType::Double)), -100, 2, 1});
    }
    const auto session = f.startSession();
    QVERIFY(session->chooseUser(u"EB"_s).done());
    const ActionResult stored = session->storeEntry(u"4711"_s, result);
    if (value == u"refused") {
        QCOMPARE(stored.outcome, ActionOutcome::Refused);
        QVERIFY2(stored.message.contains(u"is no number"_s), qPrintable(stored.message));
        QCOMPARE(f.count(u"RAW_RESULTS"_s), 0);
        return;
    }
    QVERIFY2(stored.done(), qPrintable(stored.message));
    const Row row = *f.db().first(u"SELECT * FROM RESULTS"_s);
    QCOMPARE(row.text(u"INTERPRETATION"), value);
    QVERIFY(!row.isNull(u"INTERPRETATION_ARAB"));
    QCOMPARE(row.text(u"INTERPRETATION_ARAB"), arabic);
    QCOMPARE(row.value(u"SUSPICIOUS").toBool(), suspicious);
}

void TestEntrySession::deleteTakesBackOneEntry()
{
    KESTRIN_ENTRY_FIXTURE(f);
    f.config().AutoVal = u"0"_s;
    const auto session = f.startSession();
    QVERIFY(session->chooseUser(u"MB"_s).done());
    for (const QString& sample : {u"A-1"_s, u"A-2"_s, u"A-3"_s, u"A-4"_s})
        QVERIFY(session->storeEntry(sample, u"30"_s).done());
    // Another station's record of the same sample and parameter goes too: the delete is by sample.
    f.db().exec(u"INSERT INTO INPUT_L1 (SAMPLE_ID, PARAMETER_ID, RESULT) VALUES (?, ?, ?)"_s, {u"A-2"_s, 4, u"1"_s});
    QVERIFY(session->deleteHistoryRow(2).done());
    QCOMPARE(f.lab.column(u"SELECT SAMPLE_ID FROM INPUT_L1 WHERE PARAMETER_ID = 8 ORDER BY SAMPLE_ID"_s),
             (QStringList{u"A-1"_s, u"A-3"_s, u"A-4"_s}));
    QCOMPARE(f.count(u"RAW_RESULTS"_s), 4);
    QCOMPARE(f.count(u"INPUT_L1"_s), 4);
    QCOMPARE(session->sampleCount(), 3);
    QVERIFY(f.logLines().last().endsWith(u" INPUT: Result deleted for sample ID: A-2"_s));
    // Rows that show no sample ID: nothing is deleted, logged or counted.
    for (const int row : {2, 5, -1, 8}) {
        QCOMPARE(session->deleteHistoryRow(row).outcome, ActionOutcome::Refused);
        QCOMPARE(session->sampleCount(), 3);
    }
    QVERIFY(f.logLines().last().endsWith(u"A-2"_s));
}

void TestEntrySession::clearSessionKeepsOtherStations()
{
    KESTRIN_ENTRY_FIXTURE(f);
    f.config().ControlIdMask = u"QC-?\?\?-1"_s;
    f.config().AutoVal = u"1"_s;
    Context& l10 = f.otherStation(u"L10"_s);
    const auto first = f.startSession();
    const auto other = f.startSession(l10);
    for (EntrySession* session : {first.get(), other.get()}) {
        QVERIFY(session->chooseUser(u"MB"_s).done());
        QVERIFY(session->storeEntry(session->stationId() + u"-S"_s, u"30"_s).done());
        QVERIFY(session->storeEntry(u"QC-LOW-1"_s, u"31"_s).done());
    }
    // A work-table row of L1 entered under a user that has since left.
    f.db().exec(u"INSERT INTO INPUT_L1 (SAMPLE_ID, PARAMETER_ID, RESULT, ANALYZER_ID, TIME_STAMP) "
                u"VALUES (?, ?, ?, ?, %1)"_s.arg(f.db().dialect().currentTime()),
                {u"L1-W"_s, 8, u"1"_s, u"L1_GONE"_s});
    QVERIFY(first->chooseUser(u"O'Neil"_s).done());
    QVERIFY(first->storeEntry(u"L1-T"_s, u"33"_s).done());
    QVERIFY(first->clearSession().done());
    QCOMPARE(first->sampleCount(), 0);
    QVERIFY(!first->history().row(0).inUse);
    QVERIFY(f.logLines().last().endsWith(
        u" INPUT: Session cleared: All Results  for Parameter : 8 since start of session  deleted!"_s));
    QCOMPARE(f.lab.column(u"SELECT SAMPLE_ID FROM RESULTS"_s), QStringList{u"L10-S"_s});
    QCOMPARE(f.lab.column(u"SELECT ANALYZER_ID FROM CONTROL_RESULTS"_s), QStringList{u"L10_MB"_s});
    QCOMPARE(f.lab.column(u"SELECT ANALYZER_ID FROM INPUT_L1"_s), QStringList{u"L1_GONE"_s});
    QCOMPARE(f.count(u"RAW_RESULTS"_s), 3);
    // A second clear again covers the whole session.
    QVERIFY(first->storeEntry(u"L1-U"_s, u"34"_s).done());
    QVERIFY(first->clearSession().done());
    QCOMPARE(f.lab.column(u"SELECT SAMPLE_ID FROM RESULTS"_s), QStringList{u"L10-S"_s});
}

void TestEntrySession::clearTakesOnlyThisWindowsRows_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("autoVal");
    QTest::addColumn<QString>("idPattern");
    QTest::addColumn<QString>("table");
    QTest::addColumn<QString>("idColumn");
    for (const QString& engine : test::EngineNames()) {
        const auto row = [&](const char* name) -> QTestData& { return test::EngineRow(engine, name); };
        row("results") << u"1"_s << u"S-%1"_s << u"RESULTS"_s << u"SAMPLE_ID"_s;
        row("work table") << u"0"_s << u"S-%1"_s << u"INPUT_L1"_s << u"SAMPLE_ID"_s;
        row("controls") << u"1"_s << u"QC-%1-1"_s << u"CONTROL_RESULTS"_s << u"CONTROL_ID"_s;
    }
}

// Windows E (closed before the others open), A and B (on another PC), all of station L1, store
// entries in turn; A's row A02 is changed and A03 deleted by someone else. A's clear takes its other rows.
void TestEntrySession::clearTakesOnlyThisWindowsRows()
{
    QFETCH(QString, autoVal);
    QFETCH(QString, idPattern);
    QFETCH(QString, table);
    QFETCH(QString, idColumn);
    KESTRIN_ENTRY_FIXTURE(f);
    f.config().AutoVal = autoVal;
    f.config().ControlIdMask = u"QC-?\?\?-1"_s;
    const auto store = [&](EntrySession& session, const QString& id, const QString& user) {
        QVERIFY(session.chooseUser(user).done());
        QVERIFY(session.storeEntry(idPattern.arg(id), u"30"_s).done());
    };
    {
        const auto earlier = f.startSession();
        store(*earlier, u"E01"_s, u"MB"_s);
    }
    const auto a = f.startSession();
    store(*a, u"A01"_s, u"MB"_s);
    const auto otherPc = f.lab.scratch.connectAgain();
    Context otherPcContext{f.config(), *otherPc, f.lab.log, f.lab.clock};
    const auto b = f.startSession(otherPcContext);
    store(*b, u"B01"_s, u"MB"_s);
    store(*a, u"A02"_s, u"EB"_s);
    store(*a, u"A03"_s, u"MB"_s);
    for (int i = 4; i <= 43; ++i) // cleared in statements of 32, 8 and 1 rows
        store(*a, u"A%1"_s.arg(i, 2, 10, QChar(u'0')), u"MB"_s);
    if (QTest::currentTestFailed())
        return;
    Database& db = f.db();
    const QString quoted = db.dialect().quote(table);
    db.exec(u"UPDATE %1 SET RESULT = '31' WHERE %2 = ?"_s.arg(quoted, idColumn), {idPattern.arg(u"A02"_s)});
    db.exec(u"DELETE FROM %1 WHERE %2 = ?"_s.arg(quoted, idColumn), {idPattern.arg(u"A03"_s)});
    const int raw = f.count(u"RAW_RESULTS"_s);
    QVERIFY(a->clearSession().done());
    QCOMPARE(f.lab.column(u"SELECT %1 FROM %2 ORDER BY %1"_s.arg(idColumn, quoted)),
             (QStringList{idPattern.arg(u"A02"_s), idPattern.arg(u"B01"_s), idPattern.arg(u"E01"_s)}));
    QCOMPARE(f.count(u"RESULTS"_s) + f.count(u"INPUT_L1"_s) + f.count(u"CONTROL_RESULTS"_s), 3);
    QCOMPARE(f.count(u"RAW_RESULTS"_s), raw);
    QCOMPARE(f.count(u"quorix_log"_s), 3); // every window still marks its start
    QVERIFY(f.logLines().last().endsWith(
        u" INPUT: Session cleared: All Results  for Parameter : 8 since start of session  deleted!"_s));
    QVERIFY(b->clearSession().done());
    QCOMPARE(f.lab.column(u"SELECT %1 FROM %2 ORDER BY %1"_s.arg(idColumn, quoted)),
             (QStringList{idPattern.arg(u"A02"_s), idPattern.arg(u"E01"_s)}));
}

// SQL Server refuses a statement with more than 2,100 values: loading, storing and clearing
// bind as many with 2,203 users as with 3.
void TestEntrySession::manyUsersBindFewValues()
{
    KESTRIN_ENTRY_FIXTURE(f);
    f.config().AutoVal = u"0"_s;
    f.config().ControlIdMask = u"QC-?\?\?-1"_s;
    Database& db = f.db();
    QList<qsizetype> counts;
    db.setStatementObserver([&](const QString&, qsizetype values) { counts << values; });
    const auto session = [&] {
        counts.clear();
        const auto s = f.startSession();
        QVERIFY(s->chooseUser(u"MB"_s).done());
        QVERIFY(s->storeEntry(u"4711"_s, u"30"_s).done());
        QVERIFY(s->storeEntry(u"QC-LOW-1"_s, u"31"_s).done());
        QVERIFY(s->clearSession().done());
        QCOMPARE(f.count(u"INPUT_L1"_s) + f.count(u"CONTROL_RESULTS"_s), 0);
        QCOMPARE(s->users().size(), f.count(u"user_base"_s));
    };
    session();
    if (QTest::currentTestFailed())
        return;
    const QList<qsizetype> few = counts;
    QList<QVariantList> users;
    for (int i = 0; i < 2200; ++i)
        users << QVariantList{u"U%1"_s.arg(i), u"user %1"_s.arg(i)};
    db.setStatementObserver({});
    db.insertRows(u"user_base"_s, {u"userid"_s, u"comment"_s}, users);
    db.setStatementObserver([&](const QString&, qsizetype values) { counts << values; });
    session();
    QCOMPARE(counts, few);
    QVERIFY(*std::max_element(counts.begin(), counts.end()) <= 8);
}

void TestEntrySession::failedEntryLeavesNothing()
{
    KESTRIN_ENTRY_FIXTURE(f);
    const auto session = f.startSession();
    QVERIFY(session->chooseUser(u"MB"_s).done());
    Database& db = f.db();
    const int logged = f.logLines().size();
    // The raw record goes in, the validated one cannot: the entry is one unit.
    db.exec(u"ALTER TABLE RESULTS RENAME TO RESULTS_AWAY"_s);
    const ActionResult failed = session->storeEntry(u"4711"_s, u"30"_s);
    QCOMPARE(failed.outcome, ActionOutcome::Failed);
    QVERIFY2(failed.message.contains(u"4711"_s) && failed.message.contains(u"Enter"_s), qPrintable(failed.message));
    QCOMPARE(f.count(u"RAW_RESULTS"_s), 0);
    QCOMPARE(session->sampleCount(), 0);
    QVERIFY(!session->history().row(0).inUse);
    QCOMPARE(session->entryRecord(), EntryRecord());
    const QStringList lines = f.logLines().mid(logged);
    QCOMPARE(lines.size(), 1);
    QVERIFY2(lines.first().contains(u"Monitor: Entry station: storing sample 4711 result 30 failed: "_s),
             qPrintable(lines.first()));
    QCOMPARE(session->deleteHistoryRow(0).outcome, ActionOutcome::Refused);
    db.exec(u"ALTER TABLE RESULTS_AWAY RENAME TO RESULTS"_s);
    QVERIFY(session->storeEntry(u"4711"_s, u"30"_s).done());
    QCOMPARE(f.count(u"RAW_RESULTS"_s), 1);
    db.exec(u"ALTER TABLE RESULTS RENAME TO RESULTS_AWAY"_s);
    QCOMPARE(session->deleteHistoryRow(0).outcome, ActionOutcome::Failed);
    QCOMPARE(session->clearSession().outcome, ActionOutcome::Failed);
    QCOMPARE(session->sampleCount(), 1);
    QVERIFY(session->history().row(0).deletable());
    db.exec(u"ALTER TABLE RESULTS_AWAY RENAME TO RESULTS"_s);
    QVERIFY(session->clearSession().done());
    QCOMPARE(f.count(u"RESULTS"_s), 0);
}

void TestEntrySession::lostConnectionIsOpenedAgain()
{
    KESTRIN_ENTRY_FIXTURE(f);
    const auto session = f.startSession();
    QVERIFY(session->chooseUser(u"MB"_s).done());
    f.db().close();
    QVERIFY(session->storeEntry(u"4711"_s, u"30"_s).done());
    QCOMPARE(f.count(u"RESULTS"_s), 1);
}

// Another program holds the tables: the entry waits, keeps the user it was typed for, and is
// stored once they are free.
void TestEntrySession::waitingEntryKeepsItsUser()
{
    KESTRIN_ENTRY_FIXTURE(f);
    const auto session = f.startSession();
    QVERIFY(session->chooseUser(u"MB"_s).done());
    const std::unique_ptr<Database> other = f.db().newConnection();
    other->open();
    if (engine == u"sqlite") {
        other->exec(u"BEGIN IMMEDIATE"_s);
    } else {
        other->exec(u"BEGIN"_s);
        other->exec(u"LOCK TABLE RAW_RESULTS IN EXCLUSIVE MODE"_s);
    }
    QCOMPARE(session->storeEntry(u"W1"_s, u"8"_s).outcome, ActionOutcome::Waiting);
    QCOMPARE(session->storeEntry(u"W2"_s, u"9"_s).outcome, ActionOutcome::Waiting);
    QVERIFY(session->chooseUser(u"EB"_s).done());
    QCOMPARE(session->storeWaiting().outcome, ActionOutcome::Waiting);
    other->exec(u"COMMIT"_s);
    QVERIFY(session->storeWaiting().done());
    QVERIFY(session->storeWaiting().done());
    QVERIFY(session->waiting().isEmpty());
    QCOMPARE(f.lab.column(u"SELECT SAMPLE_ID || ' ' || R_VALIDATOR FROM RESULTS ORDER BY SAMPLE_ID"_s),
             (QStringList{u"W1 MB"_s, u"W2 MB"_s}));
    QCOMPARE(session->sampleCount(), 2);
}

KESTRIN_TEST_MAIN(TestEntrySession)
#include "tst_entrysession.moc"
