#include "entrystation/ValidationRanges.h"

#include "core/Numbers.h"

namespace kestrin {

namespace {

bool isNumberType(const QVariant& value)
{
    switch (value.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return true;
    default:
        return false;
    }
}

bool truthOf(const QVariant& value)
{
    if (value.isNull())
        return false;
    if (value.metaType().id() == QMetaType::Bool)
        return value.toBool();
    const auto number = BoundNumber(value);
    return number && *number != 0;
}

template <typename T> int threeWay(T a, T b) { return a < b ? -1 : (b < a ? 1 : 0); }

// A server pads the shorter text with blanks before it compares.
QStringView withoutTrailingBlanks(const QString& text)
{
    QStringView view(text);
    while (view.endsWith(u' '))
        view.chop(1);
    return view;
}

} // namespace

std::optional<double> BoundNumber(const QVariant& value)
{
    if (value.isNull())
        return std::nullopt;
    if (isNumberType(value))
        return value.toDouble();
    return ParseNumber(value.toString());
}

RangeFit FitInRange(const QString& result, const QVariant& from, const QVariant& to)
{
    const std::optional<double> number = ParseNumber(result);
    bool comparable = true;
    // Below 0: the result lies below the bound; none: the bound holds nothing.
    const auto order = [&](const QVariant& bound) -> std::optional<int> {
        if (bound.isNull())
            return std::nullopt;
        if (isNumberType(bound)) {
            comparable = comparable && number.has_value();
            return number ? std::optional<int>(threeWay(*number, bound.toDouble())) : std::nullopt;
        }
        const QString text = bound.toString();
        if (const std::optional<double> boundNumber = ParseNumber(text); number && boundNumber)
            return threeWay(*number, *boundNumber);
        return threeWay(QStringView(result).compare(withoutTrailingBlanks(text), Qt::CaseInsensitive), 0);
    };
    const std::optional<int> fromOrder = order(from);
    const std::optional<int> toOrder = order(to);
    if (!comparable)
        return RangeFit::Incomparable;
    return fromOrder && toOrder && *fromOrder >= 0 && *toOrder <= 0 ? RangeFit::Inside : RangeFit::Outside;
}

RangeFinding FindInRanges(const QString& result, const QList<ValidationRange>& ranges)
{
    RangeFinding found;
    bool suspiciousFound = false;
    bool interpretationFound = false;
    for (const ValidationRange& range : ranges) {
        const RangeFit fit = FitInRange(result, range.from, range.to);
        if (fit == RangeFit::Incomparable)
            return {false, {}, {}, false};
        if (fit == RangeFit::Outside)
            continue;
        if (!suspiciousFound) {
            found.suspicious = truthOf(range.suspicious);
            suspiciousFound = true;
        }
        if (!interpretationFound && range.interpreted) {
            found.value = range.value;
            found.valueArab = range.valueArab;
            interpretationFound = true;
        }
    }
    return found;
}

} // namespace kestrin
