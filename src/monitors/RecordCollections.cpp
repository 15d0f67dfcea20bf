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
    Order record;
    record.RecordType = recordType;
    record.SequenceNr = sequenceNr;
    record.SampleID = sampleId;
    record.InstrSampleID = instrSampleId;
    record.TestID = testId;
    return append(std::move(record));
}

Patients::Pointer Patients::Add(const QString& recordType, const QString& sequenceNr, const QString& patId1,
                                const QString& sampleId, const QString& patId2, const QString& patName)
{
    Patient record;
    record.RecordType = recordType;
    record.SequenceNr = sequenceNr;
    record.PatID1 = patId1;
    record.SampleID = sampleId;
    record.PatID2 = patId2;
    record.PatName = patName;
    return append(std::move(record));
}

results::Pointer results::Add(const QString& recordType, const QString& sequenceNr, const QString& testId,
                              const QString& result, const QString& units, const QString& refRanges,
                              const QString& resultFlags, const QString& resultStatus, const QString& datum,
                              const QString& analyzerId)
{
    Result record;
    record.RecordType = recordType;
    record.SequenceNr = sequenceNr;
    record.TestID = testId;
    record.Result = result;
    record.Units = units;
    record.RefRanges = refRanges;
    record.ResultFlags = resultFlags;
    record.ResultStatus = resultStatus;
    record.Datum = datum;
    record.AnalyzerID = analyzerId;
    return append(std::move(record));
}

} // namespace kestrin
