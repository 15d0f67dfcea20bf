#pragma once

#include <QString>

namespace kestrin {

class Database;

// The caption text of a key in the configured language, English when that is empty, and
// "@N/A" when there is neither (no row, an unknown language, an empty English text).
QString LookupText(Database& db, const QString& language, qint32 key);

} // namespace kestrin
