#include "TestMain.h"
#include "config/CycleSchedule.h"
#include "config/StartupChecks.h"

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

AppConfig sound()
{
    AppConfig c;
    c.ComputerName = u"LABPC1"_s;
    c.ShiftLength = 8;
    c.FirstShift = u"01.01.2019 06:00:00"_s;
    c.ImportCycle = 1;
    c.ExportCycle = 30;
    return c;
}

} // namespace

class TestStartupChecks : public QObject {
    Q_OBJECT
private slots:
    void problems_data();
    void problems();
    void trayTip_data();
    void trayTip();
    void cutoffs_data();
    void cutoffs();
    void ticks_data();
    void ticks();
};

void TestStartupChecks::problems_data()
{
    QTest::addColumn<QString>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("problem"); // empty: none; else a word the message must hold

    QTest::newRow("sound settings") << QString() << QString() << QString();
    QTest::newRow("shift length 0") << u"shiftlen"_s << u"0"_s << u"shiftlen"_s;
    QTest::newRow("negative shift length") << u"shiftlen"_s << u"-8"_s << u"shiftlen"_s;
    QTest::newRow("shift length below a second") << u"shiftlen"_s << u"1e-300"_s << u"shiftlen"_s;
    QTest::newRow("shift length of one second") << u"shiftlen"_s << QString::number(1.0 / 3600, 'g', 17) << QString();
    QTest::newRow("first shift no date") << u"firstshift"_s << u"early"_s << u"early"_s;
    QTest::newRow("first shift date alone") << u"firstshift"_s << u"01.01.2019"_s << QString();
    QTest::newRow("first shift without seconds") << u"firstshift"_s << u"01.01.2019 06:00"_s << QString();
    QTest::newRow("longest import cycle") << u"ImportCycle"_s << u"2730"_s << QString();
    QTest::newRow("import cycle too long for the counter") << u"ImportCycle"_s << u"2731"_s << u"ImportCycle"_s;
    QTest::newRow("longest export cycle") << u"ExportCycle"_s << u"32767"_s << QString();
    QTest::newRow("export cycle too long") << u"ExportCycle"_s << u"32768"_s << u"ExportCycle"_s;
    QTest::newRow("unknown character set") << u"Charset"_s << u"ebcdic-xx"_s << u"ebcdic-xx"_s;
    QTest::newRow("date format without year") << u"ShortDateFormat"_s << u"dd.MM"_s << u"ShortDateFormat"_s;
    QTest::newRow("long result file leader") << u"ExportLeader"_s << QString(116, u'x') << QString();
    QTest::newRow("leader leaves no room for the sample ID")
        << u"ExportLeader"_s << QString(117, u'x') << u"ExportLeader"_s;
    QTest::newRow("decimal point") << u"DecimalSeparator"_s << u"."_s << QString();
    QTest::newRow("no decimal separator") << u"DecimalSeparator"_s << QString() << u"DecimalSeparator"_s;
    QTest::newRow("decimal separator a digit") << u"DecimalSeparator"_s << u"0"_s << u"DecimalSeparator"_s;
    QTest::newRow("decimal separator NUL") << u"DecimalSeparator"_s << QString(QChar(0)) << u"DecimalSeparator"_s;
    QTest::newRow("database with NUL") << u"database"_s << u"lab"_s + QChar(0) + u".db"_s << u"database"_s;
    QTest::newRow("port 0") << u"com"_s << u"0"_s << u"/com"_s;
    QTest::newRow("port 3") << u"com"_s << u"3"_s << QString();
    QTest::newRow("fractional port") << u"com"_s << u"1.5"_s << u"/com"_s;
    QTest::newRow("autovalidation on") << u"autoval"_s << u"1"_s << QString();
    QTest::newRow("autovalidation off") << u"autoval"_s << u"0"_s << QString();
    QTest::newRow("autovalidation no number") << u"autoval"_s << u"yes"_s << u"/autoval"_s;
}

void TestStartupChecks::problems()
{
    QFETCH(QString, field);
    QFETCH(QString, value);
    QFETCH(QString, problem);
    AppConfig c = sound();
    if (field == u"shiftlen")
        c.ShiftLength = value.toDouble();
    else if (field == u"firstshift")
        c.FirstShift = value;
    else if (field == u"ImportCycle")
        c.ImportCycle = value.toInt();
    else if (field == u"ExportCycle")
        c.ExportCycle = value.toInt();
    else if (field == u"ExportLeader")
        c.ExportLeader = value, c.ExportExtension = u".hl7"_s;
    else if (field == u"Charset")
        c.Charset = value;
    else if (field == u"ShortDateFormat")
        c.ShortDateFormat = value;
    else if (field == u"DecimalSeparator")
        c.DecimalSeparator = value;
    else if (field == u"database")
        c.Engine = Engine::Sqlite, c.DatabaseName = value;
    else if (field == u"com")
        c.ComPort = value.toDouble();
    else if (field == u"autoval")
        c.AutoVal = value;
    const QStringList problems = StartupProblems(c);
    if (problem.isEmpty()) {
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));
    } else {
        QVERIFY2(!problems.filter(problem).isEmpty(), qPrintable(problems.join(u'\n')));
    }
}

void TestStartupChecks::trayTip_data()
{
    QTest::addColumn<QString>("station");
    QTest::addColumn<QVariant>("port");
    QTest::addColumn<QString>("tip");
    QTest::newRow("default station, port 1") << u"HL7"_s << QVariant(1.0) << u"HL7/Com:1"_s;
    QTest::newRow("no com switch") << u"HL7"_s << QVariant() << u"HL7/Com:"_s;
    QTest::newRow("station LAB2 on port 2") << u"LAB2"_s << QVariant(2.0) << u"LAB2/Com:2"_s;
    QTest::newRow("port 0 is shown") << u"HL7"_s << QVariant(0.0) << u"HL7/Com:0"_s;
    QTest::newRow("cut at 63 characters") << QString(70, u'S') << QVariant(1.0) << QString(63, u'S');
    QTest::newRow("port cut off at the end") << QString(60, u'S') << QVariant(12.0) << QString(60, u'S') + u"/Co"_s;
}

void TestStartupChecks::trayTip()
{
    QFETCH(QString, station);
    QFETCH(QVariant, port);
    const std::optional<double> comPort = port.isValid() ? std::optional<double>(port.toDouble()) : std::nullopt;
    QTEST(TrayTipText(station, comPort), "tip");
}

void TestStartupChecks::cutoffs_data()
{
    QTest::addColumn<QString>("computer");
    QTest::addColumn<int>("importCycle");
    QTest::addColumn<int>("exportCycle");
    QTest::addColumn<qint64>("importCutoff");
    QTest::addColumn<qint64>("exportCutoff");
    QTest::newRow("1 minute, 30 seconds") << u"LABPC"_s << 1 << 30 << qint64(12) << qint64(30);
    QTest::newRow("zero cycles") << u"LABPC"_s << 0 << 0 << qint64(0) << qint64(0);
    QTest::newRow("XJ machine") << u"XJ-LAB"_s << 10 << 60 << qint64(2) << qint64(2);
    QTest::newRow("xj in lower case") << u"xjtest"_s << 10 << 60 << qint64(2) << qint64(2);
    QTest::newRow("X alone is not XJ") << u"XLAB"_s << 10 << 60 << qint64(120) << qint64(60);
    QTest::newRow("long cycles counted wide") << u"LABPC"_s << 100000 << 100000 << qint64(1200000) << qint64(100000);
}

void TestStartupChecks::cutoffs()
{
    QFETCH(QString, computer);
    QFETCH(int, importCycle);
    QFETCH(int, exportCycle);
    const CycleSchedule schedule(computer, importCycle, exportCycle);
    QTEST(schedule.importCutoff(), "importCutoff");
    QTEST(schedule.exportCutoff(), "exportCutoff");
}

void TestStartupChecks::ticks_data()
{
    QTest::addColumn<int>("importCycle");
    QTest::addColumn<int>("ticks");
    QTest::addColumn<QList<int>>("cycleTicks"); // the ticks on which an import runs
    QTest::newRow("1 minute: 12th and 24th tick") << 1 << 24 << QList<int>{12, 24};
    QTest::newRow("0: every tick") << 0 << 3 << QList<int>{1, 2, 3};
    QTest::newRow("negative: every tick") << -5 << 2 << QList<int>{1, 2};
}

void TestStartupChecks::ticks()
{
    QFETCH(int, importCycle);
    QFETCH(int, ticks);
    CycleSchedule schedule(u"LABPC"_s, importCycle, importCycle);
    QList<int> imports;
    QList<int> exports;
    for (int tick = 1; tick <= ticks; ++tick) {
        if (schedule.importTick())
            imports << tick;
    }
    QTEST(imports, "cycleTicks");
    // The export counter runs on its own: 60 ticks per minute at 1 s.
    CycleSchedule exportSchedule(u"LABPC"_s, 0, 30);
    for (int tick = 1; tick <= 60; ++tick) {
        if (exportSchedule.exportTick())
            exports << tick;
    }
    QCOMPARE(exports, (QList<int>{30, 60}));
}

KESTRIN_TEST_MAIN(TestStartupChecks)
#include "tst_startupchecks.moc"
