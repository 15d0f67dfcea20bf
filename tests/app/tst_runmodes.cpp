#include "../idstation/StationSeed.h"
#include "GuiTestMain.h"
#include "ServiceConfig.h"
#include "TestEnvironment.h"
#include "config/CommandLine.h"
#include "core/Error.h"
#include "devices/SerialPortDrain.h"
#include "hl7import/ImportCycle.h"
#include "idstation/SampleIdStation.h"
#include "labdb/Database.h"
#include "labdb/DialectFactory.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/TrafficView.h"
#include "mainwindow/TrayIcon.h"
#include "monitors/RequestMonitorWindow.h"
#include "stations/Program.h"
#include "stations/StationsMain.h"

#include <QAction>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QSysInfo>
#include <QTemporaryDir>

#include <thread>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

const SystemClock kSystemClock;

AppConfig stationConfig(const QTemporaryDir& dir)
{
    AppConfig c = test::ServiceConfig(dir.path());
    test::InitDb(c);
    return c;
}

AppConfig sampleIdStationConfig(const QTemporaryDir& dir)
{
    AppConfig c = stationConfig(dir);
    c.RunType = u"ACT"_s;
    c.Mode = RunMode::SampleIdStation;
    c.StationId = u"AN1"_s;
    return c;
}

// Holds the database's write lock and the import's own lock on a connection and a thread of
// its own, as another station's long batch would, until `release` says so (or 60 s passed).
class LockHolder {
public:
    LockHolder(const AppConfig& config, std::function<bool()> release)
        : m_thread([this, config, release = std::move(release)] {
            Database db(MakeDialect(*config.Engine), LabConnectionParameters(ConnectionSettingsOf(config)));
            db.open();
            Transaction transaction(db);
            db.lockExclusive(u"kestrin import"_s);
            m_held = true;
            const QDeadlineTimer deadline(60000);
            while (!release() && !deadline.hasExpired())
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
        })
    {
        QTRY_VERIFY(m_held);
    }
    ~LockHolder() { m_thread.join(); }
    LockHolder(const LockHolder&) = delete;
    LockHolder& operator=(const LockHolder&) = delete;

private:
    std::atomic<bool> m_held{false};
    std::thread m_thread;
};

} // namespace

// What each run mode adds to the service, and how the program ends.
class TestRunModes : public QObject {
    Q_OBJECT
private slots:
    // First: the later tests end the program, after which no box would stay open.
    void switchProblemsShowInABox_data();
    void switchProblemsShowInABox();
    void exitClosesPortsLogAndIcon();
    void displayShowsTheLog();
    void closeViewKeepsAWayBackWithoutAnIcon();
    void entryStationGetsItsWorkTable();
    void requestMonitorOpensOnce();
    void entryStationEndsTheProgram_data();
    void entryStationEndsTheProgram();
    void sampleIdStationEndsTheProgram();
    void noSampleIdStationWithoutWindows();
    void scanAnsweredWhileTheImportWaits_data();
    void scanAnsweredWhileTheImportWaits();
    void secondStartOfAStation_data();
    void secondStartOfAStation();
};

void TestRunModes::switchProblemsShowInABox_data()
{
    QTest::addColumn<QString>("switches");
    QTest::addColumn<QString>("said");
    QTest::newRow("test no number") << u"/type=INPUT /test=abc"_s << u"/test"_s;
    QTest::newRow("test too large") << u"/type=INPUT /test=99999"_s << u"99999"_s;
}

void TestRunModes::switchProblemsShowInABox()
{
    QFETCH(QString, switches);
    QFETCH(QString, said);
    QString shown;
    QTimer::singleShot(0, this, [&] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        shown = box->text();
        QTest::keyClick(box, Qt::Key_Return);
    });
    QCOMPARE(RunWithWindows(ParseCommandLine(switches.split(u' '))), 78); // a configuration problem
    QVERIFY2(shown.contains(said), qPrintable(shown));
}

void TestRunModes::exitClosesPortsLogAndIcon()
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
    Program program(kSystemClock, config, {}, true);
    SilentProgress progress;
    program.start(progress);
    program.service().startTimers();
    QCOMPARE(program.tray()->tip(), socat.isEmpty() ? u"HL7/Com:"_s : u"HL7/Com:1"_s);
    SerialPortDrain* port = program.service().serialPort(1);
    QCOMPARE(port != nullptr, !socat.isEmpty());
    if (port)
        QVERIFY(port->isOpen());
    QVERIFY(program.service().log().isOpen());

    program.tray()->menu()->findChild<QAction*>(u"mPopExit"_s)->trigger();
    QVERIFY(!program.service().log().isOpen());
    QVERIFY(!program.window()->isVisible());
    QVERIFY(!program.service().timers()->importTimer()->isActive());
    if (port)
        QVERIFY(!port->isOpen());
    pair.kill();
    pair.waitForFinished();
}

void TestRunModes::displayShowsTheLog()
{
    QTemporaryDir dir;
    Program program(kSystemClock, stationConfig(dir), {}, true);
    SilentProgress progress;
    program.start(progress);
    program.service().log().logall(u"hello"_s, LogDirection::Monitor);
    QVERIFY(program.window()->traffic()->lineAt(0).endsWith(u" Monitor: hello"_s));
    QCOMPARE(program.window()->windowTitle(), u"HL7 at "_s + dir.filePath(u"in/"_s));
    // The status line follows the cycles.
    const QString status = program.window()->statusText();
    QVERIFY2(status.startsWith(u"Database connected - last import cycle: none yet"_s), qPrintable(status));
    program.service().importCycle();
    QVERIFY(!program.window()->statusText().contains(u"last import cycle: none yet"_s));
}

void TestRunModes::closeViewKeepsAWayBackWithoutAnIcon()
{
    if (TrayIcon::isAvailable())
        QSKIP("This desktop has a notification area");
    QTemporaryDir dir;
    Program program(kSystemClock, stationConfig(dir), {}, true);
    SilentProgress progress;
    program.start(progress);
    QVERIFY(program.window()->isVisible());
    QTest::mouseClick(program.window()->findChild<QPushButton*>(u"Command1"_s), Qt::LeftButton);
    QVERIFY(program.window()->isVisible());
    QTRY_VERIFY(program.window()->isMinimized());
}

void TestRunModes::entryStationGetsItsWorkTable()
{
    QTemporaryDir dir;
    AppConfig config = stationConfig(dir);
    config.RunType = u"INPUT"_s;
    config.Mode = RunMode::EntryStation;
    Program program(kSystemClock, config, {}, false);
    SilentProgress progress;
    program.start(progress);
    QVERIFY(program.service().context().db.tableExists(u"INPUT_HL7"_s));
    // Without windows there is no station, and so no session.
    QVERIFY(!program.station());
    QVERIFY(!program.service().context().db.first(u"SELECT * FROM quorix_log WHERE log_val = 'SessionStart'"_s));
}

void TestRunModes::entryStationEndsTheProgram_data()
{
    QTest::addColumn<bool>("frame");
    QTest::newRow("Log Out / Close") << false;
    QTest::newRow("the frame's close button") << true;
}

void TestRunModes::entryStationEndsTheProgram()
{
    QFETCH(bool, frame);
    QTemporaryDir dir;
    AppConfig config = stationConfig(dir);
    config.RunType = u"INPUT"_s;
    config.Mode = RunMode::EntryStation;
    config.StationId = u"L1"_s;
    Program program(kSystemClock, config, {}, true);
    SilentProgress progress;
    program.start(progress);
    QWidget* station = program.station();
    QVERIFY(station);
    QCOMPARE(station->objectName(), u"frmPushInput"_s);
    QVERIFY(station->isVisible());
    QCOMPARE(station->windowTitle(), u"Quorix Input - L1"_s);
    QVERIFY(!station->windowIcon().isNull());
    if (frame)
        station->close();
    else
        QTest::mouseClick(station->findChild<QPushButton*>(u"cmdClose"_s), Qt::LeftButton);
    QVERIFY(!program.service().log().isOpen());
    QVERIFY(!station->isVisible());
    QVERIFY(!program.service().timers()->importTimer()->isActive());
}

// The main window's button opens the monitor; pressed again it brings the same one back.
void TestRunModes::requestMonitorOpensOnce()
{
    QTemporaryDir dir;
    Program program(kSystemClock, stationConfig(dir), {}, true);
    SilentProgress progress;
    program.start(progress);
    auto* button = program.window()->findChild<QPushButton*>(u"Command3"_s);
    QVERIFY(button->isEnabled());
    const auto monitors = [] {
        int n = 0;
        for (const QWidget* w : QApplication::topLevelWidgets())
            n += w->objectName() == u"frmReqMonitor" ? 1 : 0;
        return n;
    };
    QTest::mouseClick(button, Qt::LeftButton);
    RequestMonitorWindow* monitor = program.requestMonitor();
    QVERIFY(monitor && monitor->isVisible());
    QVERIFY(!monitor->windowIcon().isNull());
    QTest::mouseClick(button, Qt::LeftButton);
    QCOMPARE(program.requestMonitor(), monitor);
    QCOMPARE(monitors(), 1);
    monitor->close();
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(monitor->isVisible());
    QCOMPARE(monitors(), 1);
}

// The station opens maximised, its selections reach the log, and closing it ends the program.
void TestRunModes::sampleIdStationEndsTheProgram()
{
    QTemporaryDir dir;
    Program program(kSystemClock, sampleIdStationConfig(dir), {}, true);
    SilentProgress progress;
    program.start(progress);
    QWidget* station = program.station();
    QVERIFY(station);
    QCOMPARE(station->objectName(), u"frmSetID"_s);
    QVERIFY(station->isVisible());
    QVERIFY(station->windowState().testFlag(Qt::WindowMaximized));
    QVERIFY(!station->windowIcon().isNull());
    QVERIFY(program.sampleIdStation()->timer().isActive());

    program.sampleIdStation()->selectControl(ControlLevel::High, u"QC-HIGH-1"_s);
    QVERIFY(program.window()->traffic()->lineAt(0).endsWith(
        u" Monitor: Selection for the next measurement: control \"QC-HIGH-1\" (HIGH)"_s));
    station->close();
    QVERIFY(!program.service().log().isOpen());
    QVERIFY(!program.sampleIdStation()->timer().isActive());
}

void TestRunModes::noSampleIdStationWithoutWindows()
{
    QTemporaryDir dir;
    Program program(kSystemClock, sampleIdStationConfig(dir), {}, false);
    SilentProgress progress;
    program.start(progress);
    QVERIFY(!program.station());
    QVERIFY(!program.sampleIdStation());
}

void TestRunModes::scanAnsweredWhileTheImportWaits_data()
{
    QTest::addColumn<bool>("stop");
    QTest::newRow("the lock is released: the import goes on") << false;
    QTest::newRow("asked to stop while it waits: it ends once the lock is released") << true;
}

// Another connection holds the database while an order file waits: the import cycle waits
// for it, and the sample-ID station in the same process answers a scan meanwhile.
void TestRunModes::scanAnsweredWhileTheImportWaits()
{
    QFETCH(bool, stop);
    QTemporaryDir dir;
    AppConfig config = sampleIdStationConfig(dir);
    config.ImportCycle = 0;
    config.ImportMinAge = 0;
    config.ImportExtension = u"hl7"_s;
    config.ImportDonePath = config.ImportPath + u"Done"_s;
    config.ImportErrorPath = config.ImportPath + u"EinleseFehler"_s;
    {
        Database db(MakeDialect(*config.Engine), LabConnectionParameters(ConnectionSettingsOf(config)));
        db.open();
        test::SeedAnalysers(db);
        test::AddSample(db, u"S1"_s, u"Meier"_s, u"Anna"_s, {1});
    }
    test::WriteFile(config.ImportPath + u"order.hl7"_s,
                    "MSH|^~\\&|KIS|HOSP|K|LAB|20190120140503||ORM^O01|M1|P|2.3\rPID|1||P1||Meier^Anna\rORC|NW|S2\r");
    CycleEntries entries;
    entries.importCycle = [](Context& ctx) { return RunImportCycle(ctx); };
    Program program(kSystemClock, config, entries, true);
    SilentProgress progress;
    program.start(progress);
    auto* input = program.station()->findChild<QLineEdit*>(u"zeingabe"_s);
    const auto logText = [&] { return QString::fromLatin1(test::ReadFile(program.service().log().fileName())); };

    std::atomic<bool> release{false};
    Service& service = program.service();
    LockHolder holder(config, [&] { return release.load() || service.stopFlag().load(); });
    const auto letGo = qScopeGuard([&] { release = true; }); // also when a check fails
    program.service().startTimers();
    QMetaObject::invokeMethod(
        program.service().timers(), [&service] { service.timers()->importTick(); }, Qt::QueuedConnection);
    // Typed once the event loop runs again, after the tick.
    QTimer::singleShot(0, input, [input] {
        QTest::keyClicks(input, u"S1"_s);
        QTest::keyClick(input, Qt::Key_Return);
    });
    QTRY_COMPARE(program.sampleIdStation()->selection().SelectedId(), u"S1"_s);
    // Answered while the cycle still waits, not after it gave up.
    QVERIFY2(!logText().contains(u"Import cycle failed"_s), qPrintable(logText()));
    QVERIFY(QFile::exists(config.ImportPath + u"order.hl7"_s));

    if (!stop) {
        release = true;
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(config.ImportDonePath + u"/order.hl7"_s), 20000);
        QTRY_VERIFY(logText().contains(u" K->L Nachricht eingelesen: M1 Auftrag/Probe: S2\r\n"_s));
        return;
    }
    program.station()->close();
    QVERIFY(!program.service().log().isOpen());
    const QString log = logText();
    QVERIFY2(log.section(u"\r\n"_s, -2, -2).startsWith(u"Monitor: Kestrin stopped: "_s), qPrintable(log));
    QCOMPARE(int(log.count(u"Nachricht eingelesen"_s)), int(test::FileNames(config.ImportDonePath).size()));
    QVERIFY(QDir(config.ImportPath).entryList({u".kestrin-claim*"_s}, QDir::Files | QDir::Hidden).isEmpty());
}

void TestRunModes::secondStartOfAStation_data()
{
    QTest::addColumn<QString>("stationId");
    QTest::addColumn<QString>("logFolder"); // below the temporary folder
    QTest::addColumn<bool>("running");      // else an empty lock file, as a start killed while making it leaves
    QTest::addColumn<bool>("refused");
    QTest::newRow("same station, same log folder") << u"HL7"_s << u"log/"_s << true << true;
    QTest::newRow("another station ID") << u"L2"_s << u"log/"_s << true << false;
    QTest::newRow("another log folder") << u"HL7"_s << u"log2/"_s << true << false;
    QTest::newRow("lock left empty by a killed start") << u"HL7"_s << u"log/"_s << false << false;
}

void TestRunModes::secondStartOfAStation()
{
    QFETCH(QString, stationId);
    QFETCH(QString, logFolder);
    QFETCH(bool, running);
    QFETCH(bool, refused);
    QTemporaryDir dir;
    SilentProgress progress;
    const AppConfig config = stationConfig(dir);
    const QString lockFile = dir.filePath(u"log/HL7.kestrin-lock"_s);
    Program first(kSystemClock, config, {}, false);
    if (running) {
        first.start(progress);
    } else {
        QDir().mkpath(dir.filePath(u"log"_s));
        QFile empty(lockFile);
        QVERIFY(empty.open(QIODevice::WriteOnly));
        QVERIFY(empty.setFileTime(QDateTime::currentDateTime().addSecs(-60), QFileDevice::FileModificationTime));
    }

    AppConfig again = config;
    again.StationId = stationId;
    again.ComLogPath = dir.filePath(logFolder);
    Program second(kSystemClock, again, {}, false);
    try {
        second.start(progress);
        QVERIFY(!refused);
    } catch (const StartupError& e) {
        QVERIFY2(refused, qPrintable(e.message()));
        const QString holder = u"process %1 (%2) on %3"_s.arg(
            QString::number(QCoreApplication::applicationPid()),
            QFileInfo(QCoreApplication::applicationFilePath()).fileName(), QSysInfo::machineHostName());
        QVERIFY2(e.message().contains(holder) && e.message().contains(lockFile), qPrintable(e.message()));
        // Refused before it wrote a line into the running station's log.
        QCOMPARE(test::FileNames(dir.filePath(u"log"_s)).filter(u"_log.txt"_s).size(), 1);
        QVERIFY(!second.service().log().isOpen());
    }
}

KESTRIN_GUI_TEST_MAIN(TestRunModes)
#include "tst_runmodes.moc"
