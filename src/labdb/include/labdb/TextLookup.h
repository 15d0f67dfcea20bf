#pragma once

#include <QHash>
#include <QList>
#include <QString>

namespace kestrin {

class Database;

// The caption text of a key in the configured language; English when that text is empty or
// when no language (or one the table has no column for) is configured; "@N/A" when there is
// neither (no row, an empty English text).
QString LookupText(Database& db, const QString& language, qint32 key);

// The captions of several keys at once (a window's), by the same rules: one query for all
// of them, and every key asked for is in the result.
QHash<qint32, QString> LookupTexts(Database& db, const QString& language, const QList<qint32>& keys);

} // namespace kestrin
