#pragma once

#include <QString>

#include <optional>

namespace kestrin {

class Database;

// The most characters a text column of the connected database takes, as its catalogue says;
// none when a server's column takes text of any length. Where the catalogue gives no size (a
// table it does not list; on SQLite, which keeps any text, a column declared without a size or
// without a type) the column's size in `copyOf` read the same way, for a table made as a copy
// of it, else the size of Kestrin's schema. Throws a DbError when the catalogue cannot be read.
std::optional<int> TextColumnSize(Database& db, const QString& table, const QString& column,
                                  const QString& copyOf = {});

// The size in a declared column type as SQLite's catalogue keeps it: "VARCHAR(19)" 19,
// "nvarchar (50)" 50, "CHAR(1)" 1; none for a type that is not text or has no size
// ("TEXT", "INTEGER", "DECIMAL(10,2)", the empty type of an untyped column).
std::optional<int> DeclaredTextSize(const QString& declaredType);

} // namespace kestrin
