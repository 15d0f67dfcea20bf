#include "GuiTestMain.h"
#include "TestEnvironment.h"
#include "app/Service.h"
#include "core/StartupError.h"
#include "labdb/Database.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/SerialPortDrain.h"
#include "mainwindow/TrafficView.h"
#include "mainwindow/TrayIcon.h"

#include <QAction>
#include <QMenu>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

AppConfig stationConfig(const QTemporaryDir& dir)
{
    AppConfig c;
    c.ComputerName = u"LABPC"_s;
    c.Engine = u"sqlite"_s;
    c.DatabaseName = dir.filePath(u"lab.sqlite"_s);
    c.ComLogPath = dir.filePath(u"log/"_s);
    c.ImportPath = dir.filePath(u"in/"_s);
    c.ExportPath = dir.filePath(u"out/"_s);
    c.ShiftLength = 8;
    c.FirstShift = u"01.01.2019 06:00:00"_s;
    c.ImportCycle = 1;
    c.ExportCycle = 30;
    return c;
}

QString logText(Service& service) { return QString::fromLatin1(test::ReadFile(service.context().log.fileName())); }

} // namespace

class TestService : public QObject {
    Q_OBJECT
private slots:
    void startsAndRecordsTheMarkers();
    void exitClosesPortsLogAndIcon();
    void failingCycleIsLoggedAndTheServiceGoesOn();
    void lostConnectionIsOpenedAgain();
    void exportTimerFollowsTheTypeSwitch_data();
    void exportTimerFollowsTheTypeSwitch();
    void unopenablePortStopsStartUp();
    void analyserDatabaseOnlyForMgc_data();
    void analyserDatabaseOnlyForMgc();
    void displayShowsTheLog();
};

void TestService::startsAndRecordsTheMarkers()
{
    QTemporaryDir dir;
    Service service(stationConfig(dir), {}, false);
    SilentProgress progress;
    service.start(progress);
    QStringList keys;
    for (const Row& row : service.context().db.query(u"SELECT log_key FROM quorix_log"_s))
        keys << row.text(u"log_key");
    keys.sort();
    QCOMPARE(keys, (QStringList{u"HL7_log_change"_s, u"HL7_log_change"_s, u"Patient 1 insert"_s, u"d_change"_s}));
    QVERIFY(logText(service).startsWith(u"Kestrin Module Started : "_s));
}

void TestService::exitClosesPortsLogAndIcon()
{
    QTemporaryDir dir;
    AppConfig config = stationConfig(dir);
    QProcess pair;
    const QString socat = QStandardPaths::findExecutable(u"socat"_s);
    if (!socat.isEmpty()) {
        pair.start(socat, {u"pty,raw,echo=0,link="_s + dir.filePath(u"com1"_s), u"pty,raw,echo=0"_s});
        QTRY_VERIFY(QFile::exists(dir.filePath(u"com1"_s)));
        config.ComPort = 1;
        config.ComDevice1 = dir.filePath(u"com1"_s);
    }
    Service service(config, {}, true);
    SilentProgress progress;
    service.start(progress);
    QCOMPARE(service.tray()->tip(), socat.isEmpty() ? u"HL7/Com:"_s : u"HL7/Com:1"_s);
    auto* port = service.window()->findChild<SerialPortDrain*>(u"MSComm1"_s);
    QCOMPARE(port != nullptr, !socat.isEmpty());
    if (port)
        QVERIFY(port->isOpen());
    QVERIFY(service.context().log.isOpen());

    service.tray()->menu()->findChild<QAction*>(u"mPopExit"_s)->trigger();
    QVERIFY(!service.context().log.isOpen());
    QVERIFY(!service.window()->isVisible());
    QVERIFY(!service.timers()->importTimer()->isActive());
    if (port)
        QVERIFY(!port->isOpen());
    pair.kill();
    pair.waitForFinished();
}

void TestService::failingCycleIsLoggedAndTheServiceGoesOn()
{
    QTemporaryDir dir;
    int calls = 0;
    CycleEntries entries;
    entries.importCycle = [&](Context&) -> CycleOutcome {
        if (++calls == 1)
            throw std::runtime_error("folder gone");
        return {1, 0};
    };
    Service service(stationConfig(dir), entries, false);
    SilentProgress progress;
    service.start(progress);
    QCOMPARE(service.importCycle().failed, 1);
    QVERIFY2(logText(service).contains(u"\r\nMonitor: Import cycle failed: folder gone\r\n"_s),
             qPrintable(logText(service)));
    const CycleOutcome second = service.importCycle();
    QCOMPARE(second.handled, 1);
    QCOMPARE(second.failed, 0);
    QCOMPARE(service.runOnce(CycleChoice::Import), 0);
}

void TestService::lostConnectionIsOpenedAgain()
{
    QTemporaryDir dir;
    Service service(stationConfig(dir), {}, false);
    SilentProgress progress;
    service.start(progress);
    service.context().db.close();
    QCOMPARE(service.importCycle().failed, 0);
    QVERIFY(service.context().db.isAlive());
    QVERIFY(logText(service).contains(u"is open again."_s));
}

void TestService::exportTimerFollowsTheTypeSwitch_data()
{
    QTest::addColumn<QString>("type");
    QTest::addColumn<bool>("exportRuns");
    QTest::newRow("no type") << QString() << true;
    QTest::newRow("MGC") << u"MGC"_s << true;
    QTest::newRow("INPUT") << u"INPUT"_s << false;
}

void TestService::exportTimerFollowsTheTypeSwitch()
{
    QFETCH(QString, type);
    QFETCH(bool, exportRuns);
    QTemporaryDir dir;
    AppConfig config = stationConfig(dir);
    config.RunType = type;
    config.ExportTimerEnabled = type.isEmpty() || type.toUpper() == u"MGC";
    config.AccessPath = dir.filePath(u"analyser.db"_s);
    test::WriteFile(config.AccessPath, QByteArray());
    Service service(config, {}, false);
    SilentProgress progress;
    service.start(progress);
    service.startTimers();
    QVERIFY(service.timers()->importTimer()->isActive());
    QCOMPARE(service.timers()->exportTimer()->isActive(), exportRuns);
    // The configured cycles count in every run mode.
    QCOMPARE(service.timers()->schedule().importCutoff(), qint64(12));
    QCOMPARE(service.timers()->schedule().exportCutoff(), qint64(30));
    if (type == u"INPUT")
        QVERIFY(service.context().db.tableExists(u"INPUT_HL7"_s));
}

void TestService::unopenablePortStopsStartUp()
{
    QTemporaryDir dir;
    AppConfig config = stationConfig(dir);
    config.ComPort = 3;
    config.ComDevice1 = dir.filePath(u"no-such-port"_s);
    Service service(config, {}, false);
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
    QTest::addColumn<QString>("type");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("opened");
    QTest::addColumn<bool>("startsUp");
    QTest::newRow("MGC with an analyser file") << u"MGC"_s << u"analyser.db"_s << true << true;
    QTest::newRow("other types never open it") << u"ACT"_s << u"analyser.db"_s << false << true;
    QTest::newRow("MGC without the file") << u"MGC"_s << u"missing.db"_s << false << false;
}

void TestService::analyserDatabaseOnlyForMgc()
{
    QFETCH(QString, type);
    QFETCH(QString, file);
    QFETCH(bool, opened);
    QFETCH(bool, startsUp);
    QTemporaryDir dir;
    test::WriteFile(dir.filePath(u"analyser.db"_s), QByteArray());
    AppConfig config = stationConfig(dir);
    config.RunType = type;
    config.AccessPath = dir.filePath(file);
    Service service(config, {}, false);
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

void TestService::displayShowsTheLog()
{
    QTemporaryDir dir;
    Service service(stationConfig(dir), {}, true);
    SilentProgress progress;
    service.start(progress);
    service.context().log.logall(u"hello"_s, LogDirection::Monitor);
    QVERIFY(service.window()->traffic()->lineAt(0).endsWith(u" Monitor: hello"_s));
    QCOMPARE(service.window()->windowTitle(), u"HL7 at "_s + dir.filePath(u"in/"_s));
}

KESTRIN_GUI_TEST_MAIN(TestService)
#include "tst_service.moc"
