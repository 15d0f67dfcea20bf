#pragma once

#include <QList>
#include <QStringList>

#include <array>

namespace kestrin {

class Database;

// The control IDs offered for LOW, MED and HIGH, indexed by ControlLevel.
using ControlLists = std::array<QStringList, 3>;

// One sample of the analyser's list, as its tile shows it.
struct StationSample {
    QString sampleId;
    QString caption;
};

// The controls whose name holds LOW, MED or HIGH in any case (as the laboratory's server
// compares names), each level's in the order the database gives them.
ControlLists ReadControlLists(Database& db);

// The samples with at least one request, whatever its result, for a parameter that the
// analyser measures: their IDs, once each, in the order the database gives them. This is
// all a refresh reads when no sample is new.
QStringList ReadStationSampleIds(Database& db, const QString& analyzerId);

// The tiles of those samples that have their sample row and patient, in the order given;
// the others are left out until they have.
QList<StationSample> ReadStationSamples(Database& db, const QStringList& sampleIds);

// Surname, forename and sample ID with a blank between; a missing name part is empty.
QString SampleCaption(const QString& surname, const QString& forename, const QString& sampleId);

} // namespace kestrin
