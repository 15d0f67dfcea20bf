#include "StationSeed.h"

#include "labdb/Database.h"

using namespace Qt::StringLiterals;

namespace kestrin::test {

void SeedAnalysers(Database& db)
{
    for (const auto& [parameter, analyzer] : {std::pair{1, u"AN1"_s}, {4, u"AN1"_s}, {8, u"AN2"_s}})
        db.exec(u"INSERT INTO param2channel (parameter_id, analyzer_id, channel_id) VALUES (?, ?, ?)"_s,
                {parameter, analyzer, parameter});
}

void AddSample(Database& db, const QString& sampleId, const QVariant& surname, const QVariant& forename,
               const QList<int>& parameters)
{
    const QString siId = u"SI-"_s + sampleId;
    db.exec(u"INSERT INTO PATIENTS (SI_ID, SURNAME, FORENAME) VALUES (?, ?, ?)"_s, {siId, surname, forename});
    const QVariant patient = db.first(u"SELECT P_ID FROM PATIENTS WHERE SI_ID = ?"_s, {siId})->value(u"P_ID");
    db.exec(u"INSERT INTO SAMPLE_BASE (SAMPLE_ID, SI_ID, P_ID) VALUES (?, ?, ?)"_s, {sampleId, siId, patient});
    for (const int parameter : parameters)
        db.exec(u"INSERT INTO REQUEST (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s, {sampleId, parameter});
}

void AddSamples(Database& db, int count, int first)
{
    Transaction transaction(db);
    for (int i = first; i < first + count; ++i)
        AddSample(db, u"S%1"_s.arg(i, 4, 10, QChar(u'0')), u"Surname%1"_s.arg(i), u"Forename%1"_s.arg(i), {1});
    transaction.commit();
}

void AddControl(Database& db, const QString& controlId, const QString& name)
{
    db.exec(u"INSERT INTO control_base (control_id, name) VALUES (?, ?)"_s, {controlId, name});
}

} // namespace kestrin::test
