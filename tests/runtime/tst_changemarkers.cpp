#include "FixedClock.h"
#include "ScratchDatabase.h"
#include "TestMain.h"
#include "runtime/ChangeMarkers.h"

#include <limits>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

// A station with its settings, log and clock on a scratch database.
struct Station {
    explicit Station(test::ScratchDatabase& scratch)
        : log(clock, {}, u"windows-1252"_s)
        , ctx{config, scratch.db(), log, clock}
    {
        config.StationId = u"AN1"_s;
        config.ComLogPath = scratch.folder() + u"/log/"_s;
        config.ImportPath = u"/lab/in/"_s;
        config.ExportPath = u"/lab/out/"_s;
        config.FirstShift = u"01.01.2019 06:00:00"_s;
        config.ShiftLength = 8;
    }

    QStringList markers()
    {
        QStringList keys;
        for (const Row& row : ctx.db.query(u"SELECT log_key FROM quorix_log ORDER BY time_stamp, log_key"_s))
            keys << row.text(u"log_key");
        return keys;
    }

    QStringList logLines(const QDate& day)
    {
        const QString text = QString::fromLatin1(test::ReadFile(LogFileName(config.ComLogPath, u"AN1"_s, day)));
        QStringList lines = text.split(u"\r\n"_s);
        lines.removeLast();
        return lines;
    }

    AppConfig config;
    test::FixedClock clock{QDateTime(QDate(2019, 1, 20), QTime(13, 40))};
    CommLog log;
    Context ctx;
};

void seedControls(Database& db)
{
    for (const auto& [control, parameter] : {std::pair{u"QC-LOW"_s, 1}, {u"QC-LOW"_s, 2}, {u"QC-HIGH"_s, 1}})
        db.exec(u"INSERT INTO control_def (control_id, parameter_id) VALUES (?, ?)"_s, {control, parameter});
    for (const auto& [parameter, analyser] : {std::pair{1, u"AN1"_s}, {2, u"AN1"_s}, {1, u"AN2"_s}})
        db.exec(u"INSERT INTO param2channel (parameter_id, analyzer_id, channel_id) VALUES (?, ?, ?)"_s,
                {parameter, analyser, parameter});
}

QStringList controlBlocks(Database& db)
{
    QStringList blocks;
    for (
        const Row& row : db.query(
            u"SELECT control_id, parameter_id, analyzer_id FROM control_block ORDER BY analyzer_id, control_id, parameter_id"_s))
        blocks << row.text(u"control_id") + u'/' + row.text(u"parameter_id") + u'/' + row.text(u"analyzer_id");
    return blocks;
}

} // namespace

// A scratch database of the row's engine with the schema, a station on it, its log opened.
#define KESTRIN_OPEN_STATION(scratch, station)                                                                         \
    QFETCH(QString, engine);                                                                                           \
    test::ScratchDatabase scratch(engine);                                                                             \
    KESTRIN_REQUIRE(scratch);                                                                                          \
    scratch.createSchema();                                                                                            \
    Station station(scratch);                                                                                          \
    OpenLogFile(station.ctx)

class TestChangeMarkers : public QObject {
    Q_OBJECT
private slots:
    void logFileName();
    void oldLogsRemoved_data();
    void oldLogsRemoved();
    void shiftNumbers_data();
    void shiftNumbers();
    void logFileHeader_data() { test::AddEngineRows(); }
    void logFileHeader();
    void emptyLogRecordsADayChange_data() { test::AddEngineRows(); }
    void emptyLogRecordsADayChange();
    void shiftMarkers_data() { test::AddEngineRows(); }
    void shiftMarkers();
    void dayChangeOpensTheNewDaysLog_data() { test::AddEngineRows(); }
    void dayChangeOpensTheNewDaysLog();
    void controlBlocksRebuilt_data() { test::AddEngineRows(); }
    void controlBlocksRebuilt();
};

void TestChangeMarkers::logFileName()
{
    QCOMPARE(LogFileName(u"C:\\Log\\"_s, u"HL7"_s, QDate(2019, 1, 20)), u"C:\\Log\\HL7_20190120_log.txt"_s);
    QCOMPARE(LogFileName(u"/var/log/kestrin/"_s, u"LAB2"_s, QDate(2019, 12, 3)),
             u"/var/log/kestrin/LAB2_20191203_log.txt"_s);
}

void TestChangeMarkers::oldLogsRemoved_data()
{
    QTest::addColumn<int>("keepDays");
    QTest::addColumn<QStringList>("left");
    const QStringList others{u"HL7_X_20190101_log.txt"_s, u"HL7_notes.txt"_s, u"LAB2_20190101_log.txt"_s};
    QTest::newRow("0 keeps all") << 0
                                 << others +
            QStringList{u"HL7_20190101_log.txt"_s, u"HL7_20190117_log.txt"_s, u"HL7_20190118_log.txt"_s,
                        u"HL7_20190120_log.txt"_s};
    QTest::newRow("2 days") << 2 << others + QStringList{u"HL7_20190118_log.txt"_s, u"HL7_20190120_log.txt"_s};
}

void TestChangeMarkers::oldLogsRemoved()
{
    QFETCH(int, keepDays);
    QFETCH(QStringList, left);
    QTemporaryDir dir;
    for (const QString& name :
         {u"HL7_20190101_log.txt"_s, u"HL7_20190117_log.txt"_s, u"HL7_20190118_log.txt"_s, u"HL7_20190120_log.txt"_s,
          u"HL7_X_20190101_log.txt"_s, u"HL7_notes.txt"_s, u"LAB2_20190101_log.txt"_s})
        test::WriteFile(dir.filePath(name), "x");
    RemoveOldLogs(dir.path() + u'/', u"HL7"_s, QDate(2019, 1, 20), keepDays);
    left.sort();
    QCOMPARE(test::FileNames(dir.path()), left);
}

void TestChangeMarkers::shiftNumbers_data()
{
    QTest::addColumn<QDateTime>("time");
    QTest::addColumn<double>("length");
    QTest::addColumn<qint64>("shift");
    const QDate day(2019, 1, 20);
    QTest::newRow("13:40 is 7 boundaries: shift 0") << QDateTime(day, QTime(13, 40)) << 8.0 << qint64(0);
    QTest::newRow("14:05 is 8 boundaries: shift 1") << QDateTime(day, QTime(14, 5)) << 8.0 << qint64(1);
    QTest::newRow("13:59:59 still shift 0") << QDateTime(day, QTime(13, 59, 59)) << 8.0 << qint64(0);
    QTest::newRow("minutes do not count, boundaries do") << QDateTime(day, QTime(6, 59)) << 1.0 << qint64(0);
    QTest::newRow("next day") << QDateTime(day.addDays(1), QTime(6, 0)) << 8.0 << qint64(3);
    QTest::newRow("before the first shift counts away from it")
        << QDateTime(day.addDays(-1), QTime(22, 0)) << 8.0 << qint64(1);
    QTest::newRow("fractional length") << QDateTime(day, QTime(9, 0)) << 1.5 << qint64(2);
    // Start-up refuses such a length; the count saturates instead of overflowing.
    QTest::newRow("length too small to count")
        << QDateTime(day, QTime(9, 0)) << 1e-300 << std::numeric_limits<qint64>::max();
}

void TestChangeMarkers::shiftNumbers()
{
    QFETCH(QDateTime, time);
    QFETCH(double, length);
    QTEST(ShiftNumber(time, QDateTime(QDate(2019, 1, 20), QTime(6, 0)), length), "shift");
}

void TestChangeMarkers::logFileHeader()
{
    KESTRIN_OPEN_STATION(scratch, station);
    OpenLogFile(station.ctx); // a second start on the same day appends
    const QStringList header{u"Kestrin Module Started : 20.01.2019 13:40:00"_s, u"Config:"_s, u"Importpfad: /lab/in/"_s,
                             u"Exportpfad: /lab/out/"_s};
    QCOMPARE(station.logLines(QDate(2019, 1, 20)), header + header);
    QCOMPARE(station.markers(), (QStringList{u"HL7_log_change"_s, u"HL7_log_change"_s}));
}

void TestChangeMarkers::emptyLogRecordsADayChange()
{
    KESTRIN_OPEN_STATION(scratch, station);
    CheckDayAndShiftChange(station.ctx);
    // A day change, no shift change, and the log opened again with its header.
    QCOMPARE(station.markers(), (QStringList{u"HL7_log_change"_s, u"HL7_log_change"_s, u"d_change"_s}));
    QCOMPARE(station.logLines(QDate(2019, 1, 20)).filter(u"Kestrin Module Started"_s).size(), 2);
}

void TestChangeMarkers::shiftMarkers()
{
    KESTRIN_OPEN_STATION(scratch, station);
    CheckDayAndShiftChange(station.ctx); // d_change at 13:40
    const auto shiftMarkers = [&] { return station.markers().filter(u"s_change"_s).size(); };
    CheckDayAndShiftChange(station.ctx);
    QCOMPARE(shiftMarkers(), 1); // the first check of the day with no shift marker records one
    station.clock.set(QDateTime(QDate(2019, 1, 20), QTime(13, 55)));
    CheckDayAndShiftChange(station.ctx);
    QCOMPARE(shiftMarkers(), 1); // same shift
    station.clock.set(QDateTime(QDate(2019, 1, 20), QTime(14, 5)));
    CheckDayAndShiftChange(station.ctx);
    QCOMPARE(shiftMarkers(), 2); // 13:40 is shift 0, 14:05 shift 1
    CheckDayAndShiftChange(station.ctx);
    QCOMPARE(shiftMarkers(), 2);
}

void TestChangeMarkers::dayChangeOpensTheNewDaysLog()
{
    KESTRIN_OPEN_STATION(scratch, station);
    CheckDayAndShiftChange(station.ctx);
    CheckDayAndShiftChange(station.ctx);
    station.clock.set(QDateTime(QDate(2019, 1, 21), QTime(0, 1)));
    CheckDayAndShiftChange(station.ctx);
    QCOMPARE(station.markers().filter(u"d_change"_s).size(), 2);
    QCOMPARE(station.markers().filter(u"s_change"_s).size(), 1); // no shift test on a day change
    QCOMPARE(station.logLines(QDate(2019, 1, 21)).first(), u"Kestrin Module Started : 21.01.2019 00:01:00"_s);
    QCOMPARE(station.log.fileName(), LogFileName(station.config.ComLogPath, u"AN1"_s, QDate(2019, 1, 21)));
    // The next check of the new day compares shifts with yesterday's last marker.
    station.clock.set(QDateTime(QDate(2019, 1, 21), QTime(0, 30)));
    CheckDayAndShiftChange(station.ctx);
    QCOMPARE(station.markers().filter(u"s_change"_s).size(), 2);
    // The same day number a month later is no day change: only the day of the month counts.
    station.clock.set(QDateTime(QDate(2019, 2, 21), QTime(0, 40)));
    CheckDayAndShiftChange(station.ctx);
    QCOMPARE(station.markers().filter(u"d_change"_s).size(), 2);
}

void TestChangeMarkers::controlBlocksRebuilt()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    scratch.createSchema();
    Database& db = scratch.db();
    seedControls(db);
    db.exec(u"INSERT INTO control_block (control_id, parameter_id, analyzer_id) VALUES (?, ?, ?)"_s,
            {u"QC-LOW"_s, 9, u"AN1"_s}); // stale
    RebuildAnalyzerControlBlocks(db, u"AN1"_s);
    QCOMPARE(controlBlocks(db), (QStringList{u"QC-HIGH/1/AN1"_s, u"QC-LOW/1/AN1"_s, u"QC-LOW/2/AN1"_s}));
    RebuildAnalyzerControlBlocks(db, u"AN1"_s);
    QCOMPARE(controlBlocks(db).size(), 3);
    RebuildAnalyzerControlBlocks(db, u"NOCTRL"_s); // an analyser without controls changes nothing
    QCOMPARE(controlBlocks(db).size(), 3);
    Station station(scratch);
    OpenLogFile(station.ctx);
    db.exec(u"DELETE FROM control_block"_s);
    CheckDayAndShiftChange(station.ctx); // a day change rebuilds this station's blocks
    QCOMPARE(controlBlocks(db).size(), 3);
}

KESTRIN_TEST_MAIN(TestChangeMarkers)
#include "tst_changemarkers.moc"
