#include "labdb/ColumnSizes.h"

#include "labdb/Database.h"
#include "labdb/Schema.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// What the catalogue itself says: a size, no limit, or nothing (the column or its size unknown).
struct CatalogueSize {
    bool known = false;
    std::optional<int> size;
};

CatalogueSize catalogueSize(Database& db, const QString& table, const QString& column)
{
    const Dialect& dialect = db.dialect();
    // The tables the connection's statements name: those of its own schema.
    if (const QString schema = dialect.connectionSchema(); !schema.isEmpty()) {
        const auto row = db.first(
            u"SELECT character_maximum_length AS size FROM information_schema.columns WHERE "
            u"table_schema = %1 AND lower(table_name) = lower(?) AND lower(column_name) = lower(?)"_s.arg(schema),
            {table, column});
        if (!row)
            return {};
        // NULL for text without a limit, -1 for SQL Server's varchar(max).
        const int size = row->value(u"size").toInt();
        return {true, size > 0 ? std::optional<int>(size) : std::nullopt};
    }
    if (const QString query = dialect.declaredTypeQuery(); !query.isEmpty()) {
        const auto row = db.first(query, {table, column});
        if (const auto size = row ? DeclaredTextSize(row->text(u"declared")) : std::nullopt)
            return {true, size};
    }
    return {};
}

} // namespace

std::optional<int> TextColumnSize(Database& db, const QString& table, const QString& column, const QString& copyOf)
{
    if (const CatalogueSize said = catalogueSize(db, table, column); said.known)
        return said.size;
    return copyOf.isEmpty() ? std::optional<int>(ColumnSize(table, column)) : TextColumnSize(db, copyOf, column);
}

std::optional<int> DeclaredTextSize(const QString& declaredType)
{
    // SQLite's own rule for a text column: the type names CHAR, CLOB or TEXT. The first number
    // in brackets is the size.
    static const QRegularExpression sized(u"^[^(]*(CHAR|CLOB|TEXT)[^(]*\\(\\s*(\\d{1,9})\\s*(,[^)]*)?\\)\\s*$"_s,
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = sized.match(declaredType);
    const int size = match.hasMatch() ? match.captured(2).toInt() : 0;
    return size > 0 ? std::optional<int>(size) : std::nullopt;
}

} // namespace kestrin
