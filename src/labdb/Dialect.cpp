#include "labdb/Dialect.h"

#include "core/Error.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace kestrin {

bool IsIdentifier(const QString& text)
{
    static const QRegularExpression identifier(u"^[A-Za-z_][A-Za-z0-9_]*$"_s);
    return identifier.match(text).hasMatch();
}

QString Placeholders(qsizetype count) { return QStringList(count, u"?"_s).join(u", "); }

QString Dialect::quote(const QString& identifier) const
{
    if (!IsIdentifier(identifier))
        throw ProgramError(u"\"%1\" is no valid name for a table or column."_s.arg(identifier));
    return quoteIdentifier(identifier);
}

QString Dialect::insertReturning(const QString& table, const QStringList& columns, const QString& returned) const
{
    return u"INSERT INTO %1 (%2) VALUES (%3) RETURNING %4"_s.arg(table, columns.join(u", "),
                                                                 Placeholders(columns.size()), returned);
}

QString Dialect::insertRowsReturning(const QString& table, const QStringList& columns, int rows,
                                     const QStringList& returned) const
{
    const QString row = u'(' + Placeholders(columns.size()) + u')';
    return u"INSERT INTO %1 (%2) VALUES %3 RETURNING %4"_s.arg(
        table, columns.join(u", "), QStringList(rows, row).join(u", "), returned.join(u", "));
}

QString Dialect::insertUnlessPresent(const QString& table, const QStringList& columns, const QStringList&) const
{
    return u"INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT DO NOTHING"_s.arg(table, columns.join(u", "),
                                                                           Placeholders(columns.size()));
}

QString Dialect::columnType(ColumnType type, int size) const
{
    const ColumnTypeNames& names = m_columnTypes;
    switch (type) {
    case ColumnType::Text:
        return names.text.toString().arg(size);
    case ColumnType::Integer:
        return names.integer.toString();
    case ColumnType::Real:
        return names.real.toString();
    case ColumnType::DateTime:
        return names.dateTime.toString();
    case ColumnType::Boolean:
        return names.boolean.toString();
    case ColumnType::Identity:
        return names.identity.toString();
    }
    return {};
}

QString Dialect::savepoint(const QString& name) const { return u"SAVEPOINT "_s + quote(name); }

bool Dialect::refusesData(const QString& code) const { return code.startsWith(u"22"_s) || code.startsWith(u"23"_s); }

QString Dialect::pageClause() const { return u"OFFSET ? ROWS FETCH NEXT ? ROWS ONLY"_s; }

QString Dialect::scriptStatementEnd() const { return u";\n"_s; }

} // namespace kestrin
