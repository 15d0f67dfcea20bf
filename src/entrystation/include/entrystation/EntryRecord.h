#pragma once

#include "entrystation/EntryRules.h"

#include <QString>

#include <functional>
#include <optional>

namespace kestrin {

// The entry being stored: filled from the input boxes just before storing, emptied right after.
struct EntryRecord {
    QString SampleId; // the sample ID box, trimmed
    qint16 ParameterId = 0;
    QString ResultText; // the result box, trimmed, decimal commas as points
    QString Interpretation;
    QString InterpretationArab;
    bool Suspicious = false;
    QString AnalyzerId;   // the station
    QString Validator;    // the user, trimmed
    QString AnalyzerUser; // station, "_", user

    bool operator==(const EntryRecord&) const = default;
};

EntryRecord FillEntryRecord(const QString& sampleIdText, const QString& resultText, qint16 parameterId,
                            const QString& stationId, const QString& user);

void ClearEntryRecord(EntryRecord& entry);

// A typed text as a message quotes it: a long scan cut short, so that the message fits the window.
QString Shortened(const QString& text);

// The most characters a text column takes; none when it takes any length.
using ColumnRoom = std::function<std::optional<int>(const QString& table, const QString& column)>;

// Why an entry cannot be stored on its path as it is (no sample ID, a value longer than a
// column it goes to, `room` telling the sizes), in words for the station's status line; empty
// when it can.
QString EntryProblem(const EntryRecord& entry, StoragePath path, const QString& sessionTable, const ColumnRoom& room);

} // namespace kestrin
