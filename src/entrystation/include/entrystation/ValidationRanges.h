#pragma once

#include <QList>
#include <QString>
#include <QVariant>

#include <optional>

namespace kestrin {

// A validation range as the database gives it: bounds of the type their columns have (numbers,
// or text in older databases), and its interpretation, if it names one that exists.
struct ValidationRange {
    QVariant from;
    QVariant to;
    QVariant suspicious;
    bool interpreted = false;
    QString value;
    QString valueArab;
};

// Whether a result lies in a range, compared as the laboratory's database compares a quoted
// result with the bounds of `V_from <= '…' and v_to >= '…'`: with a number bound as a number,
// a result that is no number failing the statement (Incomparable); with a text bound as text,
// ignoring case and trailing blanks, except that a result and a text bound that are both numbers
// compare as numbers ("10" lies above "9"). A NULL bound holds nothing.
enum class RangeFit { Inside, Outside, Incomparable };
RangeFit FitInRange(const QString& result, const QVariant& from, const QVariant& to);

// What the ranges make of a result: the first range that holds it decides the suspicious flag,
// the first that holds it and names an interpretation the texts. Not comparable when any
// range cannot compare it, as the database's statement then fails.
struct RangeFinding {
    bool comparable = true;
    QString value;
    QString valueArab;
    bool suspicious = false;
};
RangeFinding FindInRanges(const QString& result, const QList<ValidationRange>& ranges);

// A bound or cut-off as a number, whatever type the engine gives it; none for NULL and text
// that is no number.
std::optional<double> BoundNumber(const QVariant& value);

} // namespace kestrin
