#pragma once

#include <QDateTime>
#include <QString>
#include <QVariantList>

namespace kestrin {

class Database;

// Which claimed order files have their message stored. A file's row is written in the same
// transaction as its message, so that a claim found again after a crash tells whether the
// message is in the database (the file goes into "Done") or not (it is read again): every
// order is stored exactly once.

// Throws a ConfigurationError naming "/initdb" when the database lacks the journal's table: a
// cycle never creates it.
void RequireImportJournal(Database& db);
// The journal row of one stored file; rows are written together with RecordImported.
QVariantList ImportedRow(const QString& claimName, const QString& fileName, const QDateTime& now);
void RecordImported(Database& db, const QList<QVariantList>& rows);
bool WasImported(Database& db, const QString& claimName);
// Claims are settled within minutes; rows this old are no longer asked for.
void ForgetImportedBefore(Database& db, const QDateTime& before);

} // namespace kestrin
