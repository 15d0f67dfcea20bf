#pragma once

#include <QSharedPointer>
#include <QStringList>
#include <QVariant>

namespace kestrin {

// One row of a query result, read by column name without regard to case.
class Row {
public:
    Row(QSharedPointer<const QStringList> columns, QVariantList values);

    // The value of a column; a name the query did not select throws a DbError.
    QVariant value(QStringView column) const;
    bool isNull(QStringView column) const { return value(column).isNull(); }
    // The value as text, empty for NULL.
    QString text(QStringView column) const;
    // The value as a date and time, whether the driver gives one or its text form.
    QDateTime dateTime(QStringView column) const;

    QVariant at(qsizetype index) const { return m_values.at(index); }
    qsizetype size() const { return m_values.size(); }

private:
    QSharedPointer<const QStringList> m_columns;
    QVariantList m_values;
};

} // namespace kestrin
