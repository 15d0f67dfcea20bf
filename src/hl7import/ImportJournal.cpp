#include "hl7import/ImportJournal.h"

#include "labdb/Database.h"
#include "labdb/Schema.h"

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {
const QString kTable = u"KESTRIN_IMPORTS"_s;
} // namespace

void RequireImportJournal(Database& db) { RequireTables(db, {kTable}); }

QVariantList ImportedRow(const QString& claimName, const QString& fileName, const QDateTime& now)
{
    return {claimName, fileName.left(ColumnSize(kTable, u"FILE_NAME")), now};
}

void RecordImported(Database& db, const QList<QVariantList>& rows)
{
    db.insertRows(kTable, {u"CLAIM_NAME"_s, u"FILE_NAME"_s, u"STORED_AT"_s}, rows);
}

bool WasImported(Database& db, const QString& claimName)
{
    return db.first(u"SELECT CLAIM_NAME FROM KESTRIN_IMPORTS WHERE CLAIM_NAME = ?"_s, {claimName}).has_value();
}

void ForgetImportedBefore(Database& db, const QDateTime& before)
{
    db.exec(u"DELETE FROM KESTRIN_IMPORTS WHERE STORED_AT < ?"_s, {before});
}

} // namespace kestrin
