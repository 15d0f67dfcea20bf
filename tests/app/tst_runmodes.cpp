#include "GuiTestMain.h"
#include "TestEnvironment.h"
#include "app/Program.h"
#include "devices/SerialPortDrain.h"
#include "labdb/Database.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/TrafficView.h"
#include "mainwindow/TrayIcon.h"

#include <QAction>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
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
    return c;
}

} // namespace

// What each run mode adds to the service, and how the program ends.
class TestRunModes : public QObject {
    Q_OBJECT
private slots:
    void exitClosesPortsLogAndIcon();
    void displayShowsTheLog();
    void closeViewKeepsAWayBackWithoutAnIcon();
    void entryStationGetsItsWorkTable();
};

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
    Program program(config, {}, true);
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
    Program program(stationConfig(dir), {}, true);
    SilentProgress progress;
    program.start(progress);
    program.service().log().logall(u"hello"_s, LogDirection::Monitor);
    QVERIFY(program.window()->traffic()->lineAt(0).endsWith(u" Monitor: hello"_s));
    QCOMPARE(program.window()->windowTitle(), u"HL7 at "_s + dir.filePath(u"in/"_s));
}

void TestRunModes::closeViewKeepsAWayBackWithoutAnIcon()
{
    if (TrayIcon::isAvailable())
        QSKIP("This desktop has a notification area");
    QTemporaryDir dir;
    Program program(stationConfig(dir), {}, true);
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
    Program program(config, {}, false);
    SilentProgress progress;
    program.start(progress);
    QVERIFY(program.service().context().db.tableExists(u"INPUT_HL7"_s));
}

KESTRIN_GUI_TEST_MAIN(TestRunModes)
#include "tst_runmodes.moc"
