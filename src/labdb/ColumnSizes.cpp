#include "labdb/ColumnSizes.h"

#include "labdb/Database.h"
#include "labdb/Schema.h"

using namespace Qt::StringLiterals;

namespace kestrin {

std::optional<int> TextColumnSize(Database& db, const QString& table, const QString& column)
{
    if (!db.dialect().limitsTextLength())
        return std::nullopt;
    // The tables the connection's statements name: those of its own schema.
    if (const QString schema = db.dialect().connectionSchema(); !schema.isEmpty()) {
        const auto row = db.first(
            u"SELECT character_maximum_length AS size FROM information_schema.columns WHERE "
            u"table_schema = %1 AND lower(table_name) = lower(?) AND lower(column_name) = lower(?)"_s.arg(schema),
            {table, column});
        if (row) {
            // NULL for text without a limit, -1 for SQL Server's varchar(max).
            const int size = row->value(u"size").toInt();
            return size > 0 ? std::optional<int>(size) : std::nullopt;
        }
    }
    return ColumnSize(table, column);
}

} // namespace kestrin
