#pragma once

#include "entrystation/EntryRules.h"

#include <QString>

#include <array>

namespace kestrin {

// One row of the history under the input boxes.
struct HistoryRow {
    bool inUse = false;     // shown; a blanked row stays in use and moves down with the others
    QString sampleId;       // as typed
    QString result;         // as typed, decimal comma and all
    QString storedSampleId; // the sample ID as stored, what a delete removes
    bool markerShown = false;
    HistoryColour colour;

    // A row a delete can take back: it shows a sample ID.
    bool deletable() const { return inUse && !sampleId.trimmed().isEmpty(); }
};

// The eight most recent entries of the session, row 0 the newest.
class EntryHistory {
public:
    static constexpr int kRows = 8;

    const HistoryRow& row(int index) const { return m_rows.at(std::size_t(index)); }

    // Moves the rows in use down one row (the eighth drops off) and shows the entry in row 0.
    void push(const QString& sampleId, const QString& result, const QString& storedSampleId);
    // Colours the result of every row in use; `lowCutoff` as ColourHistoryResult takes it.
    void recolour(std::optional<double> lowCutoff);
    // Empties a row after its delete: no texts, no colour, no marker, still in use.
    void blank(int index);
    // No row in use, as after loading.
    void clear();

private:
    std::array<HistoryRow, kRows> m_rows;
};

} // namespace kestrin
