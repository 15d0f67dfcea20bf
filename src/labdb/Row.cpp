#include "labdb/Row.h"

#include "core/Error.h"

#include <QDateTime>

using namespace Qt::StringLiterals;

namespace kestrin {

Row::Row(QSharedPointer<const QStringList> columns, QVariantList values)
    : m_columns(std::move(columns))
    , m_values(std::move(values))
{
}

QVariant Row::value(QStringView column) const
{
    for (qsizetype i = 0; i < m_columns->size(); ++i) {
        if (m_columns->at(i).compare(column, Qt::CaseInsensitive) == 0)
            return m_values.at(i);
    }
    throw ProgramError(u"The result has no column %1 (it has %2)."_s.arg(column.toString(), m_columns->join(u", ")));
}

QString Row::text(QStringView column) const
{
    const QVariant v = value(column);
    return v.isNull() ? QString() : v.toString();
}

QDateTime Row::dateTime(QStringView column) const
{
    const QVariant v = value(column);
    if (v.isNull())
        return {};
    if (v.metaType().id() == QMetaType::QDateTime)
        return v.toDateTime();
    if (v.metaType().id() == QMetaType::QDate)
        return QDateTime(v.toDate(), QTime(0, 0));
    // The embedded database keeps dates as 'YYYY-MM-DD HH:MM:SS' text.
    const QString text = v.toString().trimmed();
    for (const QString& format : {u"yyyy-MM-dd HH:mm:ss"_s, u"yyyy-MM-dd HH:mm:ss.zzz"_s, u"yyyy-MM-ddTHH:mm:ss"_s,
                                  u"yyyy-MM-ddTHH:mm:ss.zzz"_s, u"yyyy-MM-dd HH:mm"_s, u"yyyy-MM-dd"_s}) {
        const QDateTime parsed = QDateTime::fromString(text, format);
        if (parsed.isValid())
            return parsed;
    }
    return {};
}

} // namespace kestrin
