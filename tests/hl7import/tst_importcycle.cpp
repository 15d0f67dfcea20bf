#include "LabStation.h"
#include "OrderBuilder.h"
#include "TestMain.h"
#include "hl7import/ImportCycle.h"
#include "hl7import/ImportFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;
using namespace kestrin;
using test::OrderBuilder;

namespace {

QByteArray order(const QString& sample) { return OrderBuilder().sample(sample).test(u"AMP"_s).text().toLatin1(); }

QByteArray broken(const QString& sample)
{
    // PID-5 with a single component fails the message after its segments were archived.
    return OrderBuilder().sample(sample).patient(u"P9"_s, u"Meier"_s).test(u"AMP"_s).text().toLatin1();
}

// Every row a query returns, its values joined.
QStringList rowsOf(Database& db, const QString& sql)
{
    QStringList rows;
    for (const Row& row : db.query(sql)) {
        QStringList values;
        for (qsizetype i = 0; i < row.size(); ++i)
            values << row.at(i).toString();
        rows << values.join(u'|');
    }
    return rows;
}

// What the import left: the rows (a sample's P_ID as the patient it names, patients in the order
// they were made) and the files.
QStringList storedRows(test::LabStation& station)
{
    Database& db = station.db();
    return rowsOf(db, u"SELECT SI_ID, SURNAME, FORENAME, SEX, BIRTH, ENTRY_DATE FROM PATIENTS ORDER BY P_ID"_s) +
        rowsOf(db,
               u"SELECT s.SAMPLE_ID, s.SI_ID, p.SI_ID, p.SURNAME, s.CUST_ID, s.STATUS_1, s.COLL_DAT, "
               u"s.COMMENT_COLL FROM SAMPLE_BASE s LEFT JOIN PATIENTS p ON p.P_ID = s.P_ID ORDER BY s.SAMPLE_ID"_s) +
        rowsOf(db, u"SELECT CUST_ID, CUST_NAME FROM CUSTOMER ORDER BY CUST_ID"_s) +
        rowsOf(db, u"SELECT SAMPLE_ID, PARAMETER_ID FROM REQUEST ORDER BY SAMPLE_ID, PARAMETER_ID"_s) +
        rowsOf(db, u"SELECT ORDER_ID, STRING_DEF FROM HL7_STRINGS ORDER BY ORDER_ID, STRING_DEF"_s) +
        station.doneFiles() + station.errorFiles() + station.importFiles();
}

// The database refuses the row of patient BAD, as a column or constraint refuses a value.
void refusePatientBad(test::LabStation& station)
{
    Database& db = station.db();
    if (station.scratch.engine() == u"postgres") {
        db.exec(u"CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN IF NEW.si_id = 'BAD' THEN "
                u"RAISE EXCEPTION 'refused' USING ERRCODE = 'check_violation'; END IF; RETURN NEW; END $$ "
                u"LANGUAGE plpgsql"_s);
        db.exec(u"CREATE TRIGGER refuse BEFORE INSERT ON patients FOR EACH ROW EXECUTE FUNCTION refuse()"_s);
    } else {
        db.exec(u"CREATE TRIGGER refuse BEFORE INSERT ON PATIENTS WHEN NEW.SI_ID = 'BAD' "
                u"BEGIN SELECT RAISE(ABORT, 'refused'); END"_s);
    }
}

} // namespace

class TestImportCycle : public QObject {
    Q_OBJECT
private slots:
    void missingFoldersAreCreated();
    void extensionRule();
    void filesTakenInNameOrder();
    void duplicateNamesGetPrefixes();
    void failedFileDoesNotEndTheCycle_data();
    void failedFileDoesNotEndTheCycle();
    void failuresEndTheCycleAtTheirLimit();
    void claimsChangedByAnotherProgram_data();
    void claimsChangedByAnotherProgram();
    void cancellationGoesToDone();
    void youngFilesWait();
    void loneCarriageReturnsEndSegments_data() { test::AddEngineRows(); }
    void loneCarriageReturnsEndSegments();
    void staleClaimsAreTakenBack();
    void freshForeignClaimIsLeftAlone();
    void commitsInGroups_data() { test::AddEngineRows(); }
    void commitsInGroups();
    void failedCommitGivesTheFilesBack();
    void filesClaimedAheadGoBack_data();
    void filesClaimedAheadGoBack();
    void batchStoresAsMessageByMessage_data();
    void batchStoresAsMessageByMessage();
    void ordersWithoutPatientIdGetAPatientEach_data();
    void ordersWithoutPatientIdGetAPatientEach();
};

void TestImportCycle::filesClaimedAheadGoBack_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("event"); // in the second batch
    QTest::addColumn<int>("done");      // files in Done after the cycle
    for (const QString& engine : {u"sqlite"_s, u"postgres"_s}) {
        const QByteArray on = engine.toLatin1();
        QTest::addRow("a message fails, %s", on.constData()) << engine << u"fail"_s << 59;
        QTest::addRow("asked to stop, %s", on.constData()) << engine << u"stop"_s << 20;
        QTest::addRow("the database is lost, %s", on.constData()) << engine << u"lose"_s << 10;
    }
}

// The next batch's files are claimed and read while a batch is stored: however the cycle ends,
// each file is stored and in Done, or back under its own name, and the next cycle takes the rest.
void TestImportCycle::filesClaimedAheadGoBack()
{
    QFETCH(QString, event);
    QFETCH(int, done);
    KESTRIN_STATION(station);
    QStringList names;
    for (int i = 1; i <= 60; ++i) {
        names << u"%1.hl7"_s.arg(i, 2, 10, QChar(u'0'));
        station.dropOrder(names.last(), i == 15 && event == u"fail" ? broken(u"S15"_s) : order(u"S%1"_s.arg(i)));
    }
    std::atomic<bool> stopping = false;
    station.ctx().stopping = &stopping;
    QObject::connect(&station.log, &CommLog::displayLine, &station.log, [&](const QString& line) {
        if (!line.contains(u"Auftrag/Probe: S12"_s) || !line.contains(u"Nachricht eingelesen"_s))
            return;
        if (event == u"stop")
            stopping = true;
        else if (event == u"lose")
            station.db().close();
    });
    ImportOptions options;
    options.messagesPerCommit = 10;
    if (event == u"lose") {
        QVERIFY_THROWS_EXCEPTION(std::exception, RunImportCycle(station.ctx(), options));
    } else
        QCOMPARE(RunImportCycle(station.ctx(), options).handled, done);
    QStringList expected = names.mid(0, event == u"fail" ? 60 : done);
    if (event == u"fail")
        expected.removeOne(u"15.hl7"_s); // the cycle goes on after it
    QCOMPARE(station.doneFiles(), expected);
    QStringList everyFile = station.importFiles() + station.doneFiles() + station.errorFiles();
    everyFile.sort();
    QCOMPARE(everyFile, names); // none lost, none left claimed

    QObject::disconnect(&station.log, &CommLog::displayLine, &station.log, nullptr);
    station.ctx().stopping = nullptr;
    station.db().reopen();
    RunImportCycle(station.ctx(), options);
    const qsizetype failed = event == u"fail" ? 1 : 0;
    QCOMPARE(station.doneFiles().size(), 60 - failed);
    QCOMPARE(station.column(u"SELECT DISTINCT SAMPLE_ID FROM SAMPLE_BASE"_s).size(), 60 - failed);
}

void TestImportCycle::missingFoldersAreCreated()
{
    test::LabStation station(u"sqlite"_s);
    const CycleOutcome outcome = RunImportCycle(station.ctx());
    QCOMPARE(outcome.handled, 0);
    QVERIFY(QDir(station.config.ImportPath).exists());
    QVERIFY(QDir(station.config.ImportDonePath).exists());
    QVERIFY(!QDir(station.config.ImportErrorPath).exists());
}

void TestImportCycle::extensionRule()
{
    test::LabStation station(u"sqlite"_s);
    station.dropOrder(u"a.hl7"_s, order(u"1"_s));
    station.dropOrder(u"b.HL7"_s, order(u"2"_s));
    station.dropOrder(u"c.Hl7"_s, order(u"3"_s));
    station.dropOrder(u"dhl7"_s, order(u"4"_s));
    station.dropOrder(u"e.txt"_s, order(u"5"_s));
    QCOMPARE(RunImportCycle(station.ctx()).handled, 4);
    QCOMPARE(station.doneFiles(), (QStringList{u"a.hl7"_s, u"b.HL7"_s, u"c.Hl7"_s, u"dhl7"_s}));
    QVERIFY(station.importFiles().contains(u"e.txt"_s));
    station.config.ImportExtension = u".hl7"_s; // four characters: never matches
    station.dropOrder(u"f.hl7"_s, order(u"6"_s));
    QCOMPARE(RunImportCycle(station.ctx()).handled, 0);
    QVERIFY(station.importFiles().contains(u"f.hl7"_s));
}

void TestImportCycle::filesTakenInNameOrder()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    for (const QString& name : {u"c.hl7"_s, u"a.hl7"_s, u"e.hl7"_s, u"b.hl7"_s, u"d.hl7"_s})
        station.dropOrder(name, OrderBuilder().sample(name.left(1)).text().toLatin1());
    ImportOptions options;
    options.filesPerListing = 2; // the folder read in parts
    QCOMPARE(RunImportCycle(station.ctx(), options).handled, 5);
    QStringList order;
    for (const QString& line : station.logLines().filter(u"Nachricht eingelesen"_s))
        order << line.right(1);
    QCOMPARE(order, (QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s}));
}

void TestImportCycle::duplicateNamesGetPrefixes()
{
    test::LabStation station(u"sqlite"_s);
    test::WriteFile(station.config.ImportDonePath + u"/x.hl7"_s, "old");
    test::WriteFile(station.config.ImportDonePath + u"/0x.hl7"_s, "old");
    station.dropOrder(u"x.hl7"_s, order(u"1"_s));
    RunImportCycle(station.ctx());
    QCOMPARE(station.doneFiles(), (QStringList{u"0x.hl7"_s, u"1x.hl7"_s, u"x.hl7"_s}));
    QCOMPARE(test::ReadFile(station.config.ImportDonePath + u"/1x.hl7"_s), order(u"1"_s));
}

void TestImportCycle::failedFileDoesNotEndTheCycle_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<int>("maxFailures");
    for (const char* engine : {"sqlite", "postgres"}) {
        QTest::addRow("%s", engine) << QString::fromLatin1(engine) << 100;
        QTest::addRow("%s, at most one failure a cycle", engine) << QString::fromLatin1(engine) << 1;
    }
}

void TestImportCycle::failedFileDoesNotEndTheCycle()
{
    QFETCH(int, maxFailures);
    KESTRIN_STATION(station);
    station.config.ImportMaxFailures = maxFailures;
    station.dropOrder(u"1.hl7"_s, order(u"S1"_s));
    station.dropOrder(u"2.hl7"_s, broken(u"S2"_s));
    station.dropOrder(u"3.hl7"_s, order(u"S3"_s));
    const CycleOutcome first = RunImportCycle(station.ctx());
    QCOMPARE(first.failed, 1);
    QCOMPARE(station.errorFiles(), QStringList{u"2.hl7"_s});
    // With a limit of one, the file after the failed one waits for the next cycle.
    const QStringList done = maxFailures == 1 ? QStringList{u"1.hl7"_s} : QStringList{u"1.hl7"_s, u"3.hl7"_s};
    QCOMPARE(station.doneFiles(), done);
    QCOMPARE(first.handled, done.size());
    const QStringList log = station.logLines();
    // The buffers hold what was read when PID failed: MSH-10, but no ORC-2 yet.
    const qsizetype failure = log.indexOf(u"20.01.2019 14:05:03 K->L Fehler beim lesen der Nachricht : MSG0001 "
                                          u"Auftrag/Probe: "_s);
    QVERIFY2(failure > 0, qPrintable(log.join(u'\n')));
    QVERIFY(log.at(failure + 1).startsWith(u"20.01.2019 14:05:03 K->L Fehlerbeschreibung: PID-5 \"Meier\""_s));
    // Nothing of the failed message stays, not even its archived segments.
    QVERIFY(station.column(u"SELECT SAMPLE_ID FROM SAMPLE_BASE WHERE SAMPLE_ID = ?"_s, {u"S2"_s}).isEmpty());
    QCOMPARE(station.column(u"SELECT ORDER_ID FROM HL7_STRINGS WHERE STRING_DEF = ?"_s, {u"MSH"_s}).size(),
             done.size());

    RunImportCycle(station.ctx());
    QCOMPARE(station.doneFiles(), (QStringList{u"1.hl7"_s, u"3.hl7"_s}));
}

// Files that fail without being stored (here empty ones) in front of an order delay it by a
// cycle, not by a cycle each; every failed file keeps its two lines.
void TestImportCycle::failuresEndTheCycleAtTheirLimit()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    station.config.ImportMaxFailures = 3;
    for (const QString& name : {u"a"_s, u"b"_s, u"c"_s, u"d"_s, u"e"_s})
        station.dropOrder(name + u".hl7"_s, QByteArray());
    station.dropOrder(u"z.hl7"_s, order(u"S1"_s));
    const CycleOutcome first = RunImportCycle(station.ctx());
    QCOMPARE(first.failed, 3);
    QCOMPARE(first.handled, 0);
    QCOMPARE(station.importFiles(), (QStringList{u"d.hl7"_s, u"e.hl7"_s, u"z.hl7"_s}));
    const CycleOutcome second = RunImportCycle(station.ctx());
    QCOMPARE(second.failed, 2);
    QCOMPARE(station.doneFiles(), QStringList{u"z.hl7"_s});
    const QStringList log = station.logLines();
    QCOMPARE(log.filter(u"Fehler beim lesen der Nachricht : "_s).size(), 5);
    QCOMPARE(log.filter(u"Fehlerbeschreibung: "_s).size(), 5);
    QCOMPARE(log.filter(u"(ImportMaxFailures)"_s).size(), 1);
}

void TestImportCycle::claimsChangedByAnotherProgram_data()
{
    QTest::addColumn<QByteArray>("rewritten"); // the first claim's new content; empty: every claim removed
    QTest::addColumn<QString>("said");
    QTest::newRow("rewritten broken") << broken(u"S1"_s) << u"was changed by another program"_s;
    QTest::newRow("rewritten as another order") << order(u"S99"_s) << u"was changed by another program"_s;
    QTest::newRow("removed") << QByteArray() << u"claimed order files were removed from"_s;
}

// A claimed file another program rewrites or removes is that file's trouble, said once: the
// cycle goes on with the others.
void TestImportCycle::claimsChangedByAnotherProgram()
{
    QFETCH(QByteArray, rewritten);
    QFETCH(QString, said);
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    station.dropOrder(u"1.hl7"_s, order(u"S1"_s));
    station.dropOrder(u"2.hl7"_s, rewritten.isEmpty() ? order(u"S2"_s) : broken(u"S2"_s));
    for (int i = 3; i <= 20; ++i)
        station.dropOrder(u"%1.hl7"_s.arg(i), order(u"S%1"_s.arg(i)));
    const QDir in(station.config.ImportPath);
    QObject::connect(&station.log, &CommLog::displayLine, &station.log, [&](const QString& line) {
        if (!line.contains(u"Nachricht eingelesen"_s) || !line.endsWith(u"Auftrag/Probe: S1"_s))
            return;
        for (const QString& claim : in.entryList({u".kestrin-claim#*"_s}, QDir::Files | QDir::Hidden)) {
            if (rewritten.isEmpty())
                QFile::remove(in.filePath(claim));
            else if (claim.endsWith(u"#1.hl7"_s))
                test::WriteFile(in.filePath(claim), rewritten);
        }
    });
    const CycleOutcome outcome = RunImportCycle(station.ctx());
    QCOMPARE(outcome.failed, rewritten.isEmpty() ? 0 : 2);
    const QStringList log = station.logLines();
    QCOMPARE(log.filter(said).size(), 1);
    QVERIFY(log.filter(u"cannot be filed into"_s).isEmpty());
    if (!rewritten.isEmpty()) {
        QCOMPARE(station.errorFiles(), (QStringList{u"1.hl7"_s, u"2.hl7"_s}));
        QCOMPARE(station.doneFiles().size(), 18);
        QCOMPARE(station.column(u"SELECT SAMPLE_ID FROM SAMPLE_BASE WHERE SAMPLE_ID IN ('S1', 'S2', 'S99')"_s),
                 QStringList());
        QCOMPARE(log.filter(u"Fehler beim lesen der Nachricht : MSG0001 Auftrag/Probe: S1"_s).size(), 1);
    }
}

void TestImportCycle::cancellationGoesToDone()
{
    test::LabStation station(u"sqlite"_s);
    station.dropOrder(u"storno.hl7"_s, OrderBuilder().orderControl(u"CA"_s).text().toLatin1());
    QCOMPARE(RunImportCycle(station.ctx()).handled, 1);
    QCOMPARE(station.doneFiles(), QStringList{u"storno.hl7"_s});
}

void TestImportCycle::youngFilesWait()
{
    test::LabStation station(u"sqlite"_s);
    station.config.ImportMinAge = 60 * 60 * 1000;
    test::WriteFile(station.config.ImportPath + u"fresh.hl7"_s, order(u"1"_s)); // written just now
    QCOMPARE(RunImportCycle(station.ctx()).handled, 0);
    QVERIFY(station.importFiles().contains(u"fresh.hl7"_s));
    station.config.ImportMinAge = 0;
    QCOMPARE(RunImportCycle(station.ctx()).handled, 1);
}

void TestImportCycle::loneCarriageReturnsEndSegments()
{
    KESTRIN_STATION(station);
    for (const QString& end : {u"\r"_s, u"\n"_s, u"\r\n"_s}) {
        const QString sample = u"S%1"_s.arg(end.size() + (end == u"\n" ? 10 : 0));
        station.dropOrder(sample + u".hl7"_s, OrderBuilder().sample(sample).test(u"THC"_s).text(end).toLatin1());
    }
    QCOMPARE(RunImportCycle(station.ctx()).handled, 3);
    QCOMPARE(station.column(u"SELECT SAMPLE_ID FROM REQUEST ORDER BY SAMPLE_ID"_s),
             (QStringList{u"S1"_s, u"S11"_s, u"S2"_s}));
}

void TestImportCycle::staleClaimsAreTakenBack()
{
    test::LabStation station(u"sqlite"_s);
    const QDateTime now = QDateTime::currentDateTime();
    // A process of this machine that is gone, and a claim of another machine long ago.
    const QString host = station.config.ComputerName;
    const auto dead = ClaimOrderFile(station.config.ImportPath, u"dead.hl7"_s, {host, 999999999, now});
    QVERIFY(dead.path.isEmpty() && dead.error.isEmpty()); // nothing to claim yet
    station.dropOrder(u"dead.hl7"_s, order(u"1"_s));
    station.dropOrder(u"old.hl7"_s, order(u"2"_s));
    QVERIFY(!ClaimOrderFile(station.config.ImportPath, u"dead.hl7"_s, {host, 999999999, now}).path.isEmpty());
    QVERIFY(!ClaimOrderFile(station.config.ImportPath, u"old.hl7"_s, {u"OTHERPC"_s, 42, now.addSecs(-3600)})
                 .path.isEmpty());
    QCOMPARE(RunImportCycle(station.ctx()).handled, 2);
    QCOMPARE(station.doneFiles(), (QStringList{u"dead.hl7"_s, u"old.hl7"_s}));
}

void TestImportCycle::freshForeignClaimIsLeftAlone()
{
    test::LabStation station(u"sqlite"_s);
    station.dropOrder(u"busy.hl7"_s, order(u"1"_s));
    const auto claim =
        ClaimOrderFile(station.config.ImportPath, u"busy.hl7"_s, {u"OTHERPC"_s, 42, QDateTime::currentDateTime()});
    QVERIFY(!claim.path.isEmpty());
    QCOMPARE(RunImportCycle(station.ctx()).handled, 0);
    QVERIFY(QFile::exists(claim.path));
    QCOMPARE(ClaimedName(QFileInfo(claim.path).fileName()), u"busy.hl7"_s);
}

void TestImportCycle::commitsInGroups()
{
    KESTRIN_STATION(station);
    for (int i = 1; i <= 5; ++i)
        station.dropOrder(u"%1.hl7"_s.arg(i), order(u"S%1"_s.arg(i)));
    ImportOptions options;
    options.messagesPerCommit = 2;
    QCOMPARE(RunImportCycle(station.ctx(), options).handled, 5);
    QCOMPARE(station.column(u"SELECT SAMPLE_ID FROM SAMPLE_BASE"_s).size(), 5);
    QCOMPARE(station.db().transactionDepth(), 0);
}

void TestImportCycle::failedCommitGivesTheFilesBack()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    station.dropOrder(u"1.hl7"_s, order(u"S1"_s));
    // Another connection holds the write lock, so the import cannot even begin to write.
    auto other = station.scratch.connectAgain();
    other->exec(u"PRAGMA busy_timeout=0"_s);
    station.db().exec(u"PRAGMA busy_timeout=0"_s);
    other->begin();
    other->exec(u"INSERT INTO quorix_log (log_key) VALUES (?)"_s, {u"lock"_s});
    QVERIFY_THROWS_EXCEPTION(std::exception, RunImportCycle(station.ctx()));
    other->rollback();
    QVERIFY(station.importFiles().contains(u"1.hl7"_s));
    QCOMPARE(RunImportCycle(station.ctx()).handled, 1);
}

void TestImportCycle::batchStoresAsMessageByMessage_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QStringList>("orders");
    QTest::addColumn<bool>("sameLog"); // false where a refused row is found only by the commit
    const auto order = [](const QString& patient, const QString& name, const QString& birth, const QString& sample) {
        return OrderBuilder().controlId(u"M"_s + sample).patient(patient, name, birth).sample(sample);
    };
    const OrderBuilder first = order(u"P1"_s, u"Meier^Anna"_s, u"19800101"_s, u"S1"_s).test(u"AMP"_s);
    const OrderBuilder later = order(u"P1"_s, u"Meier^Eva"_s, u""_s, u"S3"_s);
    for (const char* engine : {"sqlite", "postgres"}) {
        const auto row = [&](const char* name, const QList<OrderBuilder>& orders, bool sameLog) {
            QStringList texts;
            for (const OrderBuilder& o : orders)
                texts << o.text();
            QTest::addRow("%s: %s", engine, name) << QString::fromLatin1(engine) << texts << sameLog;
        };
        // P0 and S0 are stored before.
        row("created, changed, named again",
            {first, order(u"P1"_s, u"Meier^Annette"_s, u""_s, u"S2"_s).customer(u""_s),
             order(u"P1"_s, u"Schulz^Anna"_s, u"19810202"_s, u"S1"_s).test(u"THC"_s),
             order(u"P0"_s, u"Neu^Otto"_s, u"19700404"_s, u"S0"_s).customer(u""_s),
             order(u"P2"_s, u"Kurz^Eva"_s, u"19900303"_s, u"S0"_s).customer(u"WARD1"_s),
             order(u"P0"_s, u"Alt^Otto"_s, u""_s, u"S3"_s)},
            true);
        row("failed message between", {first, order(u"P1"_s, u"Meier"_s, u""_s, u"S2"_s), later}, true);
        row("cancellation between",
            {first, order(u"P1"_s, u"Meier^Anna"_s, u""_s, u"S1"_s).orderControl(u"CA"_s),
             order(u"P1"_s, u"Meier^Eva"_s, u""_s, u"S1"_s).test(u"COC"_s)},
            true);
        row("refused row", {first, order(u"BAD"_s, u"Bad^Row"_s, u""_s, u"S2"_s), later}, false);
    }
}

// A batch written together stores what its messages store one commit each, whatever a message
// finds that an earlier one of the batch wrote.
void TestImportCycle::batchStoresAsMessageByMessage()
{
    QFETCH(QString, engine);
    QFETCH(QStringList, orders);
    QFETCH(bool, sameLog);
    QList<QStringList> stored;
    QList<QStringList> logs;
    for (const int messagesPerCommit : {1, 100}) {
        test::LabStation station(engine);
        KESTRIN_REQUIRE(station.scratch);
        station.seedTests();
        for (const QString& surname : {u"Alt"_s, u"Alt2"_s}) // the SI_ID has no key: a patient twice
            station.db().exec(u"INSERT INTO PATIENTS (SI_ID, SURNAME) VALUES (?, ?)"_s, {u"P0"_s, surname});
        station.db().exec(u"INSERT INTO SAMPLE_BASE (SAMPLE_ID, SI_ID) VALUES (?, ?)"_s, {u"S0"_s, u"P0"_s});
        refusePatientBad(station);
        for (qsizetype i = 0; i < orders.size(); ++i)
            station.dropOrder(u"%1.hl7"_s.arg(i), orders.at(i));
        ImportOptions options;
        options.messagesPerCommit = messagesPerCommit;
        for (qsizetype cycle = 0; cycle < orders.size(); ++cycle)
            RunImportCycle(station.ctx(), options);
        stored << storedRows(station);
        logs << station.logLines();
    }
    QCOMPARE(stored.at(1), stored.at(0));
    if (sameLog)
        QCOMPARE(logs.at(1), logs.at(0));
}

void TestImportCycle::ordersWithoutPatientIdGetAPatientEach_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<bool>("oneBatch"); // else a cycle for each file
    for (const char* engine : {"sqlite", "postgres"}) {
        QTest::addRow("%s: one batch", engine) << QString::fromLatin1(engine) << true;
        QTest::addRow("%s: a cycle each", engine) << QString::fromLatin1(engine) << false;
    }
}

// An order without PID-3 gets a patient of its own, never one found by the empty SI_ID; sent
// again, it changes that patient. A sample needs its ID all the same.
void TestImportCycle::ordersWithoutPatientIdGetAPatientEach()
{
    QFETCH(bool, oneBatch);
    KESTRIN_STATION(station);
    Database& db = station.db();
    db.exec(u"INSERT INTO PATIENTS (SI_ID, SURNAME, FORENAME) VALUES (?, ?, ?)"_s, {u"P1"_s, u"Meier"_s, u"Anna"_s});
    // Older versions gave every order without PID-3 one patient: it stays the others'.
    db.exec(u"INSERT INTO PATIENTS (SI_ID, SURNAME) VALUES (?, ?)"_s, {u""_s, u"Alt"_s});
    for (const QString& sample : {u"X0"_s, u"X1"_s})
        db.exec(
            u"INSERT INTO SAMPLE_BASE (SAMPLE_ID, SI_ID, P_ID) SELECT ?, SI_ID, P_ID FROM PATIENTS WHERE SURNAME = ?"_s,
            {sample, u"Alt"_s});
    const auto unnamed = [](const QString& sample, const QString& name, const QString& birth) {
        return OrderBuilder()
            .controlId(u"M"_s + sample + name.left(1))
            .patient(u""_s, name, birth)
            .sample(sample)
            .test(u"AMP"_s)
            .text();
    };
    const QStringList orders{unnamed(u"A1"_s, u"Meier^Anna"_s, u"19800101"_s),
                             unnamed(u"A2"_s, u"Meier^Anna"_s, u"19800101"_s), unnamed(u""_s, u"Meier^Anna"_s, u""_s),
                             unnamed(u"A1"_s, u"Schulz^Eva"_s, u""_s), unnamed(u"X0"_s, u"Neu^Otto"_s, u""_s)};
    for (qsizetype i = 0; i < orders.size(); ++i) {
        station.dropOrder(u"%1.hl7"_s.arg(i), orders.at(i));
        if (!oneBatch)
            RunImportCycle(station.ctx());
    }
    if (oneBatch)
        RunImportCycle(station.ctx());
    QCOMPARE(rowsOf(db,
                    u"SELECT s.SAMPLE_ID, s.SI_ID, p.SI_ID, p.SURNAME, p.FORENAME FROM SAMPLE_BASE s "
                    u"JOIN PATIENTS p ON p.P_ID = s.P_ID ORDER BY s.SAMPLE_ID"_s),
             (QStringList{u"A1|||Schulz|Eva"_s, u"A2|||Meier|Anna"_s, u"X0|||Neu|Otto"_s, u"X1|||Alt|"_s}));
    QCOMPARE(rowsOf(db, u"SELECT COUNT(DISTINCT P_ID) FROM SAMPLE_BASE"_s), QStringList{u"4"_s});
    QCOMPARE(rowsOf(db,
                    u"SELECT SI_ID, SURNAME, FORENAME, SEX, ENTRY_DATE FROM PATIENTS WHERE SI_ID <> '' "
                    u"OR SI_ID IS NULL"_s),
             QStringList{u"P1|Meier|Anna||"_s});
    QCOMPARE(rowsOf(db, u"SELECT COUNT(*) FROM PATIENTS WHERE SI_ID = ''"_s), QStringList{u"4"_s});
    const auto birth = db.first(u"SELECT p.BIRTH FROM PATIENTS p JOIN SAMPLE_BASE s ON s.P_ID = p.P_ID "
                                u"WHERE s.SAMPLE_ID = ?"_s,
                                {u"A1"_s});
    QCOMPARE(birth->dateTime(u"BIRTH"), QDateTime(QDate(1980, 1, 1), QTime(0, 0)));
    QCOMPARE(station.errorFiles(), QStringList{u"2.hl7"_s});
    QCOMPARE(station.logLines().filter(u"Fehlerbeschreibung: The message names no sample: ORC-2 is empty."_s).size(),
             1);
}

KESTRIN_TEST_MAIN(TestImportCycle)
#include "tst_importcycle.moc"
