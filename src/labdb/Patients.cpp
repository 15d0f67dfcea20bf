#include "labdb/Patients.h"

#include "labdb/Database.h"
#include "labdb/DbError.h"

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

bool patientOneExists(Database& db) { return db.first(u"SELECT P_ID FROM PATIENTS WHERE P_ID = 1"_s).has_value(); }

} // namespace

QString FindPatientBySiId(Database& db, const QVariant& siId)
{
    const bool none = siId.isNull() || siId.toString().isEmpty();
    const auto row = none ? db.first(u"SELECT P_ID FROM PATIENTS WHERE SI_ID IS NULL ORDER BY P_ID"_s)
                          : db.first(u"SELECT P_ID FROM PATIENTS WHERE SI_ID = ? ORDER BY P_ID"_s, {siId.toString()});
    return row ? row->text(u"P_ID") : QString();
}

void EnsurePatientOne(Database& db)
{
    if (patientOneExists(db))
        return;
    const Dialect& dialect = db.dialect();
    try {
        Transaction transaction(db);
        if (patientOneExists(db))
            return;
        for (const QString& statement : dialect.beforeFixedIdentityInsert(u"PATIENTS"_s))
            db.exec(statement);
        db.exec(u"INSERT INTO PATIENTS (P_ID, SI_ID, ENTRY_DATE) VALUES (?, ?, %1)"_s.arg(dialect.currentTime()),
                {1, u"NA"_s});
        for (const QString& statement : dialect.afterFixedIdentityInsert(u"PATIENTS"_s, u"P_ID"_s))
            db.exec(statement);
        db.exec(u"INSERT INTO QUORIX_LOG (time_stamp, log_key, log_val) VALUES (%1, ?, ?)"_s.arg(dialect.currentTime()),
                {u"Patient 1 insert"_s, u"Zelor_COM"_s});
        transaction.commit();
    } catch (const DbError&) {
        // Another station may have made it at the same moment.
        if (!patientOneExists(db))
            throw;
    }
}

} // namespace kestrin
