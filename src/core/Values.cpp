#include "core/Values.h"

#include "core/Numbers.h"

#include <QDateTime>

namespace kestrin {

QString NullToText(const QVariant& value, const RegionalFormat& format)
{
    if (value.isNull())
        return {};
    switch (value.metaType().id()) {
    case QMetaType::QDateTime: {
        const QDateTime dt = value.toDateTime();
        const QString date = dt.date().toString(format.shortDate);
        return dt.time() == QTime(0, 0) ? date : date + u' ' + dt.time().toString(format.time);
    }
    case QMetaType::QDate:
        return value.toDate().toString(format.shortDate);
    case QMetaType::Double:
    case QMetaType::Float:
        return QString::number(value.toDouble(), 'g', 15).replace(u'.', format.decimalSeparator);
    default:
        return value.toString();
    }
}

float NumberOrZero(const QVariant& value)
{
    if (value.isNull())
        return 0;
    const auto number = ParseNumber(value.toString());
    return number ? static_cast<float>(*number) : 0.0f;
}

} // namespace kestrin
