#pragma once

#include <QList>
#include <QVariant>

namespace kestrin {
class Database;
}

namespace kestrin::test {

// Analyser AN1 measures parameters 1 and 4, analyser AN2 parameter 8.
void SeedAnalysers(Database& db);

// A sample of a patient of its own, with one request per parameter. A null name part is
// stored as NULL.
void AddSample(Database& db, const QString& sampleId, const QVariant& surname, const QVariant& forename,
               const QList<int>& parameters);

// Samples "S0000", "S0001", ... with a request for parameter 1 each, in one transaction.
void AddSamples(Database& db, int count, int first = 0);

void AddControl(Database& db, const QString& controlId, const QString& name);

} // namespace kestrin::test
