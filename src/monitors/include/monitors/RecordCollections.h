#pragma once

#include "monitors/AnalyserRecords.h"

#include <memory>
#include <vector>

namespace kestrin {

// Throws the ProgramError of a position outside 1..count.
[[noreturn]] void ThrowNoRecordAt(int position, int count);

// Records in the order they were added, at positions 1 to Count(). Records are shared: one
// taken from the list stays valid however long its holder keeps it, whatever the list does.
template <class Record> class RecordList {
public:
    using Pointer = std::shared_ptr<Record>;

    // The record at a position; any position outside 1..Count() throws a ProgramError.
    Pointer Item(int position) const { return m_records[index(position)]; }
    int Count() const { return int(m_records.size()); }
    void Remove(int position) { m_records.erase(m_records.begin() + index(position)); }
    void Clear() { m_records.clear(); }

    auto begin() const { return m_records.cbegin(); }
    auto end() const { return m_records.cend(); }

protected:
    Pointer append(Record record)
    {
        auto shared = std::make_shared<Record>(std::move(record));
        m_records.push_back(shared);
        return shared;
    }

private:
    std::ptrdiff_t index(int position) const
    {
        if (position < 1 || position > Count())
            ThrowNoRecordAt(position, Count());
        return position - 1;
    }

    std::vector<Pointer> m_records;
};

class orders : public RecordList<Order> {
public:
    // A new record at the end; vntIndexKey stays empty.
    Pointer Add(const QString& recordType, const QString& sequenceNr, const QString& sampleId,
                const QString& instrSampleId, const QString& testId);
};

class Patients : public RecordList<Patient> {
public:
    // A new record at the end; vntIndexKey, PatBirth, PatSex and SenderID stay empty.
    Pointer Add(const QString& recordType, const QString& sequenceNr, const QString& patId1, const QString& sampleId,
                const QString& patId2, const QString& patName);
};

class results : public RecordList<Result> {
public:
    // A new record at the end; Noname1 to Noname4 stay empty.
    Pointer Add(const QString& recordType, const QString& sequenceNr, const QString& testId, const QString& result,
                const QString& units, const QString& refRanges, const QString& resultFlags, const QString& resultStatus,
                const QString& datum, const QString& analyzerId);
};

} // namespace kestrin
