#include "monitors/RecordCollections.h"

#include "core/Error.h"

using namespace Qt::StringLiterals;

namespace kestrin {

void ThrowNoRecordAt(int position, int count)
{
    throw ProgramError(u"There is no record at position %1; the list holds %2."_s.arg(position).arg(count));
}

orders::Pointer orders::Add(const QString& recordType, const QString& sequenceNr, const QString& sampleId,
                            const QString& instrSampleId, const QString& testId)
{
    return append({{}, recordType, sequenceNr, sampleId, instrSampleId, testId});
}

Patients::Pointer Patients::Add(const QString& recordType, const QString& sequenceNr, const QString& patId1,
                                const QString& sampleId, const QString& patId2, const QString& patName)
{
    return append({{}, recordType, sequenceNr, patId1, sampleId, patId2, patName, {}, {}, {}});
}

results::Pointer results::Add(const QString& recordType, const QString& sequenceNr, const QString& testId,
                              const QString& result, const QString& units, const QString& refRanges,
                              const QString& resultFlags, const QString& resultStatus, const QString& datum,
                              const QString& analyzerId)
{
    const QString empty; // Noname1 to Noname4
    return append({recordType, sequenceNr, testId, result, units, refRanges, resultFlags, empty, resultStatus, empty,
                   empty, empty, datum, analyzerId});
}

} // namespace kestrin
