#include "LabStation.h"
#include "OrderBuilder.h"
#include "PermissionBits.h"
#include "TestMain.h"
#include "hl7import/ImportCycle.h"
#include "hl7import/ImportFolder.h"
#include "hl7import/ImportJournal.h"
#include "hl7import/NativeFileNames.h"
#include "labdb/DbError.h"
#include "labdb/DialectFactory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;
using namespace kestrin;
using test::OrderBuilder;

namespace {

QByteArray order(const QString& sample) { return OrderBuilder().sample(sample).test(u"AMP"_s).text().toLatin1(); }

int count(test::LabStation& station, const QString& sql, const QVariantList& values = {})
{
    return station.db().first(sql, values)->at(0).toInt();
}

int storedMessages(test::LabStation& station)
{
    return count(station, u"SELECT COUNT(*) FROM HL7_STRINGS WHERE STRING_DEF = ?"_s, {u"MSH"_s});
}

// Fills a folder with "name" and 0name ... 999name, so that nothing more of that name fits.
void fillNames(const QString& folder, const QString& name)
{
    test::WriteFile(folder + u'/' + name, "old");
    for (int i = 0; i < 1000; ++i)
        test::WriteFile(folder + u'/' + QString::number(i) + name, "old");
}

// A trigger that refuses the requests of one sample, as a column or constraint refuses a value.
void refuseSample(test::LabStation& station, const QString& sample)
{
    Database& db = station.db();
    if (station.scratch.engine() == u"postgres") {
        db.exec(u"CREATE FUNCTION refuse() RETURNS trigger AS $$ BEGIN IF NEW.sample_id = '%1' THEN "
                u"RAISE EXCEPTION 'refused' USING ERRCODE = 'check_violation'; END IF; RETURN NEW; END $$ "
                u"LANGUAGE plpgsql"_s.arg(sample));
        db.exec(u"CREATE TRIGGER refuse BEFORE INSERT ON request FOR EACH ROW EXECUTE FUNCTION refuse()"_s);
    } else {
        db.exec(u"CREATE TRIGGER refuse BEFORE INSERT ON REQUEST WHEN NEW.SAMPLE_ID = '%1' "
                u"BEGIN SELECT RAISE(ABORT, 'refused'); END"_s.arg(sample));
    }
}

} // namespace

// What survives a database outage, a crash, an unwritable folder and hostile files.
class TestImportSafety : public QObject {
    Q_OBJECT
private slots:
    void refusedDataFailsTheMessage_data() { test::AddEngineRows(); }
    void refusedDataFailsTheMessage();
    void lostDatabaseSendsTheFileBack();
    void committedClaimIsFiledNotStoredAgain_data() { test::AddEngineRows(); }
    void committedClaimIsFiledNotStoredAgain();
    void unfilableStoredFileIsNeverStoredTwice();
    void failedFilesWaitingForTheErrorFolderAreSaid();
    void importFolderTroubleIsSaidOnce_data();
    void importFolderTroubleIsSaidOnce();
    void absentFieldsAreEmptyText_data() { test::AddEngineRows(); }
    void absentFieldsAreEmptyText();
    void oversizedFileIsNotRead();
    void pastALimitFails_data();
    void pastALimitFails();
    void hostileFolderContents_data();
    void hostileFolderContents();
    void unknownSegmentsAreSummed();
    void awkwardNamesAreTaken();
    void errorClassification_data();
    void errorClassification();
};

void TestImportSafety::refusedDataFailsTheMessage()
{
    KESTRIN_STATION(station);
    refuseSample(station, u"BAD"_s);
    station.dropOrder(u"1.hl7"_s, order(u"GOOD1"_s));
    station.dropOrder(u"2.hl7"_s, OrderBuilder().controlId(u"MSGBAD"_s).sample(u"BAD"_s).test(u"AMP"_s).text());
    const CycleOutcome outcome = RunImportCycle(station.ctx());
    QCOMPARE(outcome.handled, 1);
    QCOMPARE(outcome.failed, 1);
    QCOMPARE(station.doneFiles(), QStringList{u"1.hl7"_s});
    QCOMPARE(station.errorFiles(), QStringList{u"2.hl7"_s});
    // The message before it in the same batch is stored once, and logged once.
    QCOMPARE(station.column(u"SELECT SAMPLE_ID FROM REQUEST"_s), QStringList{u"GOOD1"_s});
    QCOMPARE(storedMessages(station), 1);
    QCOMPARE(station.logLines().filter(u"Nachricht eingelesen"_s).size(), 2);
    // Found only by the batch's commit, the message is still named by its own fields.
    QCOMPARE(station.logLines().filter(u"Fehler beim lesen der Nachricht : "_s),
             QStringList{u"20.01.2019 14:05:03 K->L Fehler beim lesen der Nachricht : MSGBAD Auftrag/Probe: BAD"_s});
}

// The server ends the session in the middle of a message, as when PostgreSQL stops.
void TestImportSafety::lostDatabaseSendsTheFileBack()
{
    test::LabStation station(u"postgres"_s);
    KESTRIN_REQUIRE(station.scratch);
    station.seedTests();
    station.db().exec(u"CREATE FUNCTION outage() RETURNS trigger AS $$ BEGIN IF NEW.sample_id = 'S2' THEN "
                      u"PERFORM pg_terminate_backend(pg_backend_pid()); END IF; RETURN NEW; END $$ "
                      u"LANGUAGE plpgsql"_s);
    station.db().exec(u"CREATE TRIGGER outage BEFORE INSERT ON request FOR EACH ROW EXECUTE FUNCTION outage()"_s);
    const QByteArray second = order(u"S2"_s);
    station.dropOrder(u"1.hl7"_s, order(u"S1"_s));
    station.dropOrder(u"2.hl7"_s, second);
    QVERIFY_THROWS_EXCEPTION(DbError, RunImportCycle(station.ctx()));
    QVERIFY(station.errorFiles().isEmpty());
    QCOMPARE(station.importFiles(), (QStringList{u"1.hl7"_s, u"2.hl7"_s}));
    QCOMPARE(test::ReadFile(station.config.ImportPath + u"2.hl7"_s), second);
    QVERIFY(!station.logLines().filter(u"back to the import folder"_s).isEmpty());

    station.db().reopen();
    station.db().exec(u"DROP TRIGGER outage ON request"_s);
    QCOMPARE(RunImportCycle(station.ctx()).handled, 2);
    QCOMPARE(storedMessages(station), 2);
}

// A kill after the commit and before the files reached "Done" leaves claims whose messages
// are stored.
void TestImportSafety::committedClaimIsFiledNotStoredAgain()
{
    KESTRIN_STATION(station);
    const QString folder = station.config.ImportPath;
    station.dropOrder(u"1.hl7"_s, order(u"S1"_s));
    station.dropOrder(u"2.hl7"_s, order(u"S2"_s));
    const Claimant dead{station.config.ComputerName, 999999999, QDateTime::currentDateTime()};
    const ClaimAttempt stored = ClaimOrderFile(folder, u"1.hl7"_s, dead);
    QVERIFY(!ClaimOrderFile(folder, u"2.hl7"_s, dead).path.isEmpty());
    RecordImported(station.db(), {ImportedRow(QFileInfo(stored.path).fileName(), u"1.hl7"_s, station.clock.now())});

    const CycleOutcome outcome = RunImportCycle(station.ctx());
    QCOMPARE(outcome.handled, 2);
    QCOMPARE(station.doneFiles(), (QStringList{u"1.hl7"_s, u"2.hl7"_s}));
    QCOMPARE(storedMessages(station), 1); // only the one that was not stored before
    QCOMPARE(station.column(u"SELECT SAMPLE_ID FROM REQUEST"_s), QStringList{u"S2"_s});
}

void TestImportSafety::unfilableStoredFileIsNeverStoredTwice()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    QDir().mkpath(station.config.ImportDonePath);
    fillNames(station.config.ImportDonePath, u"x.hl7"_s);
    station.dropOrder(u"x.hl7"_s, order(u"S1"_s));
    ImportState state;
    for (int cycle = 0; cycle < 3; ++cycle) {
        const CycleOutcome outcome = RunImportCycle(station.ctx(), state);
        QCOMPARE(outcome.failed, 1);
        QCOMPARE(outcome.handled, 0);
    }
    QCOMPARE(storedMessages(station), 1);
    QCOMPARE(station.logLines().filter(u"cannot be filed into"_s).size(), 1); // once per outage
    QCOMPARE(ClaimedName(station.importFiles().value(0)), u"x.hl7"_s);

    QFile::remove(station.config.ImportDonePath + u"/5x.hl7"_s);
    QCOMPARE(RunImportCycle(station.ctx(), state).handled, 1);
    QVERIFY(station.importFiles().isEmpty());
    QCOMPARE(storedMessages(station), 1);
    QCOMPARE(station.logLines().filter(u"takes order files again"_s).size(), 1);
}

void TestImportSafety::importFolderTroubleIsSaidOnce_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("said");
    QTest::addColumn<QString>("mended");
    const QString unlisted =
        u"The import folder %1 cannot be listed (Permission denied); the order files in it wait."_s;
    QTest::newRow("not listable") << 0311 << unlisted << u"The import folder %1 can be listed again."_s;
    QTest::newRow("no access") << 0 << unlisted << u"The import folder %1 can be listed again."_s;
    QTest::newRow("not writable") << 0555 << u"Order files in %1 cannot be taken (S1.hl7: "_s
                                  << u"The order files in %1 can be taken again."_s;
}

// Orders that wait because of their folder are said once, and once when they can go, however
// many files and cycles meet the trouble; the line names the folder at fault.
void TestImportSafety::importFolderTroubleIsSaidOnce()
{
#ifndef Q_OS_LINUX
    QSKIP("permission bits are tried on Linux");
#else
    QFETCH(int, mode);
    QFETCH(QString, said);
    QFETCH(QString, mended);
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    const QString folder = station.config.ImportPath;
    for (const QString& sample : {u"S1"_s, u"S2"_s, u"S3"_s})
        station.dropOrder(sample + u".hl7"_s, order(sample));
    QDir().mkpath(station.config.ImportDonePath);
    ImportState state;
    {
        const test::PermissionBitsApply strict;
        ::chmod(QFile::encodeName(folder).constData(), mode_t(mode));
        for (int cycle = 0; cycle < 3; ++cycle)
            QCOMPARE(RunImportCycle(station.ctx(), state).failed, mode == 0555 ? 3 : 1);
        ::chmod(QFile::encodeName(folder).constData(), 0755);
        QCOMPARE(RunImportCycle(station.ctx(), state).handled, 3);
    }
    const QStringList lines = station.logLines();
    QCOMPARE(lines.filter(said.arg(folder)).size(), 1);
    QCOMPARE(lines.filter(mended.arg(folder)).size(), 1);
    QCOMPARE(lines.filter(folder).size(), 2);
#endif
}

// While failed files wait for an error folder that cannot take them, every cycle counts them as
// failed (so "/cycle" exits 1); it is said once, and once when they are filed, also by a
// process that did not see them fail.
void TestImportSafety::failedFilesWaitingForTheErrorFolderAreSaid()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    test::WriteFile(station.config.ImportErrorPath, "a file where the folder belongs");
    const QByteArray broken = OrderBuilder().sample(u"B"_s).patient(u"P9"_s, u"Meier"_s).text().toLatin1();
    station.dropOrder(u"a.hl7"_s, broken);
    station.dropOrder(u"b.hl7"_s, order(u"S1"_s));
    ImportState state;
    QCOMPARE(RunImportCycle(station.ctx(), state).handled, 1); // the failed file blocks nothing
    QCOMPARE(station.doneFiles(), QStringList{u"b.hl7"_s});
    for (int cycle = 1; cycle <= 4; ++cycle)
        QCOMPARE(RunImportCycle(station.ctx(), state).failed, 1);
    QCOMPARE(station.logLines().filter(u"they are set aside"_s).size(), 1);

    QFile::remove(station.config.ImportErrorPath);
    Context nextProcess{station.config, station.db(), station.log, station.clock};
    QCOMPARE(RunImportCycle(nextProcess).failed, 0);
    QCOMPARE(station.errorFiles(), QStringList{u"a.hl7"_s});
    QCOMPARE(test::ReadFile(station.config.ImportErrorPath + u"/a.hl7"_s), broken);
    QVERIFY(station.importFiles().isEmpty());
    QCOMPARE(station.logLines().filter(u"takes failed order files again"_s).size(), 1);
}

void TestImportSafety::absentFieldsAreEmptyText()
{
    KESTRIN_STATION(station);
    station.dropOrder(u"1.hl7"_s, OrderBuilder().sample(u"S1"_s).shortSegments().test(u"AMP"_s).text().toLatin1());
    station.dropOrder(u"2.hl7"_s, OrderBuilder().sample(u"S2"_s).shortSegments().test(u"AMP"_s).text().toLatin1());
    QCOMPARE(RunImportCycle(station.ctx()).handled, 2);
    QCOMPARE(station.column(u"SELECT CUST_ID FROM CUSTOMER"_s), QStringList{QString()});
    QCOMPARE(count(station, u"SELECT COUNT(*) FROM CUSTOMER WHERE CUST_ID IS NULL"_s), 0);
    QCOMPARE(count(station, u"SELECT COUNT(*) FROM PATIENTS WHERE SEX IS NULL AND SI_ID = ?"_s, {u"P100"_s}), 0);
    QCOMPARE(count(station, u"SELECT COUNT(*) FROM SAMPLE_BASE WHERE CUST_ID IS NULL OR COMMENT_COLL IS NULL"_s), 0);
}

void TestImportSafety::oversizedFileIsNotRead()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    station.config.ImportMaxBytes = 1000;
    QByteArray big = order(u"S1"_s);
    big.append(QByteArray(2000, 'x'));
    station.dropOrder(u"big.hl7"_s, big);
    QCOMPARE(RunImportCycle(station.ctx()).failed, 1);
    QCOMPARE(station.errorFiles(), QStringList{u"big.hl7"_s});
    QVERIFY(!station.logLines().filter(u"more than ImportMaxBytes"_s).isEmpty());
    QCOMPARE(storedMessages(station), 0);
}

// A file within ImportMaxBytes is read in a few times its size: what would cost a list entry
// per separator fails past a limit, or is never parted.
void TestImportSafety::pastALimitFails_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("failure"); // empty: handled

    const auto withSegments = [](int count) {
        OrderBuilder order = OrderBuilder().sample(u"S1"_s).test(u"AMP"_s);
        for (qsizetype i = order.lines().size(); i < count; ++i)
            order.segment(u"ZZZ|x"_s);
        return order.text();
    };
    const auto withName = [](int components) {
        return OrderBuilder().sample(u"S1"_s).patient(u"P1"_s, u"Doe"_s + QString(components - 1, u'^')).text();
    };
    QTest::newRow("100 name components") << withName(100) << QString();
    QTest::newRow("101 name components") << withName(101) << u"PID-5 has 101 components; at most 100 are read."_s;
    QTest::newRow("100 000 segments") << withSegments(100000) << QString();
    QTest::newRow("100 001 segments") << withSegments(100001)
                                      << u"The order file holds 100001 segments; at most 100000 are read."_s;
    const QString separators(1000000, u'|');
    QTest::newRow("unknown segment of a million fields")
        << OrderBuilder().sample(u"S1"_s).segment(u"ZZZ"_s + separators).text() << QString();
    QTest::newRow("PID of a million fields") << OrderBuilder().sample(u"S1"_s).segment(u"PID"_s + separators).text()
                                             << u"A PID segment has 1000000 fields; at most 99 are possible."_s;
}

void TestImportSafety::pastALimitFails()
{
    QFETCH(QString, text);
    QFETCH(QString, failure);
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    station.dropOrder(u"1.hl7"_s, text.toLatin1());
    const CycleOutcome outcome = RunImportCycle(station.ctx());
    QCOMPARE(outcome.failed, failure.isEmpty() ? 0 : 1);
    QCOMPARE(station.errorFiles(), failure.isEmpty() ? QStringList() : QStringList{u"1.hl7"_s});
    if (!failure.isEmpty())
        QVERIFY2(!station.logLines().filter(failure).isEmpty(), qPrintable(station.logLines().join(u'\n')));
}

void TestImportSafety::hostileFolderContents_data()
{
    QTest::addColumn<QString>("hostile");
    QTest::addColumn<QString>("stays"); // where the hostile name is after two cycles: "in", "error"
    QTest::addColumn<int>("failed");    // in the two cycles
    QTest::addColumn<QString>("said");  // once, in the log or the error a cycle threw
    const QString linked = u"link.hl7 is a link; it is not read."_s;
    QTest::newRow("link to a private order file") << u"link"_s << u"error"_s << 1 << linked;
    QTest::newRow("second name of a file")
        << u"hard link"_s << u"error"_s << 1 << u"hard.hl7 is a file with 2 names (hard links)"_s;
    QTest::newRow("pipe") << u"pipe"_s << u"error"_s << 1 << u"pipe.hl7 is a device, pipe or socket"_s;
    QTest::newRow("folder") << u"folder"_s << u"in"_s << 0 << u"x.hl7 in the import folder is a folder"_s;
    QTest::newRow("name of no text, still being written") << u"young"_s << u"in"_s << 0 << QString();
    QTest::newRow("name with ESC") << u"escape"_s << u"error"_s << 1 << u"e{ESC}[2J.hl7 is a link"_s;
    QTest::newRow("Done is a link") << u"done link"_s << u"in"_s << 0
                                    << u"Done cannot take order files: it is a link"_s;
    QTest::newRow("Done of another user") << u"done foreign"_s << u"in"_s << 0 << u"belongs to the user with ID 4242"_s;
    QTest::newRow("EinleseFehler is a link")
        << u"error link"_s << u"in"_s << 2 << u"EinleseFehler (it is a link, not a folder); they are set aside"_s;
}

// Whatever a sender puts into the import folder, Kestrin reads only regular files of one name
// in it, by their own names, and files them only into real folders of its own.
void TestImportSafety::hostileFolderContents()
{
#ifdef Q_OS_WIN
    QSKIP("links, pipes and names of no text are tried on Unix");
#else
    QFETCH(QString, hostile);
    QFETCH(QString, stays);
    QFETCH(int, failed);
    QFETCH(QString, said);
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    const QString in = station.config.ImportPath;
    const QString elsewhere = station.scratch.folder() + u"/private/"_s;
    QDir().mkpath(elsewhere);
    test::WriteFile(elsewhere + u"order.hl7"_s, order(u"PRIVATE"_s));
    QFile::setPermissions(elsewhere + u"order.hl7"_s, QFile::ReadOwner | QFile::WriteOwner);
    QDir().mkpath(in);
    QByteArray name = hostile.toUtf8() + ".hl7"; // its bytes
    if (hostile == u"link") {
        name = "link.hl7";
        QVERIFY(QFile::link(elsewhere + u"order.hl7"_s, in + u"link.hl7"_s));
    } else if (hostile == u"hard link") {
        name = "hard.hl7";
        QCOMPARE(::link(QFile::encodeName(elsewhere + u"order.hl7"_s).constData(),
                        QFile::encodeName(in + u"hard.hl7"_s).constData()),
                 0);
    } else if (hostile == u"pipe") {
        name = "pipe.hl7";
        QCOMPARE(::mkfifo(QFile::encodeName(in + u"pipe.hl7"_s).constData(), 0600), 0);
    } else if (hostile == u"folder") {
        name = "x.hl7";
        QDir().mkpath(in + u"x.hl7"_s);
    } else if (hostile == u"young") {
        // A sender on a share writes windows-1252 names; this one is still being written.
        station.config.ImportMinAge = 60 * 60 * 1000;
        name = "M\xfcller.hl7";
        QFile file;
        QVERIFY(file.open(::fopen(QByteArray(QFile::encodeName(in) + name).constData(), "w"), QIODevice::WriteOnly,
                          QFileDevice::AutoCloseHandle));
        file.write(order(u"S1"_s).left(40));
    } else if (hostile == u"escape") {
        name = "e\x1b[2J.hl7";
        QVERIFY(QFile::link(u"/dev/zero"_s, in + QString::fromLatin1(name)));
    } else if (hostile.startsWith(u"done") || hostile == u"error link") {
        const QString folder =
            hostile == u"error link" ? station.config.ImportErrorPath : station.config.ImportDonePath;
        if (hostile == u"done foreign") {
            QDir().mkpath(folder);
            if (::chown(QFile::encodeName(folder).constData(), 4242, 4242) != 0)
                QSKIP("only root can give a folder to another user");
        } else {
            QVERIFY(QFile::link(elsewhere, folder));
        }
        name = hostile == u"error link" ? "a.hl7" : "b.hl7";
        station.dropOrder(QString::fromLatin1(name),
                          hostile == u"error link" ? OrderBuilder().patient(u"P9"_s, u"Meier"_s).text().toLatin1()
                                                   : order(u"S1"_s));
    }
    ImportState state;
    QStringList thrown;
    int failures = 0;
    for (int cycle = 0; cycle < 2; ++cycle) {
        try {
            failures += RunImportCycle(station.ctx(), state).failed;
        } catch (const FileError& e) {
            thrown << e.message();
        }
    }
    QCOMPARE(failures, failed);
    QCOMPARE(storedMessages(station), 0);
    // Under its own name, or set aside under a marked one.
    const auto holds = [&](const QString& folder) {
        bool found = false;
        ForEachFileName(folder, [&](const QString& text, const QByteArray& bytes) {
            found = found || bytes == name || text.endsWith(u'#' + QString::fromLatin1(name));
        });
        return found;
    };
    QVERIFY(holds(stays == u"in" ? in : station.config.ImportErrorPath));
    // The private folder is as it was: nothing read from it through a link, nothing moved into it.
    QCOMPARE(test::FileNames(elsewhere), QStringList{u"order.hl7"_s});
    thrown.removeDuplicates(); // a cycle that cannot run throws at every cycle, said once by the service
    const QStringList lines = station.logLines() + thrown;
    if (!said.isEmpty())
        QCOMPARE(lines.filter(said).size(), 1);
    // No control character of a name reaches the log raw.
    QVERIFY(!test::ReadFile(station.log.fileName()).contains('\x1b'));
    ::unlink(QByteArray(QFile::encodeName(in) + name).constData()); // a name of no text outlives the folder's removal
#endif
}

void TestImportSafety::unknownSegmentsAreSummed()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    OrderBuilder builder = OrderBuilder().sample(u"S1"_s).test(u"AMP"_s);
    for (int i = 0; i < 150; ++i)
        builder.segment(u"ZZ%1|x"_s.arg(i % 10));
    station.dropOrder(u"1.hl7"_s, builder.text().toLatin1());
    QCOMPARE(RunImportCycle(station.ctx()).handled, 1);
    QCOMPARE(station.logLines().filter(u"Unbekannte Kennung"_s).size(), 100);
    QCOMPARE(station.logLines().filter(u"50 further segments of unknown kind"_s).size(), 1);
}

void TestImportSafety::awkwardNamesAreTaken()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    const QString in = station.config.ImportPath;
    const QString longName = QString(230, u'n') + u".hl7"_s;
    station.dropOrder(longName, order(u"S1"_s));
#ifndef Q_OS_WIN
    // Bytes that are no UTF-8: such a name cannot be written as text.
    const QByteArray latin1 = QFile::encodeName(in) + "M\xfcller.hl7";
    QFile raw;
    QVERIFY(raw.open(::fopen(latin1.constData(), "w"), QIODevice::WriteOnly, QFileDevice::AutoCloseHandle));
    raw.write(order(u"S2"_s));
    raw.close();
#endif
    QCOMPARE(RunImportCycle(station.ctx()).handled, QDir::separator() == u'/' ? 2 : 1);
    QVERIFY(station.doneFiles().contains(longName));
    QVERIFY(station.importFiles().isEmpty());
    QCOMPARE(storedMessages(station), QDir::separator() == u'/' ? 2 : 1);
    // A claim name does not grow with the original, and keeps its extension.
    const QString claim = ClaimFileName({u"HOST"_s, 1, QDateTime::currentDateTime()}, QString(300, u'\u00e9'));
    QVERIFY(QFile::encodeName(claim).size() <= 240);
    QVERIFY(claim != ClaimFileName({u"HOST"_s, 1, QDateTime::currentDateTime()}, QString(301, u'\u00e9')));
    QVERIFY(ClaimFileName({u"HOST"_s, 1, QDateTime::currentDateTime()}, QString(300, u'n') + u".hl7"_s)
                .endsWith(u".hl7"_s));

    // The same name of the longest kind again: "Done" takes it under a numbered name that
    // fits the file system, its extension kept.
    const QString longest = QString(251, u'x') + u".hl7"_s;
    station.dropOrder(longest, order(u"S3"_s));
    QCOMPARE(RunImportCycle(station.ctx()).handled, 1);
    station.dropOrder(longest, order(u"S4"_s));
    // A claim's name holds its millisecond: the same name claimed twice within one is one claim.
    QTest::qWait(2);
    const CycleOutcome again = RunImportCycle(station.ctx());
    QVERIFY2(again.handled == 1, qPrintable(station.logLines().filter(u"Fehler"_s).join(u"\n"_s)));
    QCOMPARE(again.failed, 0);
    const QStringList numbered = station.doneFiles().filter(QRegularExpression(u"^0x+~[0-9a-f]{8}\\.hl7$"_s));
    QCOMPARE(numbered.size(), 1);
    QVERIFY(QFile::encodeName(numbered.first()).size() <= 255);
}

void TestImportSafety::errorClassification_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("code");
    QTest::addColumn<bool>("refusesData");
    QTest::newRow("sqlite constraint") << u"sqlite"_s << u"19"_s << true;
    QTest::newRow("sqlite trigger constraint (extended)") << u"sqlite"_s << u"1811"_s << true;
    QTest::newRow("sqlite busy") << u"sqlite"_s << u"5"_s << false;
    QTest::newRow("sqlite read-only") << u"sqlite"_s << u"8"_s << false;
    QTest::newRow("sqlite disk I/O") << u"sqlite"_s << u"10"_s << false;
    QTest::newRow("postgres unique") << u"postgres"_s << u"23505"_s << true;
    QTest::newRow("postgres too long") << u"postgres"_s << u"22001"_s << true;
    QTest::newRow("postgres shut down") << u"postgres"_s << u"57P01"_s << false;
    QTest::newRow("postgres connection") << u"postgres"_s << u"08006"_s << false;
    QTest::newRow("postgres no code") << u"postgres"_s << QString() << false;
    QTest::newRow("sql server key") << u"sqlserver"_s << u"2627"_s << true;
    QTest::newRow("sql server timeout") << u"sqlserver"_s << u"-2"_s << false;
}

void TestImportSafety::errorClassification()
{
    QFETCH(QString, engine);
    QFETCH(QString, code);
    QTEST(MakeDialect(*EngineNamed(engine))->refusesData(code), "refusesData");
}

KESTRIN_TEST_MAIN(TestImportSafety)
#include "tst_importsafety.moc"
