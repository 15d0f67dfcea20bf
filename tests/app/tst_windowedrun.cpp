#include "TestMain.h"
#include "app/WindowedRun.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace kestrin;

class TestWindowedRun : public QObject {
    Q_OBJECT
private slots:
    void windowsOfACommandLine_data();
    void windowsOfACommandLine();
    void programWithoutWindowsRefusesAWindowedRun();
};

void TestWindowedRun::windowsOfACommandLine_data()
{
    QTest::addColumn<QString>("arguments");
    QTest::addColumn<QString>("shown"); // empty: the run shows no window
    QTest::addColumn<bool>("pointsToHeadless");
    QTest::newRow("service") << u"/ini=a.ini"_s << u"the service's main window"_s << true;
    QTest::newRow("service without windows") << u"/headless"_s << QString() << false;
    QTest::newRow("entry station") << u"/type=INPUT /test=8"_s << u"the entry station of run type INPUT"_s << false;
    QTest::newRow("sample-ID station") << u"/type=ACT /id=AN1"_s << u"the sample-ID station of run type ACT"_s << false;
    QTest::newRow("sample-ID station's service") << u"/type=ACT /headless"_s << QString() << false;
    QTest::newRow("QC link") << u"/type=MGC"_s << u"the QC link's main window (run type MGC)"_s << true;
    QTest::newRow("other type") << u"/type=input"_s << u"the main window of run type input"_s << true;
    QTest::newRow("unknown switch") << u"/headles"_s << u"the service's main window"_s << true;
    for (const QString& operation : {u"/check"_s, u"/status"_s, u"/initdb"_s, u"/cycle=import"_s, u"/help"_s,
                                     u"--version"_s, u"/cycle=all /type=INPUT"_s})
        QTest::newRow(qPrintable(operation)) << operation << QString() << false;
}

void TestWindowedRun::windowsOfACommandLine()
{
    QFETCH(QString, arguments);
    QFETCH(QString, shown);
    const CommandLine commandLine = ParseCommandLine(arguments.split(u' '));
    QCOMPARE(WindowsShown(commandLine).value_or(QString()), shown);
    if (shown.isEmpty())
        return;
    const QString refusal = FullProgramNeeded(commandLine, u"bin/kestrin-stations"_s);
    QVERIFY2(refusal.contains(shown) && refusal.contains(u"bin/kestrin-stations"_s), qPrintable(refusal));
    QTEST(refusal.contains(u"/headless"_s), "pointsToHeadless");
}

// "kestrin" alone, as on a server with the service's package only: a windowed run says what it
// needs and fails with 2, not with 78 (the configuration is fine); the service runs on.
void TestWindowedRun::programWithoutWindowsRefusesAWindowedRun()
{
    QTemporaryDir dir;
    const QString alone = dir.filePath(u"kestrin"_s);
    QVERIFY(QFile::copy(test::KestrinProgram(), alone));
    QProcess run;
    run.start(alone, {u"/type=INPUT"_s, u"/chek"_s});
    QVERIFY(run.waitForFinished(60000));
    const QString err = QString::fromLocal8Bit(run.readAllStandardError());
    QCOMPARE(run.exitCode(), 2);
    QVERIFY2(err.contains(u"the entry station of run type INPUT and needs Kestrin's full program"_s) &&
                 err.contains(dir.filePath(u"kestrin-stations"_s)) && err.contains(u"/chek is unknown"_s),
             qPrintable(err));
    run.start(alone, {u"/help"_s});
    QVERIFY(run.waitForFinished(60000));
    QCOMPARE(run.exitCode(), 0);
}

KESTRIN_TEST_MAIN(TestWindowedRun)
#include "tst_windowedrun.moc"
