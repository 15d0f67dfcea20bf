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

QString Dialect::quote(const QString& identifier) const
{
    if (!IsIdentifier(identifier))
        throw ProgramError(u"\"%1\" is no valid name for a table or column."_s.arg(identifier));
    return quoteIdentifier(identifier);
}

QString Dialect::insertReturning(const QString& table, const QStringList& columns, const QString& returned) const
{
    return u"INSERT INTO %1 (%2) VALUES (%3) RETURNING %4"_s.arg(
        table, columns.join(u", "), QStringList(columns.size(), u"?"_s).join(u", "), returned);
}

QString Dialect::insertUnlessPresent(const QString& table, const QStringList& columns, const QStringList&) const
{
    return u"INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT DO NOTHING"_s.arg(
        table, columns.join(u", "), QStringList(columns.size(), u"?"_s).join(u", "));
}

QString Dialect::pageClause() const { return u"OFFSET ? ROWS FETCH NEXT ? ROWS ONLY"_s; }

QString Dialect::scriptStatementEnd() const { return u";\n"_s; }

} // namespace kestrin
