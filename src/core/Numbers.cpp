#include "core/Numbers.h"

#include <QString>

#include <cmath>
#include <limits>

namespace kestrin {

double LeadingNumber(QStringView text)
{
    QString compact;
    compact.reserve(text.size());
    for (QChar c : text) {
        if (c != u' ' && c != u'\t' && c != u'\n')
            compact.append(c);
    }
    qsizetype end = 0;
    const auto digitsFrom = [&](qsizetype i) {
        while (i < compact.size() && compact.at(i).isDigit() && compact.at(i).unicode() < 128)
            ++i;
        return i;
    };
    if (end < compact.size() && (compact.at(end) == u'+' || compact.at(end) == u'-'))
        ++end;
    const qsizetype intStart = end;
    end = digitsFrom(end);
    bool anyDigit = end > intStart;
    if (end < compact.size() && compact.at(end) == u'.') {
        const qsizetype fracEnd = digitsFrom(end + 1);
        anyDigit = anyDigit || fracEnd > end + 1;
        end = fracEnd;
    }
    if (!anyDigit)
        return 0;
    if (end < compact.size()) {
        const QChar e = compact.at(end).toUpper();
        if (e == u'E' || e == u'D') {
            qsizetype expEnd = end + 1;
            if (expEnd < compact.size() && (compact.at(expEnd) == u'+' || compact.at(expEnd) == u'-'))
                ++expEnd;
            const qsizetype expDigitsEnd = digitsFrom(expEnd);
            if (expDigitsEnd > expEnd) {
                compact[end] = u'e';
                end = expDigitsEnd;
            }
        }
    }
    return compact.left(end).toDouble();
}

double RoundHalfEven(double value)
{
    const double floor = std::floor(value);
    const double diff = value - floor;
    if (diff < 0.5)
        return floor;
    if (diff > 0.5)
        return floor + 1;
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

std::optional<double> ParseNumber(QStringView text)
{
    QString trimmed = text.trimmed().toString();
    if (trimmed.isEmpty())
        return std::nullopt;
    if (!trimmed.contains(u'.'))
        trimmed.replace(u',', u'.');
    bool ok = false;
    const double value = trimmed.toDouble(&ok);
    if (!ok || !std::isfinite(value))
        return std::nullopt;
    return value;
}

namespace {
template <typename Int> std::optional<Int> toWhole(QStringView text)
{
    const auto number = ParseNumber(text);
    if (!number)
        return std::nullopt;
    const double rounded = RoundHalfEven(*number);
    if (rounded < double(std::numeric_limits<Int>::min()) || rounded > double(std::numeric_limits<Int>::max()))
        return std::nullopt;
    return static_cast<Int>(rounded);
}
} // namespace

std::optional<qint16> ToInt16(QStringView text) { return toWhole<qint16>(text); }
std::optional<qint32> ToInt32(QStringView text) { return toWhole<qint32>(text); }

} // namespace kestrin
