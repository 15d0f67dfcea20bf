#include "config/StartupChecks.h"

#include "config/CycleSchedule.h"
#include "core/DateTexts.h"
#include "core/Numbers.h"
#include "core/TextChecks.h"
#include "core/TextCodec.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

constexpr int kMaxPortNumber = 255;
constexpr double kSecondsPerHour = 3600;
// Of the 255 bytes a file name may have, a result file's leader and extension leave the rest
// to the sample ID (19 characters, 3 bytes each at most, and a suffix where it is changed) and
// to the suffix of the work file it is written as first.
constexpr qsizetype kMaxLeaderAndExtensionBytes = 120;

bool roundTrips(const RegionalFormat& format)
{
    const QDateTime sample(QDate(2019, 1, 20), QTime(14, 5, 3));
    const auto back = ParseRegionalDateTime(NowText(sample, format), format);
    return back && back->date() == sample.date() && back->time().hour() == 14 && back->time().minute() == 5;
}

void checkPort(QStringList& problems, const char16_t* switchName, const std::optional<double>& port)
{
    if (port && (*port < 1 || *port > kMaxPortNumber || *port != double(qint64(*port))))
        problems << u"Switch /%1: \"%2\" is no serial port number (1 to %3)."_s.arg(
            QStringView(switchName), PortText(port), QString::number(kMaxPortNumber));
}

} // namespace

QStringList StartupProblems(const AppConfig& c)
{
    QStringList problems;
    const QString where = c.IniFilePath.isEmpty() ? QString() : u" (INI file %1)"_s.arg(c.IniFilePath);
    const RegionalFormat format{c.ShortDateFormat, c.TimeFormat};

    // Shifts are counted in whole hours passed: a shorter one counts past any number.
    if (!(c.ShiftLength * kSecondsPerHour >= 1))
        problems << u"The key \"shiftlen\" gives a shift length of %1 hours; it must be at least one second%2."_s.arg(
            QString::number(c.ShiftLength), where);
    if (!ParseRegionalDateTime(c.FirstShift, format))
        problems << u"The key \"firstshift\" has the value \"%1\", which is no date and time in the format "
                    u"\"%2 %3\"%4."_s.arg(c.FirstShift, c.ShortDateFormat, c.TimeFormat, where);
    const qint64 importCutoff = CycleSchedule::ImportCutoff(c.ComputerName, c.ImportCycle);
    if (importCutoff > CycleSchedule::kMaxCutoff)
        problems << u"The key \"ImportCycle\" has the value %1 minutes; at most %2 are possible%3."_s.arg(
            QString::number(c.ImportCycle),
            QString::number(CycleSchedule::kMaxCutoff * CycleSchedule::kImportTickMs / 60000), where);
    const qint64 exportCutoff = CycleSchedule::ExportCutoff(c.ComputerName, c.ExportCycle);
    if (exportCutoff > CycleSchedule::kMaxCutoff)
        problems << u"The key \"ExportCycle\" has the value %1 seconds; at most %2 are possible%3."_s.arg(
            QString::number(c.ExportCycle),
            QString::number(CycleSchedule::kMaxCutoff * CycleSchedule::kExportTickMs / 1000), where);
    if (const qsizetype bytes = QFile::encodeName(c.ExportLeader + c.ExportExtension).size();
        bytes > kMaxLeaderAndExtensionBytes)
        problems << u"The keys \"ExportLeader\" and \"ExportExtension\" have %1 bytes together; a result file name "
                    u"leaves them at most %2%3."_s.arg(QString::number(bytes),
                                                       QString::number(kMaxLeaderAndExtensionBytes), where);
    if (!TextCodec::isKnown(c.Charset))
        problems << u"The key \"Charset\" has the value \"%1\", which is no character set Kestrin knows%2."_s.arg(
            c.Charset, where);
    const QString& separator = c.DecimalSeparator;
    if (separator.size() != 1 || !separator.at(0).isPrint() || separator.at(0).isDigit() || separator.at(0).isSpace() ||
        separator == u"-" || separator == u"+")
        problems << u"The key \"DecimalSeparator\" has the value \"%1\"; it must be one character that is no "
                    u"digit, sign or blank%2."_s.arg(separator, where);
    if (c.Engine == Engine::Sqlite) {
        if (const QString problem = PathProblem(c.DatabaseName); !problem.isEmpty())
            problems << u"The key \"database\" names no file a file system can hold: %1%2."_s.arg(problem, where);
    }
    if (!roundTrips(format))
        problems << u"The keys \"ShortDateFormat\" and \"TimeFormat\" (\"%1\", \"%2\") do not give dates that "
                    u"can be read back%3."_s.arg(c.ShortDateFormat, c.TimeFormat, where);
    if (!c.AutoVal.isEmpty() && !ParseNumber(c.AutoVal))
        problems << u"Switch /autoval: \"%1\" is no number (0 or empty: results go to the work table; any other "
                    u"number: they are validated at once)."_s.arg(c.AutoVal);
    checkPort(problems, u"com", c.ComPort);
    if (!c.OutType.isEmpty())
        checkPort(problems, u"outcom", c.OutPort);
    return problems;
}

QString PortText(const std::optional<double>& port) { return port ? QString::number(*port, 'g', 15) : QString(); }

QString TrayTipText(const QString& stationId, const std::optional<double>& comPort)
{
    constexpr qsizetype kVisibleTipLength = 63; // 64 characters with the closing NUL
    const QString tip = stationId + u"/Com:"_s + PortText(comPort).remove(u' ');
    return tip.left(kVisibleTipLength);
}

} // namespace kestrin
