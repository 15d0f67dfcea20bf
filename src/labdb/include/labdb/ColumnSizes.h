#pragma once

#include <QString>

#include <optional>

namespace kestrin {

class Database;

// The most characters a text column of the connected database takes, as its catalogue says;
// none when it takes text of any length (SQLite keeps whatever it is given). Where the engine
// cannot say, the size of Kestrin's schema. Throws a DbError when the catalogue cannot be read.
std::optional<int> TextColumnSize(Database& db, const QString& table, const QString& column);

} // namespace kestrin
