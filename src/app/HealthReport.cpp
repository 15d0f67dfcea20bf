#include "app/HealthReport.h"

#include "config/CommandLine.h"
#include "core/DateTexts.h"

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

constexpr qint64 kSecond = 1000;
constexpr qint64 kMinute = 60 * kSecond;
constexpr qint64 kHour = 60 * kMinute;
constexpr qint64 kDay = 24 * kHour;
constexpr int kCyclesAllowed = 3;
constexpr qint64 kSlackMs = 5 * kMinute;

qint64 ageMs(const HealthReport& report, const QDateTime& since) { return since.msecsTo(report.now); }

QString late(const HealthReport& report, const QDateTime& since, qint64 allowedMs)
{
    return u"%1 (allowed: %2)"_s.arg(AgeText(ageMs(report, since)), AgeText(allowedMs));
}

bool tooOld(const HealthReport& report, const QDateTime& since, qint64 allowedMs)
{
    return since.isValid() && ageMs(report, since) > allowedMs;
}

// The last cycle of its kind that ran through since the running process started.
void judgeCycle(const HealthReport& report, const QDateTime& last, qint64 periodMs, const QString& kind,
                QStringList& reasons)
{
    const QDateTime since = last.isValid() && last > report.serviceSince ? last : report.serviceSince;
    const qint64 allowed = CycleAllowanceMs(periodMs);
    if (tooOld(report, since, allowed))
        reasons << u"no %1 cycle has run through for %2"_s.arg(kind, late(report, since, allowed));
}

QString shownTime(const QDateTime& time, const RegionalFormat& format, const QDateTime& now)
{
    return u"%1 (%2 ago)"_s.arg(NowText(time, format), AgeText(time.msecsTo(now)));
}

QString serviceLine(const HealthReport& r, const RegionalFormat& format)
{
    switch (r.service) {
    case ServiceState::NotRunning:
        return u"Service: does not run"_s;
    case ServiceState::Running:
        return u"Service: runs as process %1 since %2"_s.arg(QString::number(r.servicePid),
                                                             NowText(r.serviceSince, format));
    case ServiceState::OtherMachine:
        return u"Service: process %1 of the machine %2 holds the station since %3"_s.arg(
            QString::number(r.servicePid), r.serviceHost, NowText(r.serviceSince, format));
    case ServiceState::Unreadable:
        break;
    }
    return u"Service: unknown, the lock file cannot be read by this user"_s;
}

QString cyclesLine(const HealthReport& r, const RegionalFormat& format)
{
    if (!r.cycles)
        return u"Cycles: nothing recorded yet"_s;
    const auto last = [&](const QDateTime& t) { return t.isValid() ? NowText(t, format) : u"none"_s; };
    return u"Cycles: last import %1, last export %2, database %3 (recorded by process %4 at %5)"_s.arg(
        last(r.cycles->lastImport), last(r.cycles->lastExport),
        r.cycles->databaseConnected ? u"connected"_s : u"away"_s, QString::number(r.cycles->pid),
        shownTime(r.cycles->written, format, r.now));
}

QString queueLine(const HealthReport& r, const RegionalFormat& format)
{
    QString line = u"Queued samples (REQ2SEND): %1"_s.arg(r.samplesQueued);
    if (r.oldestQueuedResult.isValid())
        line += u", the oldest result of "_s + shownTime(r.oldestQueuedResult, format, r.now);
    if (r.queueRowsWithoutSample > 0)
        line += u", %1 rows without a sample ID"_s.arg(r.queueRowsWithoutSample);
    line += u"; being sent (KESTRIN_EXPORTS): %1"_s.arg(r.claims);
    if (r.oldestClaim.isValid())
        line += u", claimed at "_s + shownTime(r.oldestClaim, format, r.now);
    return line;
}

} // namespace

qint64 CycleAllowanceMs(qint64 periodMs) { return kCyclesAllowed * std::max<qint64>(periodMs, 0) + kSlackMs; }

QString AgeText(qint64 ms)
{
    ms = std::max<qint64>(ms, 0);
    const auto two = [](qint64 big, const char16_t* bigUnit, qint64 small, const char16_t* smallUnit) {
        QString text = QString::number(big) + u' ' + QStringView(bigUnit);
        if (small > 0)
            text += u' ' + QString::number(small) + u' ' + QStringView(smallUnit);
        return text;
    };
    if (ms < kMinute)
        return QString::number(ms / kSecond) + u" s"_s;
    if (ms < kHour)
        return QString::number(ms / kMinute) + u" min"_s;
    if (ms < kDay)
        return two(ms / kHour, u"h", ms % kHour / kMinute, u"min");
    return two(ms / kDay, u"d", ms % kDay / kHour, u"h");
}

QStringList JudgeHealth(const HealthReport& r)
{
    QStringList reasons;
    for (const QString& problem : r.configurationProblems)
        reasons << u"the configuration cannot work: "_s + problem;
    switch (r.service) {
    case ServiceState::NotRunning:
        reasons << u"Kestrin does not run for station %1"_s.arg(r.stationId);
        break;
    case ServiceState::Unreadable:
        reasons << u"whether Kestrin runs cannot be seen: run /status as the service's user or root"_s;
        break;
    case ServiceState::Running:
    case ServiceState::OtherMachine: {
        const CycleRecord none;
        const CycleRecord& cycles = r.cycles ? *r.cycles : none;
        judgeCycle(r, cycles.lastImport, r.importPeriodMs, u"import"_s, reasons);
        if (r.exports)
            judgeCycle(r, cycles.lastExport, r.exportPeriodMs, u"export"_s, reasons);
        if (!cycles.databaseConnected)
            reasons << u"the service's last cycle found the database away"_s;
        break;
    }
    }

    const qint64 importAllowed = CycleAllowanceMs(r.importPeriodMs);
    if (!r.importFolderError.isEmpty())
        reasons << u"the import folder cannot be read: "_s + r.importFolderError;
    if (tooOld(r, r.oldestOrderFile, importAllowed))
        reasons << u"an order file has waited %1"_s.arg(late(r, r.oldestOrderFile, importAllowed));
    for (const QString& problem : r.folderProblems)
        reasons << problem;
    if (r.failedFilesToday > 0)
        reasons << u"%1 order files failed today and lie in EinleseFehler"_s.arg(r.failedFilesToday);
    if (r.failedFilesWaiting > 0)
        reasons << u"%1 failed order files wait in the import folder until EinleseFehler takes them"_s.arg(
            r.failedFilesWaiting);

    if (!r.databaseError.isEmpty())
        reasons << u"the database: "_s + r.databaseError;
    if (r.exports) {
        const qint64 exportAllowed = CycleAllowanceMs(r.exportPeriodMs);
        if (tooOld(r, r.oldestQueuedResult, exportAllowed))
            reasons << u"a queued result has waited %1"_s.arg(late(r, r.oldestQueuedResult, exportAllowed));
        if (tooOld(r, r.oldestClaim, exportAllowed))
            reasons << u"an exporter has held a sample for %1"_s.arg(late(r, r.oldestClaim, exportAllowed));
        if (r.queueRowsWithoutSample > 0)
            reasons << u"%1 queue rows (REQ2SEND) have no sample ID: they are never sent and wait for someone "
                       u"to remove them"_s.arg(r.queueRowsWithoutSample);
    }
    return reasons;
}

QStringList StatusLines(const HealthReport& r, const RegionalFormat& format)
{
    QStringList lines{VersionLine(),
                      u"Station %1, INI file %2, at %3"_s.arg(r.stationId, r.iniFile, NowText(r.now, format)),
                      serviceLine(r, format), cyclesLine(r, format)};
    if (r.importFolderError.isEmpty()) {
        QString waiting = u"Order files waiting: %1"_s.arg(r.orderFilesWaiting);
        if (r.oldestOrderFile.isValid())
            waiting += u", the oldest written "_s + shownTime(r.oldestOrderFile, format, r.now);
        lines << waiting;
    }
    lines << u"Order files failed today (EinleseFehler): %1"_s.arg(r.failedFilesToday);
    if (r.failedFilesWaiting > 0)
        lines << u"Failed order files waiting for EinleseFehler: %1"_s.arg(r.failedFilesWaiting);
    if (r.database.isEmpty()) {
        lines << u"Database: cannot be reached"_s;
    } else {
        lines << u"Database: connected to "_s + r.database;
        if (r.databaseError.isEmpty())
            lines << queueLine(r, format);
    }
    const QStringList reasons = JudgeHealth(r);
    for (const QString& reason : reasons)
        lines << u"Attention: "_s + reason;
    lines << (reasons.isEmpty() ? u"Healthy"_s : u"Needs attention"_s);
    return lines;
}

} // namespace kestrin
