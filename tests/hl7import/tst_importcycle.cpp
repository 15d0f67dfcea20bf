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

} // namespace

class TestImportCycle : public QObject {
    Q_OBJECT
private slots:
    void missingFoldersAreCreated();
    void extensionRule();
    void filesTakenInNameOrder();
    void duplicateNamesGetPrefixes();
    void firstFailureEndsTheCycle_data() { test::AddEngineRows(); }
    void firstFailureEndsTheCycle();
    void cancellationGoesToDone();
    void youngFilesWait();
    void loneCarriageReturnsEndSegments_data() { test::AddEngineRows(); }
    void loneCarriageReturnsEndSegments();
    void staleClaimsAreTakenBack();
    void freshForeignClaimIsLeftAlone();
    void commitsInGroups_data() { test::AddEngineRows(); }
    void commitsInGroups();
    void failedCommitGivesTheFilesBack();
};

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

void TestImportCycle::firstFailureEndsTheCycle()
{
    QFETCH(QString, engine);
    test::LabStation station(engine);
    KESTRIN_REQUIRE(station.scratch);
    station.seedTests();
    station.dropOrder(u"1.hl7"_s, order(u"S1"_s));
    station.dropOrder(u"2.hl7"_s, broken(u"S2"_s));
    station.dropOrder(u"3.hl7"_s, order(u"S3"_s));
    const CycleOutcome first = RunImportCycle(station.ctx());
    QCOMPARE(first.handled, 1);
    QCOMPARE(first.failed, 1);
    QCOMPARE(station.doneFiles(), QStringList{u"1.hl7"_s});
    QCOMPARE(station.errorFiles(), QStringList{u"2.hl7"_s});
    QCOMPARE(station.importFiles(), QStringList{u"3.hl7"_s});
    const QStringList log = station.logLines();
    // The buffers hold what was read when PID failed: MSH-10, but no ORC-2 yet.
    const qsizetype failure = log.indexOf(u"20.01.2019 14:05:03 K->L Fehler beim lesen der Nachricht : MSG0001 "
                                          u"Auftrag/Probe: "_s);
    QVERIFY2(failure > 0, qPrintable(log.join(u'\n')));
    QVERIFY(log.at(failure + 1).startsWith(u"20.01.2019 14:05:03 K->L Fehlerbeschreibung: PID-5 \"Meier\""_s));
    // Nothing of the failed message stays, not even its archived segments.
    QVERIFY(station.column(u"SELECT SAMPLE_ID FROM SAMPLE_BASE WHERE SAMPLE_ID = ?"_s, {u"S2"_s}).isEmpty());
    QCOMPARE(station.column(u"SELECT ORDER_ID FROM HL7_STRINGS WHERE STRING_DEF = ?"_s, {u"MSH"_s}).size(), 1);
    QCOMPARE(station.column(u"SELECT SAMPLE_ID FROM SAMPLE_BASE"_s), QStringList{u"S1"_s});

    const CycleOutcome second = RunImportCycle(station.ctx());
    QCOMPARE(second.handled, 1);
    QCOMPARE(station.doneFiles(), (QStringList{u"1.hl7"_s, u"3.hl7"_s}));
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

KESTRIN_TEST_MAIN(TestImportCycle)
#include "tst_importcycle.moc"
