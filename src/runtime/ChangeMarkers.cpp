#include "runtime/ChangeMarkers.h"

#include "FixedTexts.h"
#include "core/Error.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <limits>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

void insertMarker(Context& ctx, QStringView key)
{
    ctx.db.exec(u"INSERT INTO quorix_log (time_stamp, log_key) VALUES (?, ?)"_s, {ctx.now(), key.toString()});
}

QDateTime latestMarker(Context& ctx, QStringView key)
{
    const auto row =
        ctx.db.first(u"SELECT MAX(time_stamp) AS latest FROM quorix_log WHERE log_key = ?"_s, {key.toString()});
    return row ? row->dateTime(u"latest") : QDateTime();
}

// Hours counted as hour boundaries crossed, on the wall clock (10:59 to 11:00 is one).
qint64 hourBoundaries(const QDateTime& from, const QDateTime& to)
{
    const auto hourSerial = [](const QDateTime& t) { return t.date().toJulianDay() * 24 + t.time().hour(); };
    return hourSerial(to) - hourSerial(from);
}

} // namespace

QString LogFileName(const QString& comLogPath, const QString& stationId, const QDate& day)
{
    return comLogPath + stationId + u'_' + day.toString(u"yyyyMMdd"_s) + u"_log.txt"_s;
}

qint64 ShiftNumber(const QDateTime& time, const QDateTime& firstShift, double shiftLength)
{
    const double shifts = std::trunc(double(std::llabs(hourBoundaries(firstShift, time))) / shiftLength);
    // Start-up refuses shifts too short for this; a count past qint64 would be undefined.
    constexpr double kBeyond = 9.2e18;
    return shifts >= 0 && shifts < kBeyond ? static_cast<qint64>(shifts) : std::numeric_limits<qint64>::max();
}

QStringList RemoveOldLogs(const QString& comLogPath, const QString& stationId, const QDate& today, int keepDays)
{
    QStringList removed;
    if (keepDays <= 0)
        return removed;
    const QString prefix = stationId + u'_';
    const QDate oldestKept = today.addDays(-keepDays);
    for (const QString& name : QDir(comLogPath).entryList({prefix + u"*_log.txt"_s}, QDir::Files)) {
        const QDate day = QDate::fromString(name.mid(prefix.size(), 8), u"yyyyMMdd"_s);
        // Only names this station writes: another station's log (prefix "HL7_X") has no date there.
        if (day.isValid() && name == LogFileName({}, stationId, day) && day < oldestKept &&
            QFile::remove(QDir(comLogPath).filePath(name)))
            removed << name;
    }
    return removed;
}

void OpenLogFile(Context& ctx)
{
    const QString name = LogFileName(ctx.config.ComLogPath, ctx.config.StationId, ctx.now().date());
    const QStringList header{runtimetexts::ModuleStartedLine(ctx.nowText()), runtimetexts::kConfigLine.toString(),
                             runtimetexts::ImportPathLine(ctx.config.ImportPath),
                             runtimetexts::ExportPathLine(ctx.config.ExportPath)};
    if (!ctx.log.open(name, header))
        throw FileError(u"The communication log %1 cannot be opened: %2"_s.arg(name, ctx.log.errorString()));
    insertMarker(ctx, runtimetexts::kLogChangeMarker);
}

void CheckDayAndShiftChange(Context& ctx)
{
    const QDateTime now = ctx.now();
    const QDateTime lastDay = latestMarker(ctx, runtimetexts::kDayChangeMarker);
    // Only the day of the month counts, as the laboratory's reports expect.
    if (!lastDay.isValid() || lastDay.date().day() != now.date().day()) {
        Transaction transaction(ctx.db);
        RebuildAnalyzerControlBlocks(ctx.db, ctx.config.StationId);
        insertMarker(ctx, runtimetexts::kDayChangeMarker);
        transaction.commit();
        // Opening the new day's file closes the old one; the other thread's lines go to either.
        OpenLogFile(ctx);
        for (const QString& name :
             RemoveOldLogs(ctx.config.ComLogPath, ctx.config.StationId, now.date(), ctx.config.LogKeepDays))
            ctx.log.logall(u"Old log removed (LogKeepDays): "_s + name, LogDirection::Monitor);
        return;
    }
    const QDateTime lastShift = latestMarker(ctx, runtimetexts::kShiftChangeMarker);
    bool shiftChanged = !lastShift.isValid();
    if (!shiftChanged) {
        const auto firstShift = ParseRegionalDateTime(ctx.config.FirstShift, ctx.regional());
        if (!firstShift || !(ctx.config.ShiftLength > 0))
            throw ProgramError(u"The first shift or the shift length of the INI file cannot be used."_s);
        shiftChanged = ShiftNumber(lastShift, *firstShift, ctx.config.ShiftLength) !=
            ShiftNumber(now, *firstShift, ctx.config.ShiftLength);
    }
    if (shiftChanged) {
        Transaction transaction(ctx.db);
        RebuildAnalyzerControlBlocks(ctx.db, ctx.config.StationId);
        insertMarker(ctx, runtimetexts::kShiftChangeMarker);
        transaction.commit();
    }
}

void RebuildAnalyzerControlBlocks(Database& db, const QString& analyzerId)
{
    const QList<Row> controls = db.query(u"SELECT DISTINCT control_id, analyzer_id FROM control_def cd "
                                         u"INNER JOIN param2channel p2c ON cd.parameter_id = p2c.parameter_id "
                                         u"WHERE analyzer_id = ? ORDER BY control_id"_s,
                                         {analyzerId});
    for (const Row& control : controls)
        RebuildControlBlock(db, control.text(u"control_id"), control.text(u"analyzer_id"));
}

void RebuildControlBlock(Database& db, const QString& controlId, const QString& analyzerId)
{
    db.exec(u"DELETE FROM control_block WHERE control_id = ? AND analyzer_id = ?"_s, {controlId, analyzerId});
    const QList<Row> rows = db.query(u"SELECT control_id, cd.parameter_id, analyzer_id FROM control_def cd "
                                     u"INNER JOIN param2channel p2c ON cd.parameter_id = p2c.parameter_id "
                                     u"WHERE control_id = ? AND analyzer_id = ? ORDER BY cd.parameter_id"_s,
                                     {controlId, analyzerId});
    for (const Row& row : rows)
        db.exec(u"INSERT INTO control_block (control_id, parameter_id, analyzer_id) VALUES (?, ?, ?)"_s,
                {row.text(u"control_id"), row.value(u"parameter_id"), row.text(u"analyzer_id")});
}

} // namespace kestrin
