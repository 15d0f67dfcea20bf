#pragma once

#include <QStringView>

#include <optional>

namespace kestrin {

// The value of the number a text begins with; blanks, tabs and line feeds anywhere are
// skipped, and a text that begins with no number gives 0 ("12ab" is 12, "ab" is 0).
double LeadingNumber(QStringView text);

// Rounds to the nearest integer, ties to the even one (2.5 gives 2, 3.5 gives 4).
double RoundHalfEven(double value);

// A whole text that is a number (blanks around it allowed), rounded half to even and
// checked against the range of the target type; nullopt when it is none or does not fit.
std::optional<qint16> ToInt16(QStringView text);
std::optional<qint32> ToInt32(QStringView text);

// A whole text that is a number, with "." or "," as the decimal separator.
std::optional<double> ParseNumber(QStringView text);

} // namespace kestrin
