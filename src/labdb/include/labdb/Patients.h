#pragma once

#include <QVariant>

namespace kestrin {

class Database;

// The P_ID of the first patient with this SI_ID, as text; empty when there is none. An
// empty or null SI_ID looks for the patients without one.
QString FindPatientBySiId(Database& db, const QVariant& siId);

// Makes sure the placeholder patient 1 (SI_ID "NA") exists, for samples without patient
// data, and records its creation in quorix_log.
void EnsurePatientOne(Database& db);

} // namespace kestrin
