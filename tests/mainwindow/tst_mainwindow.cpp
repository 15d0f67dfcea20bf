#include "GuiTestMain.h"
#include "LabStation.h"
#include "core/Translations.h"
#include "hl7export/ExportCycle.h"
#include "hl7import/ImportCycle.h"
#include "mainwindow/MainWindow.h"
#include "mainwindow/SplashWindow.h"
#include "mainwindow/TrafficView.h"
#include "mainwindow/TrayIcon.h"
#include "service/CycleRecord.h"

#include <QAction>
#include <QDir>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSignalSpy>

using namespace Qt::StringLiterals;
using namespace kestrin;

class TestMainWindow : public QObject {
    Q_OBJECT
private slots:
    void newestLineOnTop();
    void displayKeepsTheNewestLines();
    void closeViewHidesAndTheIconShows();
    void stopAndExitAreReported();
    void closingHidesOnlyWhereThereIsAnIcon();
    void closeViewMinimisesWithoutAnIcon();
    void splashShowsProgress();
    void screenshot();
};

void TestMainWindow::newestLineOnTop()
{
    TrafficView view;
    view.addLine(u"first"_s);
    view.addLine(u"second"_s);
    QCOMPARE(view.lineCount(), 2);
    QCOMPARE(view.lineAt(0), u"second"_s);
    QCOMPARE(view.lineAt(1), u"first"_s);
    QCOMPARE(view.toPlainText(), u"second\nfirst"_s);
}

void TestMainWindow::displayKeepsTheNewestLines()
{
    TrafficView view(nullptr, 3);
    for (int i = 1; i <= 5; ++i)
        view.addLine(u"line %1"_s.arg(i));
    QCOMPARE(view.lineCount(), 3);
    QCOMPARE(view.toPlainText(), u"line 5\nline 4\nline 3"_s);
    QCOMPARE(view.document()->blockCount(), 3);
}

void TestMainWindow::closeViewHidesAndTheIconShows()
{
    MainWindow window;
    TrayIcon tray(u"HL7/Com:"_s);
    connect(&tray, &TrayIcon::viewRequested, &window, &MainWindow::showCommunication);
    QCOMPARE(tray.tip(), u"HL7/Com:"_s);
    QVERIFY(!window.isVisible());

    auto* restore = tray.menu()->findChild<QAction*>(u"mPopRestore"_s);
    QVERIFY(restore);
    QCOMPARE(restore->text(), u"&View Communication"_s);
    restore->trigger();
    QVERIFY(window.isVisible());

    auto* closeView = window.findChild<QPushButton*>(u"Command1"_s);
    QCOMPARE(closeView->text(), u"Close View"_s);
    QTest::mouseClick(closeView, Qt::LeftButton);
    QVERIFY(!window.isVisible());
}

void TestMainWindow::stopAndExitAreReported()
{
    MainWindow window;
    TrayIcon tray(u"HL7/Com:1"_s);
    QSignalSpy stop(&window, &MainWindow::stopRequested);
    QSignalSpy exit(&tray, &TrayIcon::exitRequested);
    window.show();
    auto* stopButton = window.findChild<QPushButton*>(u"Command2"_s);
    QCOMPARE(stopButton->text(), u"Stop Communication"_s);
    QTest::mouseClick(stopButton, Qt::LeftButton);
    QCOMPARE(stop.size(), 1);
    auto* exitAction = tray.menu()->findChild<QAction*>(u"mPopExit"_s);
    QCOMPARE(exitAction->text(), u"&Exit"_s);
    exitAction->trigger();
    QCOMPARE(exit.size(), 1);
    QCOMPARE(window.findChild<QPushButton*>(u"Command3"_s)->text(), u"Request Monitor"_s);
    QCOMPARE(window.findChild<QLabel*>(u"Label4"_s)->text(), u"Quorix"_s);
    QCOMPARE(window.findChild<QLabel*>(u"Label3"_s)->text(), u"KIS"_s);
}

void TestMainWindow::closingHidesOnlyWhereThereIsAnIcon()
{
    MainWindow window;
    QSignalSpy stop(&window, &MainWindow::stopRequested);
    window.show();
    window.close();
    QVERIFY(!window.isVisible());
    QCOMPARE(stop.size(), 0);
    window.setHidesOnClose(false);
    window.show();
    window.close();
    QCOMPARE(stop.size(), 1);
}

// Without a notification area a hidden window could never be shown again.
void TestMainWindow::closeViewMinimisesWithoutAnIcon()
{
    MainWindow window;
    window.setHidesOnClose(false);
    window.show();
    QTest::mouseClick(window.findChild<QPushButton*>(u"Command1"_s), Qt::LeftButton);
    QVERIFY(window.isVisible());
    QTRY_VERIFY(window.isMinimized());
}

void TestMainWindow::splashShowsProgress()
{
    SplashWindow splash;
    splash.show();
    StartupProgress& progress = splash;
    progress.showStatus(u"Connecting 2 DB ... "_s);
    progress.setTitle(u"HL7 - Communication loading ... "_s);
    QCOMPARE(splash.findChild<QLabel*>(u"Label1"_s)->text(), u"Connecting 2 DB ... "_s);
    QCOMPARE(splash.findChild<QLabel*>(u"Label2"_s)->text(), u"HL7 - Communication loading ... "_s);
    // The window grows with its texts: a long station name is not cut.
    progress.setTitle(u"LABORATORY-STATION-2 - Communication loading ... "_s);
    for (const char* name : {"Label1", "Label2"}) {
        const auto* label = splash.findChild<QLabel*>(QString::fromLatin1(name));
        QTRY_VERIFY2(label->width() >= label->sizeHint().width(), name);
        QVERIFY(splash.rect().contains(label->geometry()));
    }
    progress.finish();
    QVERIFY(!splash.isVisible());
}

// KESTRIN_SCREENSHOT=path writes a picture of the window as the demo shows it: the traffic of
// the demo's orders and its queued result, and the status line after those cycles.
void TestMainWindow::screenshot()
{
    const QString path = qEnvironmentVariable("KESTRIN_SCREENSHOT");
    if (path.isEmpty())
        QSKIP("KESTRIN_SCREENSHOT names no file");
    const Translations translations(TextLanguage(u"german"_s)); // the demo's language
    test::LabStation station(u"sqlite"_s);
    station.scratch.loadDemoData();
    station.clock.set(QDateTime(QDate(2026, 12, 7), QTime(9, 14, 5)));
    const QDir orders(test::SourceDir() + u"/examples/orders"_s);
    for (const QString& name : orders.entryList(QDir::Files))
        station.dropOrder(name, test::ReadFile(orders.filePath(name)));

    MainWindow window;
    // The demo's folders, not this test's temporary ones.
    const QString demoFolder = u"examples/run"_s;
    window.setWindowTitle(u"HL7 at %1/import/"_s.arg(demoFolder));
    window.setRequestMonitorAvailable(true);
    connect(&station.log, &CommLog::displayLine, &window, [&](const QString& line) {
        window.addTrafficLine(QString(line).replace(station.scratch.folder(), demoFolder));
    });
    CycleRecord cycles{1, station.clock.now(), {}, {}, true, {}};
    QCOMPARE(RunImportCycle(station.ctx()).stopped, false);
    cycles.lastImport = station.clock.now();
    station.clock.advance(1);
    QCOMPARE(ExportPendingResults(station.ctx()).stopped, false);
    cycles.lastExport = station.clock.now();
    window.setStatusText(CycleStatusText(cycles, station.ctx().regional()));
    QVERIFY(window.traffic()->lineCount() > 10);

    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(window.grab().save(path));
}

KESTRIN_GUI_TEST_MAIN(TestMainWindow)
#include "tst_mainwindow.moc"
