#include "TestMain.h"
#include "labdb/Database.h"
#include "labdb/DialectFactory.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QTemporaryDir>

#ifndef Q_OS_WIN
#include <csignal>
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

struct Run {
    int exitCode = -1;
    QString out;
    QString err;
};

Run runKestrin(const QStringList& arguments,
               const QProcessEnvironment& environment = QProcessEnvironment::systemEnvironment())
{
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(test::KestrinProgram(), arguments);
    if (!process.waitForFinished(60000))
        return {};
    return {process.exitCode(), QString::fromUtf8(process.readAllStandardOutput()),
            QString::fromUtf8(process.readAllStandardError())};
}

const QByteArray kSoundIni = "shiftlen=8\nfirstshift=01.01.2019 06:00:00\nImportCycle=1\nExportCycle=30\n"
                             "ImportPath=in\n";

} // namespace

class TestProgram : public QObject {
    Q_OBJECT
private slots:
    void helpExplainsEverySwitch();
    void checkPrintsTheDemoSettings();
    void checkNamesSwitchValues();
    void checkNamesAMissingExportFolder();
    void checkListsEveryProblem();
    void cycleNeedsAnInitialisedDatabase();
    void orderInResultOut();
    void secondStartOfAStationIsRefused();
    void stopSignalFinishesTheBatchInHand_data();
    void stopSignalFinishesTheBatchInHand();
    void startupRefuses_data();
    void startupRefuses();
    void windowsWithoutADisplay_data();
    void windowsWithoutADisplay();

private:
    QTemporaryDir m_dir;
};

void TestProgram::helpExplainsEverySwitch()
{
    for (const QString& flag : {u"/help"_s, u"-h"_s, u"--help"_s}) {
        const Run run = runKestrin({flag});
        QCOMPARE(run.exitCode, 0);
        for (const char* name :
             {"/id=", "/type=", "/com=", "/outtype=", "/outcom=", "/outid=", "/autoreq=", "/autoval=", "/test=",
              "/ini=", "/check", "/cycle=", "/headless", "/initdb", "/status", "/help"})
            QVERIFY2(run.out.contains(QLatin1StringView(name)), name);
    }
}

void TestProgram::checkPrintsTheDemoSettings()
{
    // The demo's folders lie beside its INI file; the export folder and the database are made
    // by the demo script.
    const QString ini = m_dir.filePath(u"demo/demo.ini"_s);
    test::WriteFile(ini, test::ReadFile(test::SourceDir() + u"/examples/demo.ini"_s));
    QDir().mkpath(m_dir.filePath(u"demo/run/export"_s));
    QCOMPARE(runKestrin({u"/ini="_s + ini, u"/initdb"_s}).exitCode, 0);
    const Run run = runKestrin({u"/ini="_s + ini, u"/check"_s});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QStringList lines = run.out.split(u'\n');
    for (const QString& expected : {u"StationId=HL7"_s, u"Engine=sqlite"_s, u"ExportCycle=5"_s, u"ComPort="_s,
                                    u"ImportExtension=hl7"_s, u"ServerName=(local)"_s})
        QVERIFY2(lines.contains(expected), qPrintable(expected));
    QVERIFY(!lines.filter(u"ImportDonePath="_s).first().endsWith(u"/"_s));
    QCOMPARE(run.out.trimmed().split(u'\n').last(), u"Verdict: ready to run."_s);
}

void TestProgram::checkNamesSwitchValues()
{
    const QString ini = m_dir.filePath(u"sound.ini"_s);
    test::WriteFile(ini, kSoundIni);
    const Run run = runKestrin({u"/ini="_s + ini, u"/check"_s, u"/id=LAB2"_s, u"/type=INPUT"_s, u"/com=2"_s});
    for (const QString& expected :
         {u"StationId=LAB2"_s, u"RunType=INPUT"_s, u"ComPort=2"_s, u"ExportTimerEnabled=false"_s})
        QVERIFY2(run.out.split(u'\n').contains(expected), qPrintable(expected));
}

void TestProgram::checkNamesAMissingExportFolder()
{
    const QString folder = m_dir.filePath(u"unmounted"_s);
    const QString ini = folder + u"/lab.ini"_s;
    test::WriteFile(
        ini,
        kSoundIni + "engine=sqlite\ndatabase=lab.sqlite\nComLogPath=log\nExportPath=share/out\nTempExportPath=tmp\n");
    Run run = runKestrin({u"/ini="_s + ini, u"/check"_s});
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.out.contains(u"Folder ExportPath: "_s + folder + u"/share/out/ (does not exist"_s),
             qPrintable(run.out));
    QVERIFY(!QFileInfo::exists(folder + u"/share/out"_s));
    QDir().mkpath(folder + u"/share/out"_s);
    QCOMPARE(runKestrin({u"/ini="_s + ini, u"/initdb"_s}).exitCode, 0);
    run = runKestrin({u"/ini="_s + ini, u"/check"_s});
    QVERIFY2(run.exitCode == 0, qPrintable(run.out));
}

void TestProgram::checkListsEveryProblem()
{
    const QString folder = m_dir.filePath(u"everyproblem"_s);
    const QString ini = folder + u"/lab.ini"_s;
    const QByteArray sound = "engine=sqlite\ndatabase=lab.sqlite\nComLogPath=log\nImportPath=in\nExportPath=out\n"
                             "TempExportPath=tmp\nshiftlen=8\nfirstshift=01.01.2019 06:00:00\n";
    test::WriteFile(ini, sound);
    QDir().mkpath(folder + u"/out"_s);
    QCOMPARE(runKestrin({u"/ini="_s + ini, u"/initdb"_s}).exitCode, 0);
    test::WriteFile(ini, sound + "ImportCycle=soon\nImportCylce=5\nImportExtension=.hl7\n");

    const Run run = runKestrin({u"/ini="_s + ini, u"/check"_s, u"/bogus"_s});
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.err, QString());
    const QStringList lines = run.out.trimmed().split(u'\n');
    QVERIFY(lines.first().startsWith(u"Kestrin "_s));
    for (const QString& expected :
         {u"Engine=sqlite"_s, u"ExportCycle=0"_s,
          u"Problem: The key \"ImportCycle\" has the value \"soon\", which is not a whole number."_s,
          u"Problem: The key \"ImportExtension\" has the value \".hl7\", which is no extension a file name can end "
          u"in (three characters, no dot)."_s,
          u"Warning: INI line 10: unknown key \"ImportCylce\" (did you mean ImportCycle?); the line is ignored."_s,
          u"Warning: the switch /bogus is unknown and ignored."_s, u"Writing: a row was written and rolled back"_s})
        QVERIFY2(lines.contains(expected), qPrintable(expected + u" not in\n"_s + run.out));
    QCOMPARE(lines.last(), u"Verdict: not ready to run: 2 problems, 2 warnings."_s);

    // A start goes on with warnings, and says them in the log and the journal.
    test::WriteFile(ini, sound + "ImportCylce=5\n");
    const Run cycle = runKestrin({u"/ini="_s + ini, u"/cycle=import"_s, u"/bogus"_s});
    QVERIFY2(cycle.exitCode == 0, qPrintable(cycle.err));
    const QString log = QString::fromLatin1(
        test::ReadFile(folder + u"/log/"_s + test::FileNames(folder + u"/log"_s).filter(u"_log.txt"_s).first()));
    for (const QString& said :
         {u"The switch /bogus is unknown and ignored."_s,
          u"INI line 9: unknown key \"ImportCylce\" (did you mean ImportCycle?); the line is ignored."_s}) {
        QVERIFY2(log.contains(said), qPrintable(said + u" not in\n"_s + log));
        QVERIFY2(cycle.err.contains(said), qPrintable(said + u" not in\n"_s + cycle.err));
    }
}

// Only /initdb makes a database: before it, /check and /cycle name the file they looked for.
void TestProgram::cycleNeedsAnInitialisedDatabase()
{
    const QString folder = m_dir.filePath(u"cycle"_s);
    const QString ini = folder + u"/lab.ini"_s;
    test::WriteFile(ini,
                    "engine=sqlite\ndatabase=lab.sqlite\nComLogPath=log\nImportPath=in\nExportPath=out\n"
                    "TempExportPath=tmp\nshiftlen=8\nfirstshift=01.01.2019 06:00:00\nImportExtension=hl7\n");
    QDir().mkpath(folder + u"/out"_s);
    const QString file = folder + u"/lab.sqlite"_s;
    for (const QString& what : {u"/cycle=import"_s, u"/check"_s}) {
        const Run refused = runKestrin({u"/ini="_s + ini, what});
        // A start stops as for any configuration error; "/check" gives its verdict.
        QCOMPARE(refused.exitCode, what == u"/check" ? 2 : 78);
        const QString said = refused.err + refused.out;
        QVERIFY2(said.contains(u"The sqlite database file "_s + file + u" does not exist"_s), qPrintable(said));
        QVERIFY(!QFileInfo::exists(file));
    }
#ifndef Q_OS_WIN
    // Started from a shell whose mask lets every user read what it makes.
    const mode_t shell = ::umask(022);
    const auto restore = qScopeGuard([shell] { ::umask(shell); });
#endif
    QCOMPARE(runKestrin({u"/ini="_s + ini, u"/initdb"_s}).exitCode, 0);
    const Run run = runKestrin({u"/ini="_s + ini, u"/cycle=import"_s});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QStringList logs = test::FileNames(folder + u"/log"_s).filter(u"_log.txt"_s);
    QCOMPARE(logs.size(), 1);
#ifndef Q_OS_WIN
    // Patients' data: the service's user writes, its group reads, nobody else.
    const auto mode = [&folder](const QString& path) {
        struct stat status = {};
        return ::stat(QFile::encodeName(folder + path).constData(), &status) == 0 ? status.st_mode & 07777 : 0;
    };
    QCOMPARE(mode(u"/lab.sqlite"_s), 0640U);
    QCOMPARE(mode(u"/log/"_s + logs.first()), 0640U);
    QCOMPARE(mode(u"/log"_s), 0750U);
    QCOMPARE(mode(u"/in/Done"_s), 0750U);
#endif
    QVERIFY(logs.first().startsWith(u"HL7_"_s));
    const QString log = QString::fromLatin1(test::ReadFile(folder + u"/log/"_s + logs.first()));
    QVERIFY(log.startsWith(u"Kestrin Module Started : "_s));
    QVERIFY(log.contains(u"\r\nImportpfad: "_s + folder + u"/in/\r\n"_s));
}

// An order file comes in; once results are entered and queued, the result file goes out.
void TestProgram::orderInResultOut()
{
    const QString folder = m_dir.filePath(u"roundtrip"_s);
    const QString ini = folder + u"/lab.ini"_s;
    test::WriteFile(ini,
                    "engine=sqlite\ndatabase=lab.sqlite\nComLogPath=log\nImportPath=in\nExportPath=out\n"
                    "TempExportPath=tmp\nshiftlen=8\nfirstshift=01.01.2019 06:00:00\nImportExtension=hl7\n"
                    "ImportMinAge=0\nExportLeader=ORU_\nExportExtension=.hl7\nHL7ORUSender=KESTRIN\n");
    test::WriteFile(folder + u"/in/order.hl7"_s,
                    "MSH|^~\\&|KIS|HOSP|KESTRIN|LAB|20190120||ORM^O01|M1|P|2.3\rPID|1||P1||Meier^Anna\r"
                    "ORC|NW|4711\rOBR|1|4711||THC^Cannabinoids\r");
    QCOMPARE(runKestrin({u"/ini="_s + ini, u"/initdb"_s}).exitCode, 0);
    {
        ConnectionParameters p;
        p.databaseName = folder + u"/lab.sqlite"_s;
        Database db(MakeDialect(Engine::Sqlite), p);
        db.open();
        db.exec(
            u"INSERT INTO TEST_DEF (PARAMETER_ID, IMP_CODE_LDT, LONG, PRINT_POS) VALUES (8, 'THC', 'Cannabinoids', 1)"_s);
    }
    Run run = runKestrin({u"/ini="_s + ini, u"/cycle=all"_s});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    QVERIFY(QFile::exists(folder + u"/in/Done/order.hl7"_s));
    QVERIFY(test::FileNames(folder + u"/out"_s).isEmpty());
    {
        ConnectionParameters p;
        p.databaseName = folder + u"/lab.sqlite"_s;
        Database db(MakeDialect(Engine::Sqlite), p);
        db.open();
        db.exec(u"DELETE FROM REQUEST"_s);
        db.exec(
            u"INSERT INTO RESULTS (SAMPLE_ID, PARAMETER_ID, RESULT, INTERPRETATION) VALUES ('4711', 8, '74', 'positive')"_s);
        db.exec(u"INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) VALUES ('4711', 8)"_s);
    }
    // The hospital's share is not mounted: the result stays queued and "/cycle" says 1.
    run = runKestrin({u"/ini="_s + ini, u"/cycle=export"_s});
    QCOMPARE(run.exitCode, 1);
    QVERIFY(!QFileInfo::exists(folder + u"/out"_s));
    QDir().mkpath(folder + u"/out"_s);
    run = runKestrin({u"/ini="_s + ini, u"/cycle=export"_s});
    QVERIFY2(run.exitCode == 0, qPrintable(run.err));
    const QString result = QString::fromLatin1(test::ReadFile(folder + u"/out/ORU_4711.hl7"_s));
    QVERIFY2(result.contains(u"\r\nPID|1||P1||Meier^Anna\r\n"_s), qPrintable(result));
    QVERIFY(result.contains(u"\r\nOBX|1|NM|THC^Cannabinoids||74|||positive|||F\r\n"_s));
}

// Two /headless with one INI file: the second is refused naming the first; /check, another
// station and, once the first was killed, the same station again all start.
void TestProgram::secondStartOfAStationIsRefused()
{
    const QString folder = m_dir.filePath(u"twice"_s);
    const QString ini = folder + u"/lab.ini"_s;
    test::WriteFile(ini,
                    kSoundIni +
                        "engine=sqlite\ndatabase=lab.sqlite\nComLogPath=log\nExportPath=out\n"
                        "TempExportPath=tmp\nImportExtension=hl7\n");
    QDir().mkpath(folder + u"/out"_s);
    QCOMPARE(runKestrin({u"/ini="_s + ini, u"/initdb"_s}).exitCode, 0);
    QProcess first;
    first.start(test::KestrinProgram(), {u"/ini="_s + ini, u"/headless"_s});
    QTRY_VERIFY_WITH_TIMEOUT(!test::FileNames(folder + u"/log"_s).filter(u"_log.txt"_s).isEmpty(), 30000);

    const Run second = runKestrin({u"/ini="_s + ini, u"/headless"_s});
    QCOMPARE(second.exitCode, 2);
    QVERIFY2(
        second.err.contains(u"Station HL7 runs already on this configuration: process %1 "_s.arg(first.processId())),
        qPrintable(second.err));
    const Run check = runKestrin({u"/ini="_s + ini, u"/check"_s});
    QVERIFY2(check.exitCode == 0, qPrintable(check.out + check.err));
    QCOMPARE(runKestrin({u"/ini="_s + ini, u"/id=L2"_s, u"/cycle=import"_s}).exitCode, 0);

    first.kill();
    first.waitForFinished();
    const Run after = runKestrin({u"/ini="_s + ini, u"/cycle=import"_s});
    QVERIFY2(after.exitCode == 0, qPrintable(after.err));
    QVERIFY(!QFileInfo::exists(folder + u"/log/HL7.kestrin-lock"_s));
}

void TestProgram::stopSignalFinishesTheBatchInHand_data()
{
    QTest::addColumn<QString>("run");
    QTest::newRow("cycle") << u"/cycle=import"_s;
    QTest::newRow("service") << u"/headless"_s;
}

// SIGTERM (a service manager's stop) ends the run with status 0 and a stop line, after the
// batch in hand: every message the log says was read is stored, and no file stays claimed.
void TestProgram::stopSignalFinishesTheBatchInHand()
{
#ifdef Q_OS_WIN
    QSKIP("signals are a Unix service manager's way");
#else
    QFETCH(QString, run);
    const QString folder = m_dir.filePath(u"signal"_s + run.mid(1, 5));
    const QString ini = folder + u"/lab.ini"_s;
    test::WriteFile(ini,
                    "engine=sqlite\ndatabase=lab.sqlite\nComLogPath=log\nImportPath=in\nExportPath=out\n"
                    "TempExportPath=tmp\nshiftlen=8\nfirstshift=01.01.2019 06:00:00\nImportExtension=hl7\n"
                    "ImportMinAge=0\nExportCycle=3600\n");
    QDir().mkpath(folder + u"/out"_s);
    QCOMPARE(runKestrin({u"/ini="_s + ini, u"/initdb"_s}).exitCode, 0);
    for (int i = 0; i < 8000; ++i)
        test::WriteFile(
            folder + u"/in/o%1.hl7"_s.arg(i),
            u"MSH|^~\\&|KIS|HOSP|K|LAB|20190120140503||ORM^O01|M%1|P|2.3\rPID|1||P%1||Meier^Anna\rORC|NW|S%1\r"_s.arg(i)
                .toLatin1());
    QProcess process;
    process.start(test::KestrinProgram(), {u"/ini="_s + ini, run});
    // Stopped while it imports, or right after: either way the same holds.
    QTRY_VERIFY_WITH_TIMEOUT(test::FileNames(folder + u"/in/Done"_s).size() > 0, 30000);
    ::kill(pid_t(process.processId()), SIGTERM);
    QVERIFY(process.waitForFinished(10000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    const QString log = QString::fromLatin1(
        test::ReadFile(folder + u"/log/"_s + test::FileNames(folder + u"/log"_s).filter(u"_log.txt"_s).first()));
    QVERIFY2(log.contains(u"Kestrin stopped: "_s), qPrintable(log.right(300)));
    const int read = int(log.count(u"Nachricht eingelesen"_s));
    QCOMPARE(int(test::FileNames(folder + u"/in/Done"_s).size()), read);
    QVERIFY(QDir(folder + u"/in"_s).entryList({u".kestrin-claim*"_s}, QDir::Files | QDir::Hidden).isEmpty());
    // Without a window the journal hears of the start, the status lines and the stop too.
    const QString journal = QString::fromUtf8(process.readAllStandardError());
    for (const QString& said : {u" started: station HL7, INI file "_s, u" Monitor: Kestrin stopped: "_s})
        QVERIFY2(journal.contains(said), qPrintable(said + u" in "_s + journal.right(500)));
#endif
}

void TestProgram::startupRefuses_data()
{
    QTest::addColumn<QByteArray>("ini");
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QStringList>("named"); // what the message must name

    QTest::newRow("export cycle no number")
        << QByteArray("ExportCycle=soon\n") << QStringList() << QStringList{u"ExportCycle"_s, u"soon"_s, u"INI"_s};
    QTest::newRow("test switch no number")
        << kSoundIni << QStringList{u"/test=abc"_s} << QStringList{u"/test"_s, u"abc"_s};
    QTest::newRow("test switch beyond 16 bits")
        << kSoundIni << QStringList{u"/test=70000"_s} << QStringList{u"/test"_s, u"70000"_s};
    QTest::newRow("shift length 0") << QByteArray("shiftlen=0\nfirstshift=01.01.2019 06:00:00\n") << QStringList()
                                    << QStringList{u"shiftlen"_s};
    QTest::newRow("first shift no date") << QByteArray("shiftlen=8\nfirstshift=Montag\n") << QStringList()
                                         << QStringList{u"firstshift"_s, u"Montag"_s};
    QTest::newRow("autoval switch no number")
        << kSoundIni << QStringList{u"/autoval=on"_s} << QStringList{u"/autoval"_s, u"on"_s};
    QTest::newRow("unknown cycle") << kSoundIni << QStringList{u"/cycle=twice"_s}
                                   << QStringList{u"/cycle"_s, u"twice"_s};
    QTest::newRow("export cycle that the type switches off")
        << kSoundIni << QStringList{u"/cycle=export"_s, u"/type=ACT"_s} << QStringList{u"/cycle=export"_s, u"ACT"_s};
}

void TestProgram::startupRefuses()
{
    QFETCH(QByteArray, ini);
    QFETCH(QStringList, arguments);
    QFETCH(QStringList, named);
    const QString iniPath =
        m_dir.filePath(QString::fromLatin1(QTest::currentDataTag()).replace(u' ', u'_') + u".ini"_s);
    test::WriteFile(iniPath, ini);
    const Run run = runKestrin(QStringList{u"/ini="_s + iniPath, u"/check"_s} + arguments);
    QCOMPARE(run.exitCode, 2);
    // Start-up refuses on stderr; "/check" lists the problems with the settings.
    const QString said = run.err + run.out;
    for (const QString& name : named)
        QVERIFY2(said.contains(name), qPrintable(said));
    // A service manager is told that starting again will not help.
    QCOMPARE(runKestrin(QStringList{u"/ini="_s + iniPath, u"/headless"_s} + arguments).exitCode, 78);
}

void TestProgram::windowsWithoutADisplay_data()
{
    QTest::addColumn<QString>("display");
    QTest::addColumn<QString>("platform");
    QTest::addColumn<QString>("said");
    QTest::newRow("no display") << QString() << QString() << u"no display: use /headless or set DISPLAY"_s;
    QTest::newRow("a display that does not answer")
        << u":97"_s << QString() << u"could not connect to display :97. Use /headless"_s;
    QTest::newRow("a platform that does not load")
        << QString() << u"nosuchplatform"_s << u"the windows cannot be shown: "_s;
}

// A windowed start that cannot show its windows ends as any failed start: 2, with Kestrin's
// own words, not the platform's abort.
void TestProgram::windowsWithoutADisplay()
{
    QFETCH(QString, display);
    QFETCH(QString, platform);
    QFETCH(QString, said);
    const QString ini = m_dir.filePath(u"nodisplay.ini"_s);
    test::WriteFile(ini, kSoundIni);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
        environment.remove(name);
    if (!display.isEmpty())
        environment.insert(u"DISPLAY"_s, display);
    if (!platform.isEmpty())
        environment.insert(u"QT_QPA_PLATFORM"_s, platform);
    const Run run = runKestrin({u"/ini="_s + ini}, environment);
    QCOMPARE(run.exitCode, 2);
    QVERIFY2(run.err.contains(u"kestrin: "_s) && run.err.contains(said), qPrintable(run.err));
}

KESTRIN_TEST_MAIN(TestProgram)
#include "tst_program.moc"
