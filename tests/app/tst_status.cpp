#include "PermissionBits.h"
#include "ScratchDatabase.h"
#include "TestMain.h"
#include "app/HealthReport.h"
#include "app/Startup.h"
#include "config/CommandLine.h"
#include "core/FolderHandle.h"
#include "hl7import/ImportFolder.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <functional>

using namespace Qt::StringLiterals;
using namespace kestrin;

using Change = std::function<void(HealthReport&)>;
Q_DECLARE_METATYPE(Change)

namespace {

const QDateTime kNoon(QDate(2026, 12, 8), QTime(12, 0));

// A station that runs since 11:00, imports and exports every 5 s, and did both a moment ago.
HealthReport soundStation()
{
    HealthReport r;
    r.now = kNoon;
    r.stationId = u"HL7"_s;
    r.service = ServiceState::Running;
    r.servicePid = 4242;
    r.serviceSince = kNoon.addSecs(-3600);
    r.cycles = CycleRecord{4242, r.serviceSince, kNoon.addSecs(-30), kNoon.addSecs(-5), true, kNoon.addSecs(-5)};
    r.importPeriodMs = 5000;
    r.exportPeriodMs = 5000;
    r.database = u"the sqlite database \"lab.sqlite\""_s;
    return r;
}

struct Run {
    int exitCode = -1;
    QString out;
};

Run kestrinStatus(const QString& ini, const QProcessEnvironment& environment)
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(test::KestrinProgram(), {u"/ini="_s + ini, u"/status"_s});
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput())};
}

} // namespace

class TestStatus : public QObject {
    Q_OBJECT
private slots:
    void judge_data();
    void judge();
    void foldersAsTheCyclesUseThem_data();
    void foldersAsTheCyclesUseThem();
    void reportsWhatWaitsUntilItIsDone_data() { test::AddEngineRows(); }
    void reportsWhatWaitsUntilItIsDone();
};

void TestStatus::judge_data()
{
    QTest::addColumn<Change>("change");
    QTest::addColumn<QString>("reason"); // empty: healthy

    const auto row = [](const char* name, Change change, const QString& reason) {
        QTest::newRow(name) << change << reason;
    };
    row("sound", [](HealthReport&) {}, {});
    row(
        "configuration", [](HealthReport& r) { r.configurationProblems << u"shiftlen=0"_s; },
        u"the configuration cannot work: shiftlen=0"_s);
    row(
        "not running", [](HealthReport& r) { r.service = ServiceState::NotRunning; },
        u"Kestrin does not run for station HL7"_s);
    row(
        "lock unreadable", [](HealthReport& r) { r.service = ServiceState::Unreadable; },
        u"whether Kestrin runs cannot be seen: run /status as the service's user or root"_s);
    // Three cycles and five minutes: 5 min 15 s for a cycle every 5 s.
    row("import 5 min ago", [](HealthReport& r) { r.cycles->lastImport = kNoon.addSecs(-300); }, {});
    row(
        "import 6 min ago", [](HealthReport& r) { r.cycles->lastImport = kNoon.addSecs(-360); },
        u"no import cycle has run through for 6 min (allowed: 5 min)"_s);
    row("hourly import 3 h ago",
        [](HealthReport& r) {
            r.importPeriodMs = 3600 * 1000;
            r.serviceSince = kNoon.addSecs(-5 * 3600);
            r.cycles->lastImport = kNoon.addSecs(-3 * 3600);
        },
        {});
    row("a lost record counts from the start",
        [](HealthReport& r) {
            r.cycles.reset();
            r.serviceSince = kNoon.addSecs(-120);
        },
        {});
    row(
        "no import since the start",
        [](HealthReport& r) {
            r.cycles.reset();
            r.exports = false;
        },
        u"no import cycle has run through for 1 h (allowed: 5 min)"_s);
    row(
        "another machine's export stopped",
        [](HealthReport& r) {
            r.service = ServiceState::OtherMachine;
            r.cycles->lastExport = kNoon.addSecs(-3 * 3600);
        },
        u"no export cycle has run through for 1 h (allowed: 5 min)"_s);
    row("no export where the type switches it off",
        [](HealthReport& r) {
            r.exports = false;
            r.cycles->lastExport = {};
            r.oldestQueuedResult = kNoon.addDays(-1);
            r.queueRowsWithoutSample = 2;
        },
        {});
    row("order file 4 min", [](HealthReport& r) { r.oldestOrderFile = kNoon.addSecs(-240); }, {});
    row(
        "order file 20 min", [](HealthReport& r) { r.oldestOrderFile = kNoon.addSecs(-1200); },
        u"an order file has waited 20 min (allowed: 5 min)"_s);
    row(
        "import folder", [](HealthReport& r) { r.importFolderError = u"/in/ is missing"_s; },
        u"the import folder cannot be read: /in/ is missing"_s);
    row(
        "failed today", [](HealthReport& r) { r.failedFilesToday = 2; },
        u"2 order files failed today and lie in EinleseFehler"_s);
    row(
        "failed, waiting for the error folder", [](HealthReport& r) { r.failedFilesWaiting = 2; },
        u"2 failed order files wait in the import folder until EinleseFehler takes them"_s);
    row(
        "a folder the cycles cannot work in",
        [](HealthReport& r) { r.folderProblems << u"the order files in /in/ cannot be taken: Permission denied"_s; },
        u"the order files in /in/ cannot be taken: Permission denied"_s);
    row(
        "the service lost its database", [](HealthReport& r) { r.cycles->databaseConnected = false; },
        u"the service's last cycle found the database away"_s);
    row(
        "database away", [](HealthReport& r) { r.databaseError = u"connection refused"_s; },
        u"the database: connection refused"_s);
    row("result queued 2 min", [](HealthReport& r) { r.oldestQueuedResult = kNoon.addSecs(-120); }, {});
    row(
        "result queued 2 h", [](HealthReport& r) { r.oldestQueuedResult = kNoon.addSecs(-7200); },
        u"a queued result has waited 2 h (allowed: 5 min)"_s);
    row(
        "claim held 1 d", [](HealthReport& r) { r.oldestClaim = kNoon.addDays(-1); },
        u"an exporter has held a sample for 1 d (allowed: 5 min)"_s);
    row(
        "queue rows without sample", [](HealthReport& r) { r.queueRowsWithoutSample = 3; },
        u"3 queue rows (REQ2SEND) have no sample ID: they are never sent and wait for someone to remove them"_s);
}

void TestStatus::judge()
{
    QFETCH(Change, change);
    QFETCH(QString, reason);
    HealthReport report = soundStation();
    change(report);
    const QStringList reasons = JudgeHealth(report);
    QCOMPARE(reasons, reason.isEmpty() ? QStringList() : QStringList{reason});
    const QStringList lines = StatusLines(report, RegionalFormat{});
    QCOMPARE(lines.first(), VersionLine());
    QCOMPARE(lines.last(), reason.isEmpty() ? u"Healthy"_s : u"Needs attention"_s);
}

using Spoil = std::function<void(const QDir&)>;
Q_DECLARE_METATYPE(Spoil)

// A folder a cycle cannot write into, the export folder missing, a failed file that waits for
// the error folder: each is said while it lasts, as the service's user sees it.
void TestStatus::foldersAsTheCyclesUseThem_data()
{
    QTest::addColumn<Spoil>("spoil");
    QTest::addColumn<QString>("reason"); // %1 the station's folder; empty: no trouble with folders

    const auto readOnly = [](const QString& folder) {
        return [folder](const QDir& station) {
            QVERIFY(station.mkpath(folder));
            QFile::setPermissions(station.filePath(folder), QFile::ReadOwner | QFile::ExeOwner);
        };
    };
    QTest::newRow("sound") << Spoil([](const QDir&) {}) << QString();
    QTest::newRow("import folder not writable")
        << Spoil(readOnly(u"in"_s)) << u"the order files in %1/in/ cannot be taken: "_s;
    QTest::newRow("error folder not writable")
        << Spoil(readOnly(u"in/EinleseFehler"_s)) << u"failed order files cannot be filed into %1/in/EinleseFehler: "_s;
    QTest::newRow("export folder missing") << Spoil([](const QDir& station) { QVERIFY(station.rmdir(u"out"_s)); })
                                           << u"result files cannot be published into %1/out/: it is missing"_s;
    QTest::newRow("failed file set aside") << Spoil([](const QDir& station) {
        test::WriteFile(station.filePath(u"in/1.hl7"_s), "MSH|^~\\&");
        SetAsideFailed(FolderHandle::Open(station.filePath(u"in"_s)), u"1.hl7"_s, {u"lab"_s, 42, kNoon}, u"1.hl7"_s);
    }) << u"1 failed order files wait in the import folder until EinleseFehler takes them"_s;
}

void TestStatus::foldersAsTheCyclesUseThem()
{
#ifndef Q_OS_LINUX
    QSKIP("permission bits are tried on Linux");
#else
    QFETCH(Spoil, spoil);
    QFETCH(QString, reason);
    QTemporaryDir dir;
    const QDir station(dir.path());
    const QString ini = station.filePath(u"lab.ini"_s);
    test::WriteFile(ini,
                    "engine=sqlite\ndatabase=lab.sqlite\nComLogPath=log\nImportPath=in\nExportPath=out\n"
                    "TempExportPath=tmp\nshiftlen=8\nfirstshift=01.01.2019 06:00:00\n");
    QVERIFY(station.mkpath(u"in"_s) && station.mkpath(u"out"_s));
    spoil(station);
    SilentProgress progress;
    const AppConfig config = LoadConfiguration(ParseCommandLine({u"/ini="_s + ini}), progress);
    QStringList reasons;
    {
        const test::PermissionBitsApply strict;
        reasons = JudgeHealth(GatherHealth(config, QDateTime::currentDateTime()));
    }
    for (const QString& folder : {u"in"_s, u"in/EinleseFehler"_s})
        QFile::setPermissions(station.filePath(folder), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    const QStringList said = reasons.filter(u"folder"_s) + reasons.filter(u"cannot"_s);
    if (reason.isEmpty())
        QVERIFY2(said.isEmpty(), qPrintable(said.join(u'\n')));
    else
        QVERIFY2(!reasons.filter(QString(reason).replace(u"%1"_s, dir.path())).isEmpty(),
                 qPrintable(reasons.join(u'\n')));
#endif
}

// An order file that waits, a failed one and a queued result are each said until they are
// done; with the service running and nothing waiting, the station is healthy.
void TestStatus::reportsWhatWaitsUntilItIsDone()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    scratch.createSchema();
    scratch.loadDemoData(); // sample 26000999 with two queued results
    const QDateTime hourAgo = QDateTime::currentDateTime().addSecs(-3600);
    scratch.db().exec(u"UPDATE RESULTS SET VAL_TIME_STAMP = ? WHERE SAMPLE_ID = ?"_s, {hourAgo, u"26000999"_s});

    const QDir folder(scratch.folder());
    const QString ini = folder.filePath(u"lab.ini"_s);
    test::WriteFile(ini,
                    scratch.iniKeys() +
                        "ComLogPath=log\nImportPath=in\nExportPath=out\nTempExportPath=tmp\nshiftlen=8\n"
                        "firstshift=01.01.2019 06:00:00\nImportExtension=hl7\nImportCycle=0\nExportCycle=1\n"
                        "ExportLeader=ORU_\nExportExtension=.hl7\n");
    QVERIFY(folder.mkpath(u"out"_s));
    const QString order = folder.filePath(u"in/order-26001001.hl7"_s);
    test::WriteFile(order, test::ReadFile(test::SourceDir() + u"/examples/orders/order-26001001.hl7"_s));
    QFile file(order);
    QVERIFY(file.open(QIODevice::ReadWrite) && file.setFileTime(hourAgo, QFileDevice::FileModificationTime));
    file.close();
    const QString failed = folder.filePath(u"in/EinleseFehler/broken.hl7"_s);
    test::WriteFile(failed, "MSH|broken");
    const QProcessEnvironment environment = scratch.processEnvironment();

    QCOMPARE(kestrinStatus(folder.filePath(u"missing.ini"_s), environment).exitCode, 2);
    Run run = kestrinStatus(ini, environment);
    QCOMPARE(run.exitCode, 1);
    for (const QString& said :
         {u"Attention: Kestrin does not run for station HL7"_s, u"Attention: an order file has waited 1 h"_s,
          u"Attention: 1 order files failed today"_s, u"Attention: a queued result has waited 1 h"_s,
          u"Order files waiting: 1"_s, u"Queued samples (REQ2SEND): 1"_s})
        QVERIFY2(run.out.contains(said), qPrintable(said + u"\n"_s + run.out));
    QVERIFY(!QFileInfo::exists(folder.filePath(u"log"_s))); // no log, no lock, no folder

    QProcess cycle;
    cycle.setProcessEnvironment(environment);
    cycle.start(test::KestrinProgram(), {u"/ini="_s + ini, u"/cycle=all"_s});
    QVERIFY(cycle.waitForFinished(60000));
    QCOMPARE(cycle.exitCode(), 0);
    run = kestrinStatus(ini, environment);
    QCOMPARE(run.exitCode, 1);
    QVERIFY2(run.out.contains(u"Order files waiting: 0"_s), qPrintable(run.out));
    QVERIFY(run.out.contains(u"Queued samples (REQ2SEND): 0"_s));
    QVERIFY(run.out.contains(u"Cycles: last import "_s));
    QCOMPARE(run.out.count(u"Attention: "_s), 2); // not running, and the failed file
    QVERIFY(run.out.contains(u"Attention: 1 order files failed today"_s));

#ifdef Q_OS_WIN
    QSKIP("a service is stopped by its wrapper on Windows");
#else
    QVERIFY(QFile::remove(failed)); // a person has seen to it
    QProcess service;
    service.setProcessEnvironment(environment);
    service.start(test::KestrinProgram(), {u"/ini="_s + ini, u"/headless"_s});
    const QString record = folder.filePath(u"log/HL7.kestrin-status"_s);
    const QByteArray pidLine = QByteArray("pid=") + QByteArray::number(service.processId());
    QTRY_VERIFY_WITH_TIMEOUT(test::ReadFile(record).contains(pidLine), 30000);
    run = kestrinStatus(ini, environment);
    QVERIFY2(run.exitCode == 0, qPrintable(run.out));
    QVERIFY(run.out.contains(u"Service: runs as process %1"_s.arg(service.processId())));
    QVERIFY(run.out.endsWith(u"Healthy\n"_s));
    service.terminate();
    QVERIFY(service.waitForFinished(30000));
    QCOMPARE(service.exitStatus(), QProcess::NormalExit);
    QCOMPARE(service.exitCode(), 0);
#endif
}

KESTRIN_TEST_MAIN(TestStatus)
#include "tst_status.moc"
