#include "entrystation/EntryStore.h"

#include "FixedTexts.h"
#include "core/Error.h"
#include "labdb/Database.h"

#include <QMap>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// Empty fields are written as empty text, not NULL (Qt binds a null QString as NULL).
QVariant text(const QString& value) { return value.isNull() ? QVariant(u""_s) : QVariant(value); }

QString parameterText(qint16 parameterId) { return QString::number(parameterId); }

// "a = ? AND b = ?" for the columns of a written row.
QString matching(const QStringList& columns)
{
    QStringList conditions;
    for (const QString& column : columns)
        conditions << column + u" = ?"_s;
    return conditions.join(u" AND "_s);
}

// Adds the row just written, found again in the entry's transaction as the newest row with the
// values written (a twin of it is as good), with the second the database stamped it in.
void noteWritten(Database& db, WrittenRow row, WrittenRows& written)
{
    const auto newest =
        db.first(u"SELECT MAX(%1) AS stamped FROM %2 WHERE %3"_s.arg(row.timeColumn, row.table, matching(row.columns)),
                 row.values);
    const QDateTime stamped = newest ? newest->dateTime(u"stamped") : QDateTime();
    if (!stamped.isValid())
        throw ProgramError(u"The row just written into %1 has no time stamp to find it by."_s.arg(row.table));
    // Kept as the wall-clock reading the engines store: the second's end must not jump back an
    // hour where the clocks do.
    const QTime time = stamped.time();
    row.stampedSecond = QDateTime(stamped.date(), QTime(time.hour(), time.minute(), time.second()), Qt::UTC);
    written << row;
}

// The control, raw and work-table records: the ID, the parameter, the time, the result, and
// station and user; their log lines differ only in how they begin.
QString storeRecord(Database& db, const QString& table, const QString& idColumn, QStringView logLead,
                    const EntryRecord& entry, WrittenRows* written)
{
    const QVariantList values{text(entry.SampleId), int(entry.ParameterId), text(entry.ResultText),
                              text(entry.AnalyzerUser)};
    db.exec(u"INSERT INTO %1 (%2, parameter_id, time_stamp, result, analyzer_id) VALUES (?,?,%3,?,?)"_s.arg(
                table, idColumn, db.dialect().currentTime()),
            values);
    if (written)
        noteWritten(db,
                    {table, {idColumn, u"parameter_id"_s, u"result"_s, u"analyzer_id"_s}, values, u"time_stamp"_s, {}},
                    *written);
    return entrytexts::RecordLine(logLead, entry.SampleId, parameterText(entry.ParameterId), entry.ResultText,
                                  entry.AnalyzerUser);
}

} // namespace

QString StoreControlResult(Database& db, const EntryRecord& entry, WrittenRows& written)
{
    return storeRecord(db, u"control_results"_s, u"control_id"_s, entrytexts::kControlValueLead, entry, &written);
}

QString StoreRawResult(Database& db, const EntryRecord& entry)
{
    return storeRecord(db, u"RAW_RESULTS"_s, u"SAMPLE_ID"_s, entrytexts::kRawResultLead, entry, nullptr);
}

QString StoreSessionTableResult(Database& db, const EntryRecord& entry, const QString& sessionTable,
                                WrittenRows& written)
{
    return storeRecord(db, db.dialect().quote(sessionTable), u"SAMPLE_ID"_s, entrytexts::SessionTableLead(sessionTable),
                       entry, &written);
}

QString StoreValidatedResult(Database& db, EntryRecord& entry, WrittenRows& written)
{
    db.exec(u"DELETE FROM RESULTS WHERE SAMPLE_ID = ? AND PARAMETER_ID = ?"_s,
            {text(entry.SampleId), int(entry.ParameterId)});
    LookupInterpretation(db, entry);
    const QString now = db.dialect().currentTime();
    db.exec(u"INSERT INTO RESULTS (SAMPLE_ID, parameter_id, meas_time_stamp, val_time_stamp, result, interpretation, "
            u"interpretation_arab, suspicious, analyzer_id, r_validator) VALUES (?,?,%1,%1,?,?,?,?,?,?)"_s.arg(now),
            {text(entry.SampleId), int(entry.ParameterId), text(entry.ResultText), text(entry.Interpretation),
             text(entry.InterpretationArab), entry.Suspicious, text(entry.AnalyzerId), text(entry.Validator)});
    noteWritten(db,
                {u"RESULTS"_s,
                 {u"SAMPLE_ID"_s, u"parameter_id"_s, u"result"_s, u"analyzer_id"_s, u"r_validator"_s},
                 {text(entry.SampleId), int(entry.ParameterId), text(entry.ResultText), text(entry.AnalyzerId),
                  text(entry.Validator)},
                 u"meas_time_stamp"_s,
                 {}},
                written);
    return entrytexts::ValidatedResultLine(entry.SampleId, parameterText(entry.ParameterId), entry.ResultText,
                                           entry.Interpretation, entry.AnalyzerId, entry.Validator);
}

QList<ValidationRange> ReadValidationRanges(Database& db, qint16 parameterId)
{
    QList<ValidationRange> ranges;
    for (const Row& row : db.query(u"SELECT v.V_from, v.v_to, v.suspicious, i.ID AS interpretation_id, i.value, "
                                   u"i.value_arab FROM VALIDATION v LEFT JOIN interpretation i ON i.ID = "
                                   u"v.interpretation WHERE v.parameter_ID = ? AND v.nw_id = 2"_s,
                                   {int(parameterId)}))
        ranges << ValidationRange{.from = row.value(u"V_from"),
                                  .to = row.value(u"v_to"),
                                  .suspicious = row.value(u"suspicious"),
                                  .interpreted = !row.isNull(u"interpretation_id"),
                                  .value = row.text(u"value"),
                                  .valueArab = row.text(u"value_arab")};
    return ranges;
}

void LookupInterpretation(Database& db, EntryRecord& entry)
{
    // A result the ranges cannot compare is refused before it is stored; one that passed while
    // the database was busy lies in no range.
    const RangeFinding found = FindInRanges(entry.ResultText, ReadValidationRanges(db, entry.ParameterId));
    entry.Interpretation = found.value;
    entry.InterpretationArab = found.valueArab;
    entry.Suspicious = found.suspicious;
}

std::optional<double> ReadLowCutoff(Database& db, qint16 parameterId)
{
    const auto row =
        db.first(u"SELECT MIN(v_to) AS LOW_CUTOFF FROM VALIDATION where parameter_ID = ? and suspicious = 1"_s,
                 {int(parameterId)});
    return row ? BoundNumber(row->value(u"LOW_CUTOFF")) : std::nullopt;
}

void WriteSessionMarker(Database& db, const QString& stationId)
{
    const Dialect& d = db.dialect();
    db.exec(u"Insert into quorix_log (%1,%2,%3) VALUES (%4, ?, ?)"_s.arg(
                d.quote(u"TIME_STAMP"_s), d.quote(u"LOG_KEY"_s), d.quote(u"LOG_VAL"_s), d.currentTime()),
            {text(stationId), entrytexts::kSessionStartMarker.toString()});
}

QString DeleteEntryRows(Database& db, const QString& sessionTable, const QString& sampleId, qint16 parameterId)
{
    db.exec(u"DELETE from RESULTS where sample_id = ? and parameter_id = ?"_s, {text(sampleId), int(parameterId)});
    db.exec(u"DELETE from %1 where sample_id = ? and parameter_id = ?"_s.arg(db.dialect().quote(sessionTable)),
            {text(sampleId), int(parameterId)});
    return entrytexts::ResultDeletedLine(sampleId);
}

QString ClearWrittenRows(Database& db, const WrittenRows& written, qint16 parameterId)
{
    // A table's rows go in statements of a few fixed sizes: a handful of prepared statements,
    // each far below every engine's limit of bound values, and one pass over the work table
    // (it has no index) serves many rows.
    QMap<QString, WrittenRows> byTable;
    for (const WrittenRow& row : written)
        byTable[row.table] << row;
    for (const WrittenRows& rows : std::as_const(byTable)) {
        const WrittenRow& shape = rows.first();
        const QString oneRow = u"(%1 AND %2 >= ? AND %2 < ?)"_s.arg(matching(shape.columns), shape.timeColumn);
        qsizetype first = 0;
        for (const qsizetype size : {32, 8, 1}) {
            for (; rows.size() - first >= size; first += size) {
                QVariantList values;
                for (qsizetype i = first; i < first + size; ++i) {
                    const WrittenRow& row = rows.at(i);
                    values << row.values << row.stampedSecond << row.stampedSecond.addSecs(1);
                }
                db.exec(u"DELETE FROM %1 WHERE %2"_s.arg(shape.table, QStringList(size, oneRow).join(u" OR "_s)),
                        values);
            }
        }
    }
    return entrytexts::SessionClearedLine(parameterText(parameterId));
}

} // namespace kestrin
