#include "FixedClock.h"
#include "NotifySocket.h"
#include "ServiceConfig.h"
#include "TestEnvironment.h"
#include "TestMain.h"
#include "core/Error.h"
#include "labdb/Database.h"
#include "service/CycleRecord.h"
#include "service/ManagerStatus.h"
#include "service/Service.h"

#include <QScopeGuard>
#include <QSemaphore>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

const SystemClock kSystemClock;

AppConfig stationConfig(const QTemporaryDir& dir)
{
    AppConfig c = test::ServiceConfig(dir.path());
    c.ImportCycle = 1;
    c.ExportCycle = 30;
    test::InitDb(c);
    return c;
}

QString logText(Service& service) { return QString::fromLatin1(test::ReadFile(service.context().log.fileName())); }

struct NotedCycle {
    CycleKind kind;
    CycleOutcome outcome;
    bool connected = true;
};
using NotedCycles = QList<NotedCycle>;

} // namespace

Q_DECLARE_METATYPE(NotedCycles)

class TestService : public QObject {
    Q_OBJECT
private slots:
    void startsAndRecordsTheMarkers();
    void dayChangesAtMidnight();
    void failingCycleIsLoggedAndTheServiceGoesOn();
    void lostConnectionIsOpenedAgain();
    void exportTimerFollowsTheRunMode_data();
    void exportTimerFollowsTheRunMode();
    void cycleSwitchFollowsTheRunMode_data();
    void cycleSwitchFollowsTheRunMode();
    void lastingTroubleIsSaidOnce();
    void unopenablePortStopsStartUp();
    void analyserDatabaseOnlyForMgc_data();
    void analyserDatabaseOnlyForMgc();
    void cycleRecordIsWrittenOnceAMinute();
    void timerPausedWhileItsCycleRuns();
    void longCycleTellsTheWatchdog();
    void managerStatusFollowsTheWork_data();
    void managerStatusFollowsTheWork();
    void timerStoppedDuringItsCycleStaysStopped();
};

void TestService::startsAndRecordsTheMarkers()
{
    QTemporaryDir dir;
    Service service(kSystemClock, stationConfig(dir), {});
    SilentProgress progress;
    service.start(progress);
    QStringList keys;
    for (const Row& row : service.context().db.query(u"SELECT log_key FROM quorix_log"_s))
        keys << row.text(u"log_key");
    keys.sort();
    QCOMPARE(keys, (QStringList{u"HL7_log_change"_s, u"HL7_log_change"_s, u"Patient 1 insert"_s, u"d_change"_s}));
    QVERIFY(logText(service).startsWith(u"Kestrin Module Started : "_s));
}

// A run that stands at midnight: the import cycle after it records the day change and
// carries on in the new day's log, its header stamped with the new day.
void TestService::dayChangesAtMidnight()
{
    QTemporaryDir dir;
    test::FixedClock clock(QDateTime(QDate(2026, 12, 8), QTime(23, 59, 59)));
    Service service(clock, stationConfig(dir), {});
    SilentProgress progress;
    service.start(progress);
    const QString firstLog = service.log().fileName();
    QVERIFY(firstLog.endsWith(u"/HL7_20261208_log.txt"_s));

    clock.set(QDateTime(QDate(2026, 12, 9), QTime(0, 0, 1)));
    QVERIFY(!service.importCycle().stopped);
    QVERIFY(service.log().fileName().endsWith(u"/HL7_20261209_log.txt"_s));
    QVERIFY(logText(service).startsWith(u"Kestrin Module Started : 09.12.2026 00:00:01\r\n"_s));
    QVERIFY(QFile::exists(firstLog));
    QList<QDateTime> dayChanges;
    for (const Row& row : service.context().db.query(
             u"SELECT time_stamp FROM quorix_log WHERE log_key = 'd_change' ORDER BY time_stamp"_s))
        dayChanges << row.dateTime(u"time_stamp");
    QCOMPARE(dayChanges, (QList<QDateTime>{clock.now().addSecs(-2), clock.now()}));
}

void TestService::failingCycleIsLoggedAndTheServiceGoesOn()
{
    QTemporaryDir dir;
    int calls = 0;
    CycleEntries entries;
    entries.importCycle = [&](Context&) -> CycleOutcome {
        if (++calls == 1)
            throw FileError(u"folder gone"_s);
        if (calls == 2)
            return {1, 1};
        return {1, 0};
    };
    Service service(kSystemClock, stationConfig(dir), entries);
    SilentProgress progress;
    service.start(progress);
    QVERIFY(service.importCycle().stopped);
    QVERIFY2(logText(service).contains(u"\r\nMonitor: Import cycle failed: folder gone\r\n"_s),
             qPrintable(logText(service)));
    // An item kept safe is 1 for "/cycle"; a cycle that could not run would be 2.
    QCOMPARE(service.runOnce(CycleChoice::Import), 1);
    const CycleOutcome third = service.importCycle();
    QCOMPARE(third.handled, 1);
    QVERIFY(!third.stopped);
    QCOMPARE(service.runOnce(CycleChoice::Import), 0);
}

void TestService::lostConnectionIsOpenedAgain()
{
    QTemporaryDir dir;
    Service service(kSystemClock, stationConfig(dir), {});
    SilentProgress progress;
    service.start(progress);
    service.context().db.close();
    QVERIFY(!service.importCycle().stopped);
    QVERIFY(service.context().db.isAlive());
    QVERIFY(logText(service).contains(u"is open again."_s));
}

void TestService::exportTimerFollowsTheRunMode_data()
{
    QTest::addColumn<bool>("exportEnabled");
    QTest::newRow("export on") << true;
    QTest::newRow("export off") << false;
}

void TestService::exportTimerFollowsTheRunMode()
{
    QFETCH(bool, exportEnabled);
    QTemporaryDir dir;
    AppConfig config = stationConfig(dir);
    config.ExportTimerEnabled = exportEnabled;
    Service service(kSystemClock, config, {});
    SilentProgress progress;
    service.start(progress);
    service.startTimers();
    QVERIFY(service.timers()->importTimer()->isActive());
    QCOMPARE(service.timers()->exportTimer()->isActive(), exportEnabled);
    // The configured cycles count in every run mode.
    QCOMPARE(service.timers()->schedule().importCutoff(), qint64(12));
    QCOMPARE(service.timers()->schedule().exportCutoff(), qint64(30));
}

void TestService::cycleSwitchFollowsTheRunMode_data()
{
    QTest::addColumn<bool>("exportEnabled");
    QTest::addColumn<int>("choice");
    QTest::addColumn<int>("exports");
    QTest::addColumn<int>("status");
    QTest::newRow("export") << true << int(CycleChoice::Export) << 1 << 0;
    QTest::newRow("export switched off") << false << int(CycleChoice::Export) << 0 << 2;
    QTest::newRow("all, export switched off") << false << int(CycleChoice::All) << 0 << 0;
    QTest::newRow("all") << true << int(CycleChoice::All) << 1 << 0;
}

void TestService::cycleSwitchFollowsTheRunMode()
{
    QFETCH(bool, exportEnabled);
    QFETCH(int, choice);
    QTemporaryDir dir;
    AppConfig config = stationConfig(dir);
    config.ExportTimerEnabled = exportEnabled;
    int exports = 0;
    CycleEntries entries;
    entries.exportCycle = [&](Context&) -> CycleOutcome {
        ++exports;
        return {};
    };
    Service service(kSystemClock, config, entries);
    SilentProgress progress;
    service.start(progress);
    QTEST(service.runOnce(CycleChoice(choice)), "status");
    QTEST(exports, "exports");
}

// A cycle that fails the same way every second says so once, and again once it changes or
// after it ran.
void TestService::lastingTroubleIsSaidOnce()
{
    QTemporaryDir dir;
    QString error = u"share gone"_s;
    CycleEntries entries;
    entries.exportCycle = [&](Context&) -> CycleOutcome {
        if (!error.isEmpty())
            throw FileError(error);
        return {};
    };
    Service service(kSystemClock, stationConfig(dir), entries);
    SilentProgress progress;
    service.start(progress);
    const auto said = [&](const QString& line) {
        return logText(service).count(u"\r\nMonitor: "_s + line + u"\r\n"_s);
    };
    for (int i = 0; i < 3; ++i)
        QVERIFY(service.exportCycle().stopped);
    QCOMPARE(said(u"Export cycle failed: share gone"_s), 1);
    error = u"disk full"_s;
    service.exportCycle();
    QCOMPARE(said(u"Export cycle failed: disk full"_s), 1);
    error.clear();
    service.exportCycle();
    service.exportCycle();
    QCOMPARE(said(u"Export cycle runs again."_s), 1);
    error = u"share gone"_s;
    service.exportCycle();
    QCOMPARE(said(u"Export cycle failed: share gone"_s), 2);
}

void TestService::unopenablePortStopsStartUp()
{
    QTemporaryDir dir;
    AppConfig config = stationConfig(dir);
    config.ComPort = 3;
    config.ComDevice1 = dir.filePath(u"no-such-port"_s);
    Service service(kSystemClock, config, {});
    SilentProgress progress;
    try {
        service.start(progress);
        QFAIL("no error");
    } catch (const StartupError& e) {
        QVERIFY(e.message().contains(u"Serial port 3"_s));
        QVERIFY(e.message().contains(u"no-such-port"_s));
    }
}

void TestService::analyserDatabaseOnlyForMgc_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<bool>("startsUp");
    QTest::newRow("MGC with an analyser file") << int(RunMode::QcLink) << u"analyser.db"_s << true << true;
    QTest::newRow("other types never open it") << int(RunMode::SampleIdStation) << u"analyser.db"_s << false << true;
    QTest::newRow("MGC without the file") << int(RunMode::QcLink) << u"missing.db"_s << false << false;
}

void TestService::analyserDatabaseOnlyForMgc()
{
    QFETCH(int, mode);
    QFETCH(QString, file);
    QFETCH(bool, opened);
    QFETCH(bool, startsUp);
    QTemporaryDir dir;
    test::WriteFile(dir.filePath(u"analyser.db"_s), QByteArray());
    AppConfig config = stationConfig(dir);
    config.Mode = RunMode(mode);
    config.AccessPath = dir.filePath(file);
    Service service(kSystemClock, config, {});
    SilentProgress progress;
    bool started = true;
    try {
        service.start(progress);
    } catch (const StartupError& e) {
        started = false;
        QVERIFY(e.message().contains(file));
    }
    QCOMPARE(started, startsUp);
    QCOMPARE(service.analyzerDatabase() != nullptr, opened);
}

// What /status reads of a running station: written at start, after a cycle that did work, at
// the first cycle of each minute and at the end; idle cycles within a minute are not written.
void TestService::cycleRecordIsWrittenOnceAMinute()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"HL7.kestrin-status"_s);
    const QDateTime start(QDate(2026, 12, 8), QTime(9, 14, 5));
    const RegionalFormat format;
    {
        CycleRecorder recorder(path, 4242, start);
        QCOMPARE(ReadCycleRecord(path)->written, start);
        const CycleOutcome idle, worked{2, 1, false}, stopped{0, 0, true};
        recorder.noteCycle(CycleKind::Import, idle, true, start.addSecs(5));
        recorder.noteCycle(CycleKind::Export, idle, true, start.addSecs(6));
        QCOMPARE(ReadCycleRecord(path)->lastImport, QDateTime());
        QCOMPARE(
            CycleStatusText(recorder.record(), format),
            u"Database connected - last import cycle: 08.12.2026 09:14:10 - last export cycle: 08.12.2026 09:14:11"_s);

        recorder.noteCycle(CycleKind::Import, stopped, false, start.addSecs(60));
        const auto record = ReadCycleRecord(path);
        QCOMPARE(record->pid, 4242);
        QCOMPARE(record->started, start);
        QCOMPARE(record->lastImport, start.addSecs(5));
        QCOMPARE(record->lastExport, start.addSecs(6));
        QCOMPARE(record->databaseConnected, false);
        QCOMPARE(record->written, start.addSecs(60));
        recorder.noteCycle(CycleKind::Export, idle, true, start.addSecs(61));
        QCOMPARE(ReadCycleRecord(path)->lastExport, start.addSecs(6));
        recorder.noteCycle(CycleKind::Import, worked, true, start.addSecs(62));
        QCOMPARE(ReadCycleRecord(path)->lastImport, start.addSecs(62));
        CycleOutcome blind{0, 1, false};
        blind.folderUnusable = true; // its folder could not be listed: it saw nothing
        recorder.noteCycle(CycleKind::Import, blind, true, start.addSecs(63));
        QCOMPARE(ReadCycleRecord(path)->lastImport, start.addSecs(62));
        recorder.noteCycle(CycleKind::Export, idle, true, start.addSecs(63));
    }
    QCOMPARE(ReadCycleRecord(path)->lastExport, start.addSecs(63));
    QVERIFY(!ReadCycleRecord(dir.filePath(u"missing"_s)));
}

void TestService::timerPausedWhileItsCycleRuns()
{
    bool activeDuringCycle = true;
    int cycles = 0;
    CycleTimers* timers = nullptr;
    CycleTimers owner(
        CycleSchedule(u"LAB"_s, 0, 0),
        [&] {
            ++cycles;
            activeDuringCycle = timers->importTimer()->isActive();
            throw std::runtime_error("cycle failed");
        },
        [] {});
    timers = &owner;
    owner.start(false);
    QVERIFY(!owner.exportTimer()->isActive());
    QVERIFY_THROWS_EXCEPTION(std::runtime_error, owner.importTick());
    QCOMPARE(cycles, 1);
    QVERIFY(!activeDuringCycle);
    QVERIFY(owner.importTimer()->isActive());
    QCOMPARE(owner.importTimer()->interval(), 5000);
    QCOMPARE(owner.exportTimer()->interval(), 1000);
}

void TestService::timerStoppedDuringItsCycleStaysStopped()
{
    CycleTimers* timers = nullptr;
    CycleTimers owner(
        CycleSchedule(u"LAB"_s, 0, 0), [&] { timers->stop(); }, [] {});
    timers = &owner;
    owner.start(true);
    owner.importTick();
    QVERIFY(!owner.importTimer()->isActive());
    QVERIFY(!owner.exportTimer()->isActive());
}

// A cycle that runs longer than the watchdog's interval but goes on tells it between its
// items; while the cycle waits, nothing does (the timer between cycles cannot fire).
void TestService::longCycleTellsTheWatchdog()
{
#ifdef Q_OS_WIN
    QSKIP("no service manager's socket on Windows");
#else
    QTemporaryDir dir;
    test::NotifySocket manager(dir.filePath(u"notify"_s));
    QVERIFY(manager.bound());
    qputenv("NOTIFY_SOCKET", dir.filePath(u"notify"_s).toLocal8Bit());
    // Told every 0.5 s: the few messages before the first cycle fit into the socket unread.
    qputenv("WATCHDOG_USEC", "1000000");
    qunsetenv("WATCHDOG_PID");
    const auto unset = qScopeGuard([] {
        qunsetenv("NOTIFY_SOCKET");
        qunsetenv("WATCHDOG_USEC");
    });
    AppConfig config = stationConfig(dir);
    config.ExportCycle = 1;
    QSemaphore running;
    QSemaphore nextItem;
    bool first = true;
    CycleEntries entries;
    entries.exportCycle = [&](Context& ctx) {
        if (std::exchange(first, false)) {
            running.release();
            nextItem.acquire();
            ctx.reportProgress(); // one item done
            nextItem.acquire();
        }
        return CycleOutcome{};
    };
    Service service(kSystemClock, config, entries);
    SilentProgress progress;
    service.start(progress);
    service.startTimers();
    QVERIFY(running.tryAcquire(1, 30000));
    QVERIFY(manager.watchdogQuietFor(1500, 10000));
    nextItem.release();
    QVERIFY(!manager.waitFor("WATCHDOG=1", 5000).isEmpty());
    nextItem.release();
#endif
}

void TestService::managerStatusFollowsTheWork_data()
{
    QTest::addColumn<NotedCycles>("cycles"); // a second apart from 14.03.2025 20:31:05
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("changedByLast");
    const CycleOutcome idle;
    const CycleOutcome stopped{0, 0, true};
    CycleOutcome blind{0, 1, false};
    blind.folderUnusable = true;
    QTest::newRow("items stored and failed")
        << NotedCycles{{CycleKind::Import, {3, 1, false}}}
        << u"Last import 14.03.2025 20:31:05: 3 stored, 1 failed; no export yet"_s << true;
    QTest::newRow("an idle cycle keeps the last work")
        << NotedCycles{{CycleKind::Import, {3, 0, false}}, {CycleKind::Import, idle}}
        << u"Last import 14.03.2025 20:31:05: 3 stored; no export yet"_s << false;
    QTest::newRow("failing since the first that could not run")
        << NotedCycles{{CycleKind::Export, {2, 0, false}}, {CycleKind::Export, stopped}, {CycleKind::Export, stopped}}
        << u"No import yet; export failing since 14.03.2025 20:31:06"_s << false;
    QTest::newRow("a cycle that runs ends the failing")
        << NotedCycles{{CycleKind::Export, {0, 2, false}}, {CycleKind::Export, stopped}, {CycleKind::Export, idle}}
        << u"No import yet; last export 14.03.2025 20:31:05: 2 failed"_s << true;
    QTest::newRow("a folder that cannot be read")
        << NotedCycles{{CycleKind::Import, blind}} << u"Import failing since 14.03.2025 20:31:05; no export yet"_s
        << true;
    QTest::newRow("database away") << NotedCycles{{CycleKind::Import, {1, 0, false}},
                                                  {CycleKind::Import, stopped, false}}
                                   << u"Database away; import failing since 14.03.2025 20:31:06; no export yet"_s
                                   << true;
}

void TestService::managerStatusFollowsTheWork()
{
    QFETCH(NotedCycles, cycles);
    ManagerStatus status{RegionalFormat{}};
    QDateTime at(QDate(2025, 3, 14), QTime(20, 31, 5));
    bool changed = false;
    for (const NotedCycle& cycle : cycles) {
        changed = status.noteCycle(cycle.kind, cycle.outcome, cycle.connected, at);
        at = at.addSecs(1);
    }
    QTEST(status.line(), "line");
    QTEST(changed, "changedByLast");
}

KESTRIN_TEST_MAIN(TestService)
#include "tst_service.moc"
