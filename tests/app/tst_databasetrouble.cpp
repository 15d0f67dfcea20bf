#include "ScratchDatabase.h"
#include "ServiceFolder.h"
#include "TestMain.h"
#include "labdb/DbError.h"
#include "labdb/DialectFactory.h"
#include "labdb/Schema.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <optional>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

using test::ServiceFolder;

// Results of three samples, queued as the laboratory's software queues them.
void queueResults(Database& db)
{
    db.exec(
        u"INSERT INTO TEST_DEF (PARAMETER_ID, IMP_CODE_LDT, LONG, PRINT_POS) VALUES (8, 'THC', 'Cannabinoids', 1)"_s);
    for (const QString& sample : {u"R1"_s, u"R2"_s, u"R3"_s}) {
        db.exec(u"INSERT INTO SAMPLE_BASE (SAMPLE_ID, STATUS_1) VALUES (?, 'X')"_s, {sample});
        db.exec(u"INSERT INTO RESULTS (SAMPLE_ID, PARAMETER_ID, RESULT) VALUES (?, 8, '12')"_s, {sample});
        db.exec(u"INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) VALUES (?, 8)"_s, {sample});
    }
}

} // namespace

class TestDatabaseTrouble : public QObject {
    Q_OBJECT
private slots:
    void databaseFileTakenFromTheService_data();
    void databaseFileTakenFromTheService();
    void stopWhileAnotherProgramHoldsTheLock_data();
    void stopWhileAnotherProgramHoldsTheLock();
    void refusedLoginIsAConfigurationError_data();
    void refusedLoginIsAConfigurationError();
    void ownTablesComeOnlyFromInitDb_data();
    void ownTablesComeOnlyFromInitDb();
    void ownTableDroppedUnderTheService();
};

void TestDatabaseTrouble::databaseFileTakenFromTheService_data()
{
    QTest::addColumn<bool>("replaced"); // a copy put in its place at once, else moved back later
    QTest::addColumn<QString>("said");  // the log's line when the trouble begins
    QTest::newRow("moved away, then back") << false << u"is missing (moved or deleted)"_s;
    QTest::newRow("replaced by a copy") << true << u"was replaced by another file"_s;
}

// An order that arrives while the database file is away waits, and is filed into Done only
// once it is stored in the file at the database's path. The trouble is said once and mended once.
void TestDatabaseTrouble::databaseFileTakenFromTheService()
{
#ifdef Q_OS_WIN
    QSKIP("an open database file cannot be moved on Windows");
#else
    QFETCH(bool, replaced);
    QFETCH(QString, said);
    ServiceFolder folder;
    folder.startService();
    // The cycle record is written once the cycles run: a file taken during start-up ends the start.
    QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(folder.path(u"log/HL7.kestrin-status"_s)), 30000);
    if (replaced)
        folder.connect()->exec(u"VACUUM INTO ?"_s, {folder.path(u"copy.sqlite"_s)});
    folder.moveDatabase(u"lab.sqlite"_s, u"away.sqlite"_s);
    if (replaced)
        QVERIFY(QFile::rename(folder.path(u"copy.sqlite"_s), folder.database()));
    folder.dropOrder(u"S1"_s);
    if (!replaced) {
        QTRY_VERIFY_WITH_TIMEOUT(!folder.log().filter(said).isEmpty() || folder.filed(u"S1"_s), 30000);
        QVERIFY(!folder.filed(u"S1"_s));
        folder.moveDatabase(u"away.sqlite"_s, u"lab.sqlite"_s);
    }
    QTRY_VERIFY_WITH_TIMEOUT(folder.filed(u"S1"_s), 30000);
    QCOMPARE(folder.stored(u"S1"_s), 1);
    QCOMPARE(folder.log().filter(said).size(), 1);
    QCOMPARE(folder.log().filter(u"is open again"_s).size(), 1);
    QVERIFY(folder.stop(SIGTERM) >= 0);
    QCOMPARE(folder.service.exitCode(), 0);
#endif
}

void TestDatabaseTrouble::stopWhileAnotherProgramHoldsTheLock_data()
{
    QTest::addColumn<int>("signal");
    QTest::addColumn<bool>("atStartup"); // else in the export cycle
    QTest::newRow("SIGTERM in a cycle") << int(SIGTERM) << false;
#ifndef Q_OS_WIN
    QTest::newRow("SIGHUP in a cycle") << int(SIGHUP) << false;
#endif
    QTest::newRow("SIGTERM at start-up") << int(SIGTERM) << true;
}

// A stop while another program holds the database's write lock ends the wait: the service
// exits 0 at once, without its lock file, and the next run stores and sends everything once.
void TestDatabaseTrouble::stopWhileAnotherProgramHoldsTheLock()
{
#ifdef Q_OS_WIN
    QSKIP("signals are a Unix service manager's way");
#else
    QFETCH(int, signal);
    QFETCH(bool, atStartup);
    ServiceFolder folder;
    queueResults(*folder.connect());
    const auto holder = folder.connect();
    if (atStartup) {
        holder->begin();
        folder.startService();
        // The log is open: start-up waits to write its marker.
        QTRY_VERIFY_WITH_TIMEOUT(!folder.log().isEmpty(), 30000);
    } else {
        // The export folder comes only once the lock is taken, and the export cycle says so
        // right before it waits for the lock.
        QVERIFY(QDir(folder.path(u"out"_s)).removeRecursively());
        folder.startService();
        QTRY_VERIFY_WITH_TIMEOUT(!folder.log().filter(u"does not exist; the results stay queued"_s).isEmpty(), 30000);
        holder->begin();
        QVERIFY(QDir(folder.path(QString())).mkpath(u"out"_s));
        QTRY_VERIFY_WITH_TIMEOUT(!folder.log().filter(u"is there again"_s).isEmpty(), 30000);
    }
    folder.dropOrder(u"S1"_s);
    folder.dropOrder(u"S2"_s);
    const qint64 stopped = folder.stop(signal);
    QVERIFY2(stopped >= 0 && stopped < 5000, qPrintable(QString::number(stopped)));
    QCOMPARE(folder.service.exitStatus(), QProcess::NormalExit);
    QCOMPARE(folder.service.exitCode(), 0);
    QVERIFY(!QFileInfo::exists(folder.path(u"log/HL7.kestrin-lock"_s)));
    holder->rollback();

    QCOMPARE(folder.run({u"/cycle=all"_s}), 0);
    QCOMPARE(test::FileNames(folder.path(u"out"_s)), (QStringList{u"ORU_R1.hl7"_s, u"ORU_R2.hl7"_s, u"ORU_R3.hl7"_s}));
    for (const QString& sample : {u"S1"_s, u"S2"_s})
        QCOMPARE(folder.stored(sample), 1);
#endif
}

void TestDatabaseTrouble::refusedLoginIsAConfigurationError_data()
{
    QTest::addColumn<bool>("answers"); // the server answers: a wrong password; else nobody listens
    QTest::addColumn<int>("status");
    QTest::newRow("wrong password") << true << 78;
    QTest::newRow("no server answers") << false << 2;
}

// A login the server refuses will be refused again: 78, so that a service manager does not
// start it again and again, with one line naming the keys. A server away may come back: 2.
void TestDatabaseTrouble::refusedLoginIsAConfigurationError()
{
    QFETCH(bool, answers);
    test::ServerDatabase server;
    KESTRIN_REQUIRE(server);
    QTemporaryDir dir;
    QStringList lines;
    for (const QString& line : QString::fromUtf8(server.iniLines()).split(u'\n', Qt::SkipEmptyParts)) {
        if (line.startsWith(u"DbPassword="_s))
            lines << u"DbPassword=Wr0ngSecret"_s;
        else if (line.startsWith(u"server="_s) && !answers)
            lines << u"server=127.0.0.1:1"_s;
        else
            lines << line;
    }
    const QString ini = dir.filePath(u"lab.ini"_s);
    test::WriteFile(ini,
                    (lines.join(u'\n') +
                     u"\nComLogPath=log\nImportPath=in\nshiftlen=8\n"
                     u"firstshift=01.01.2019 06:00:00\n"_s)
                        .toUtf8());
    QProcess process;
    process.start(test::KestrinProgram(), {u"/ini="_s + ini, u"/headless"_s});
    QVERIFY(process.waitForFinished(60000));
    QTEST(process.exitCode(), "status");
    const QString said = QString::fromUtf8(process.readAllStandardError()).trimmed();
    QVERIFY2(!said.contains(u"Wr0ngSecret"_s), qPrintable(said));
    if (answers)
        QVERIFY2(!said.contains(u'\n') && said.contains(u"DbUser"_s) && said.contains(u"DbPassword"_s),
                 qPrintable(said));
}

void TestDatabaseTrouble::ownTablesComeOnlyFromInitDb_data()
{
    QTest::addColumn<bool>("postgres");
    QTest::addColumn<bool>("mayCreate"); // the login may create tables
    QTest::newRow("sqlite") << false << true;
    QTest::newRow("postgres") << true << true;
    QTest::newRow("postgres, a login without CREATE") << true << false;
}

// A database with the laboratory's tables but not Kestrin's own, as older versions may leave
// it: no start makes them, each says so naming /initdb (a start with 78, /check among its
// problems), and after /initdb the service runs, also with a login that may not create tables.
void TestDatabaseTrouble::ownTablesComeOnlyFromInitDb()
{
    QFETCH(bool, postgres);
    QFETCH(bool, mayCreate);
    std::optional<test::ServerDatabase> server;
    if (postgres) {
        server.emplace();
        KESTRIN_REQUIRE(*server);
    }
    ServiceFolder folder(server ? QString::fromUtf8(server->iniLines()) : QString());
    const auto db = server ? server->connect() : folder.connect();
    for (const QString& table : OwnTableNames())
        db->exec(u"DROP TABLE "_s + table);
    // The database's owner takes the right from itself, as a DBA gives the service a login without it.
    const auto allowCreate = [&](bool allowed) {
        db->exec(allowed ? u"GRANT CREATE ON SCHEMA public TO pg_database_owner"_s
                         : u"REVOKE CREATE ON SCHEMA public FROM PUBLIC, pg_database_owner"_s);
    };
    if (!mayCreate) {
        allowCreate(false);
        try {
            db->exec(u"CREATE TABLE probe (x INTEGER)"_s);
            QSKIP("the test login may create tables all the same (a superuser?)");
        } catch (const DbError&) {
        }
    }
    folder.dropOrder(u"S1"_s);

    QByteArray said;
    QCOMPARE(folder.run({u"/check"_s}, &said), 2);
    QVERIFY2(said.contains("KESTRIN_IMPORTS, KESTRIN_EXPORTS (kestrin /initdb"), said.constData());
    for (const QString& start : {u"/cycle=import"_s, u"/headless"_s}) {
        QCOMPARE(folder.run({start}, &said), 78);
        said = said.trimmed();
        QVERIFY2(!said.contains('\n') && said.contains("KESTRIN_IMPORTS, KESTRIN_EXPORTS are missing") &&
                     said.contains("kestrin /initdb"),
                 said.constData());
    }
    QCOMPARE(MissingTables(*db), OwnTableNames());
    QVERIFY(!folder.filed(u"S1"_s));

    if (!mayCreate)
        allowCreate(true); // the owner's login, for /initdb only
    QCOMPARE(folder.run({u"/initdb"_s}), 0);
    if (!mayCreate)
        allowCreate(false);
    QCOMPARE(folder.run({u"/cycle=import"_s}), 0);
    QVERIFY(folder.filed(u"S1"_s));
}

// A table of Kestrin's own dropped while the service runs is not made again: each cycle that
// needs it fails, said once, naming /initdb, and runs again once /initdb has made it.
void TestDatabaseTrouble::ownTableDroppedUnderTheService()
{
    ServiceFolder folder;
    folder.startService();
    QTRY_VERIFY_WITH_TIMEOUT(!folder.log().filter(u"Kestrin Module Started"_s).isEmpty(), 30000);
    folder.connect()->exec(u"DROP TABLE KESTRIN_IMPORTS"_s);
    folder.dropOrder(u"S1"_s);
    const QString missing = u"Import cycle failed: Kestrin's own table KESTRIN_IMPORTS is missing in"_s;
    QTRY_VERIFY_WITH_TIMEOUT(!folder.log().filter(missing).isEmpty(), 30000);
    // Every cycle makes "Done" where it is missing: its coming back shows a later cycle.
    QVERIFY(QDir(folder.path(u"in/Done"_s)).removeRecursively());
    QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(folder.path(u"in/Done"_s)), 30000);
    QCOMPARE(MissingTables(*folder.connect()), QStringList{u"KESTRIN_IMPORTS"_s});

    QCOMPARE(folder.run({u"/initdb"_s}), 0);
    QTRY_VERIFY_WITH_TIMEOUT(folder.filed(u"S1"_s), 30000);
    QCOMPARE(folder.log().filter(missing).size(), 1);
    QCOMPARE(folder.log().filter(u"Import cycle runs again."_s).size(), 1);
    QVERIFY2(folder.log().filter(missing).first().contains(u"kestrin /initdb creates it"_s),
             qPrintable(folder.log().filter(missing).first()));
}

KESTRIN_TEST_MAIN(TestDatabaseTrouble)
#include "tst_databasetrouble.moc"
