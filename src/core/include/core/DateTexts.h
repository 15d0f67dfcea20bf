#pragma once

#include "core/RegionalFormat.h"

#include <QDateTime>

#include <optional>

namespace kestrin {

// 30 December 1899 00:00, the date value 0.
QDateTime ZeroDate();
// 1 January 1900 00:00, which stands for a missing or unreadable date.
QDateTime DefaultDate();

// The date and time as text: the short date, one blank, the time.
QString NowText(const QDateTime& now, const RegionalFormat& format);

// A text that is a date in the regional short date format, alone or followed by a time
// (hours and minutes, seconds optional, an AM/PM marker optional).
std::optional<QDateTime> ParseRegionalDateTime(const QString& text, const RegionalFormat& format);

// The compact form yyyymmdd hh:mm:ss written into the database. Text that is empty or is
// no date comes back unchanged; a date without time gives the eight digits alone. A
// 12-hour time comes back as a two-digit 24-hour time, 12:xx AM as 00:xx.
QString ToDbDateTime(const QString& text, const RegionalFormat& format);

// dd.mm.yyyy or dd.mm.yyyy hh:mm: that date and time. A text of 10 or 16 characters
// without those separators gives ZeroDate(); every other text DefaultDate().
QDateTime ParseDisplayDateTime(const QString& text);

// yyyymmdd: that date; anything else DefaultDate()'s date.
QDate ParseCompactDate(const QString& text);

} // namespace kestrin
