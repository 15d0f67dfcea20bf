#include "entrystation/EntryHistory.h"

namespace kestrin {

void EntryHistory::push(const QString& sampleId, const QString& result, const QString& storedSampleId)
{
    for (std::size_t i = kRows - 1; i > 0; --i) {
        if (m_rows[i - 1].inUse) {
            m_rows[i] = m_rows[i - 1];
            m_rows[i].markerShown = true;
        }
    }
    m_rows[0] = HistoryRow{true, sampleId, result, storedSampleId, true, {}};
}

void EntryHistory::recolour(std::optional<double> lowCutoff)
{
    for (HistoryRow& row : m_rows) {
        if (row.inUse)
            row.colour = ColourHistoryResult(row.result.trimmed(), lowCutoff);
    }
}

void EntryHistory::blank(int index)
{
    HistoryRow& row = m_rows.at(std::size_t(index));
    row.sampleId.clear();
    row.result.clear();
    row.storedSampleId.clear();
    row.markerShown = false;
    row.colour = {};
}

void EntryHistory::clear() { m_rows = {}; }

} // namespace kestrin
