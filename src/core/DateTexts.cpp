#include "core/DateTexts.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// Qt's "d" and "M" accept one or two digits when parsing, as people type dates.
QString lenient(QString format)
{
    format.replace(u"dd"_s, u"d"_s);
    format.replace(u"MM"_s, u"M"_s);
    return format;
}

std::optional<QDate> parseRegionalDate(const QString& text, const RegionalFormat& format)
{
    for (const QString& f : {format.shortDate, lenient(format.shortDate)}) {
        const QDate date = QDate::fromString(text, f);
        if (date.isValid())
            return date;
    }
    return std::nullopt;
}

bool isMeridiem(const QString& piece)
{
    return piece.compare(u"AM"_s, Qt::CaseInsensitive) == 0 || piece.compare(u"PM"_s, Qt::CaseInsensitive) == 0;
}

std::optional<QTime> parseClock(const QString& text)
{
    for (const QString& f : {u"H:mm:ss"_s, u"H:mm"_s}) {
        const QTime time = QTime::fromString(text, f);
        if (time.isValid())
            return time;
    }
    return std::nullopt;
}

QString twoDigits(int value) { return u"%1"_s.arg(value, 2, 10, QChar(u'0')); }

bool allDigits(QStringView text)
{
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return false;
    }
    return !text.isEmpty();
}

} // namespace

QDateTime ZeroDate() { return QDateTime(QDate(1899, 12, 30), QTime(0, 0)); }
QDateTime DefaultDate() { return QDateTime(QDate(1900, 1, 1), QTime(0, 0)); }

QString NowText(const QDateTime& now, const RegionalFormat& format)
{
    return now.date().toString(format.shortDate) + u' ' + now.time().toString(format.time);
}

std::optional<QDateTime> ParseRegionalDateTime(const QString& text, const RegionalFormat& format)
{
    // The short date itself may hold blanks (d MMM yyyy), so try the whole text first.
    if (const auto date = parseRegionalDate(text, format))
        return QDateTime(*date, QTime(0, 0));
    const QDateTime whole = QDateTime::fromString(text, format.shortDate + u' ' + format.time);
    if (whole.isValid())
        return whole;

    QStringList pieces = text.split(u' ');
    if (pieces.size() < 2)
        return std::nullopt;
    const auto date = parseRegionalDate(pieces.takeFirst(), format);
    if (!date)
        return std::nullopt;
    std::optional<QString> meridiem;
    if (pieces.size() == 2 && isMeridiem(pieces.last()))
        meridiem = pieces.takeLast().toUpper();
    if (pieces.size() != 1)
        return std::nullopt;
    auto time = parseClock(pieces.first());
    if (!time)
        return std::nullopt;
    if (meridiem) {
        const int hour = time->hour();
        if (hour < 1 || hour > 12)
            return std::nullopt;
        const int hour24 = (hour % 12) + (*meridiem == u"PM" ? 12 : 0);
        time = QTime(hour24, time->minute(), time->second());
    }
    return QDateTime(*date, *time);
}

QString ToDbDateTime(const QString& text, const RegionalFormat& format)
{
    if (text.isEmpty())
        return text;
    const auto parsed = ParseRegionalDateTime(text, format);
    if (!parsed)
        return text;
    const QDate date = parsed->date();
    const QString datePart = QString::number(date.year()) + twoDigits(date.month()) + twoDigits(date.day());

    const QStringList pieces = text.split(u' ');
    if (pieces.size() == 1 || !parseClock(pieces.at(1)))
        return datePart;
    if (isMeridiem(pieces.last())) {
        const QTime time = parsed->time();
        const QStringList clock = pieces.at(1).split(u':');
        QString result = datePart + u' ' + twoDigits(time.hour()) + u':' + clock.value(1);
        if (clock.size() > 2)
            result += u':' + clock.at(2).left(2);
        return result;
    }
    return datePart + u' ' + pieces.at(1);
}

QDateTime ParseDisplayDateTime(const QString& text)
{
    const qsizetype length = text.size();
    if (length != 10 && length != 16)
        return DefaultDate();
    const bool dateShape = text.at(2) == u'.' && text.at(5) == u'.';
    const bool timeShape = length == 10 || (text.at(10) == u' ' && text.at(13) == u':');
    if (!dateShape || !timeShape)
        return ZeroDate();
    const QStringView t(text);
    if (!allDigits(t.mid(0, 2)) || !allDigits(t.mid(3, 2)) || !allDigits(t.mid(6, 4)))
        return DefaultDate();
    const QDate date(t.mid(6, 4).toInt(), t.mid(3, 2).toInt(), t.mid(0, 2).toInt());
    QTime time(0, 0);
    if (length == 16) {
        if (!allDigits(t.mid(11, 2)) || !allDigits(t.mid(14, 2)))
            return DefaultDate();
        time = QTime(t.mid(11, 2).toInt(), t.mid(14, 2).toInt());
    }
    if (!date.isValid() || !time.isValid())
        return DefaultDate();
    return QDateTime(date, time);
}

QDate ParseCompactDate(const QString& text)
{
    if (text.size() != 8 || !allDigits(text))
        return DefaultDate().date();
    const QStringView t(text);
    const QDate date(t.mid(0, 4).toInt(), t.mid(4, 2).toInt(), t.mid(6, 2).toInt());
    return date.isValid() ? date : DefaultDate().date();
}

} // namespace kestrin
