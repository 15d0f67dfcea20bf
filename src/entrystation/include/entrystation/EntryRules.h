#pragma once

#include <QString>

#include <optional>

namespace kestrin {

// True when the text holds none of \ blank * $ § ' . Unlike IsCleanText, "+" is allowed:
// "+" is a result.
bool IsCleanResult(QStringView text);

// The command words both input boxes take instead of data.
enum class CommandWord { None, Esc, Cls, End, Del, Pic };

struct Command {
    CommandWord word = CommandWord::None;
    // DEL: the history row, DEL1 the top row 0 to DEL8 row 7; -1 when the fourth character
    // names no row (DEL9, DELx).
    int row = -1;
    QString rowName; // DEL: the fourth character as typed
};

// What a delete of a history row that shows no entry says; `row` as the worker named it.
QString NoHistoryEntryText(const QString& row);

// The first three characters, case-sensitively ("ESCAPE" is ESC). DEL counts only in a text of
// exactly four characters, so "DEL" alone and "DELETE" are ordinary texts.
Command ParseCommandWord(QStringView text);

// The switch /autoval as a truth value: a number other than 0. Empty is 0; start-up refuses
// a value that is no number.
bool AutovalidationOn(const QString& autoVal);

// Whether a sample ID is a control ID: it matches one of the masks of ControlIdMask, separated
// by ";" ("?" stands for any character). No mask, no control ID.
bool IsControlId(const QString& sampleId, const QString& controlIdMask);

// Where an entry goes: the control results alone, or a raw record and then the validated
// results or the station's work table.
enum class StoragePath { Control, Validated, SessionTable };
StoragePath ChooseStoragePath(const QString& sampleId, const QString& controlIdMask, bool autovalidation);

// How a history row shows its result.
struct HistoryColour {
    bool redBackground = false; // below -1
    bool redText = false;       // below the lowest upper bound of the suspicious ranges
    bool operator==(const HistoryColour&) const = default;
};

// The colour of a result caption as typed; `lowCutoff` is the lowest upper bound of the
// parameter's suspicious ranges, if it has any. A caption that is no number counts as 0.
HistoryColour ColourHistoryResult(const QString& caption, std::optional<double> lowCutoff);

// "Parameter: " with the number as older versions wrote it (a blank before a number of 0
// or more), " / " and the parameter's long name.
QString ParameterLogLine(qint16 parameter, const QString& longName);

} // namespace kestrin
