#include "entrystation/EntryStore.h"

#include "core/Numbers.h"
#include "labdb/Database.h"

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// Empty fields are written as empty text, not NULL (Qt binds a null QString as NULL).
QVariant text(const QString& value) { return value.isNull() ? QVariant(u""_s) : QVariant(value); }

QString parameterText(qint16 parameterId) { return QString::number(parameterId); }

// A value of a range bound or a cut-off as a number, whatever type the engine gives it.
std::optional<double> numberOf(const QVariant& value)
{
    if (value.isNull())
        return std::nullopt;
    switch (value.metaType().id()) {
    case QMetaType::Double:
    case QMetaType::Float:
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::ULongLong:
        return value.toDouble();
    default:
        return ParseNumber(value.toString());
    }
}

bool truthOf(const QVariant& value)
{
    if (value.isNull())
        return false;
    if (value.metaType().id() == QMetaType::Bool)
        return value.toBool();
    const auto number = numberOf(value);
    return number && *number != 0;
}

QString marks(qsizetype count)
{
    QStringList list;
    for (qsizetype i = 0; i < count; ++i)
        list << u"?"_s;
    return list.join(u", ");
}

// The analyser values of the station's work-table and control rows, as bound values.
QVariantList analyzerValues(const StationRows& station)
{
    QVariantList values;
    for (const QString& analyzerUser : station.analyzerUsers)
        values << analyzerUser;
    return values;
}

// The control, raw and work-table records: the ID, the parameter, the time, the result, and
// station and user; their log lines differ only in how they begin.
QString storeRecord(Database& db, const QString& table, const QString& idColumn, const QString& logLead,
                    const EntryRecord& entry)
{
    db.exec(u"INSERT INTO %1 (%2, parameter_id, time_stamp, result, analyzer_id) VALUES (?,?,%3,?,?)"_s.arg(
                table, idColumn, db.dialect().currentTime()),
            {text(entry.SampleId), int(entry.ParameterId), text(entry.ResultText), text(entry.AnalyzerUser)});
    return logLead + entry.SampleId + u" Parameter ID: "_s + parameterText(entry.ParameterId) + u" Result: "_s +
        entry.ResultText + u" Analyser/User: "_s + entry.AnalyzerUser;
}

} // namespace

QString StoreControlResult(Database& db, const EntryRecord& entry)
{
    return storeRecord(db, u"control_results"_s, u"control_id"_s, u"Enter Control Value: Control ID: "_s, entry);
}

QString StoreRawResult(Database& db, const EntryRecord& entry)
{
    return storeRecord(db, u"RAW_RESULTS"_s, u"SAMPLE_ID"_s, u"Enter to RAW_Results: SAMPLE ID: "_s, entry);
}

QString StoreSessionTableResult(Database& db, const EntryRecord& entry, const QString& sessionTable)
{
    return storeRecord(db, db.dialect().quote(sessionTable), u"SAMPLE_ID"_s,
                       u"Enter to "_s + sessionTable + u": SAMPLE ID: "_s, entry);
}

QString StoreValidatedResult(Database& db, EntryRecord& entry)
{
    db.exec(u"DELETE FROM RESULTS WHERE SAMPLE_ID = ? AND PARAMETER_ID = ?"_s,
            {text(entry.SampleId), int(entry.ParameterId)});
    LookupInterpretation(db, entry);
    const QString now = db.dialect().currentTime();
    db.exec(u"INSERT INTO RESULTS (SAMPLE_ID, parameter_id, meas_time_stamp, val_time_stamp, result, interpretation, "
            u"interpretation_arab, suspicious, analyzer_id, r_validator) VALUES (?,?,%1,%1,?,?,?,?,?,?)"_s.arg(now),
            {text(entry.SampleId), int(entry.ParameterId), text(entry.ResultText), text(entry.Interpretation),
             text(entry.InterpretationArab), entry.Suspicious, text(entry.AnalyzerId), text(entry.Validator)});
    return u"Enter to Results: SAMPLE ID: "_s + entry.SampleId + u" Parameter ID: "_s +
        parameterText(entry.ParameterId) + u" Result: "_s + entry.ResultText + u" Interpretation: "_s +
        entry.Interpretation + u" Analyser: "_s + entry.AnalyzerId + u" User: "_s + entry.Validator;
}

void LookupInterpretation(Database& db, EntryRecord& entry)
{
    entry.Interpretation = u""_s;
    entry.InterpretationArab = u""_s;
    entry.Suspicious = false;
    // Compared here rather than by the database: a result that is no number, or a bound that
    // is none, lies in no range instead of failing the statement.
    const auto result = ParseNumber(entry.ResultText);
    if (!result)
        return;
    const QList<Row> ranges =
        db.query(u"SELECT v.V_from, v.v_to, v.suspicious, i.ID AS interpretation_id, i.value, i.value_arab "
                 u"FROM VALIDATION v LEFT JOIN interpretation i ON i.ID = v.interpretation "
                 u"WHERE v.parameter_ID = ? AND v.nw_id = 2"_s,
                 {int(entry.ParameterId)});
    bool suspiciousFound = false;
    bool interpretationFound = false;
    for (const Row& range : ranges) {
        const auto from = numberOf(range.value(u"V_from"));
        const auto to = numberOf(range.value(u"v_to"));
        if (!from || !to || *from > *result || *to < *result)
            continue;
        if (!suspiciousFound) {
            entry.Suspicious = truthOf(range.value(u"suspicious"));
            suspiciousFound = true;
        }
        if (!interpretationFound && !range.isNull(u"interpretation_id")) {
            entry.Interpretation = range.text(u"value");
            entry.InterpretationArab = range.text(u"value_arab");
            interpretationFound = true;
        }
    }
}

std::optional<double> ReadLowCutoff(Database& db, qint16 parameterId)
{
    const auto row =
        db.first(u"SELECT MIN(v_to) AS LOW_CUTOFF FROM VALIDATION where parameter_ID = ? and suspicious = 1"_s,
                 {int(parameterId)});
    return row ? numberOf(row->value(u"LOW_CUTOFF")) : std::nullopt;
}

void WriteSessionMarker(Database& db, const QString& stationId)
{
    const Dialect& d = db.dialect();
    db.exec(u"Insert into quorix_log (%1,%2,%3) VALUES (%4, ?, 'SessionStart')"_s.arg(
                d.quote(u"TIME_STAMP"_s), d.quote(u"LOG_KEY"_s), d.quote(u"LOG_VAL"_s), d.currentTime()),
            {text(stationId)});
}

StationRows ReadStationRows(Database& db, const QString& stationId, const QString& sessionTable,
                            const QStringList& usedAnalyzerUsers)
{
    StationRows station{stationId, sessionTable, {}};
    for (const Row& row : db.query(u"SELECT userid FROM user_base"_s)) {
        const QString analyzerUser = stationId + u'_' + row.text(u"userid").trimmed();
        if (!station.analyzerUsers.contains(analyzerUser))
            station.analyzerUsers << analyzerUser;
    }
    for (const QString& analyzerUser : usedAnalyzerUsers) {
        if (!station.analyzerUsers.contains(analyzerUser))
            station.analyzerUsers << analyzerUser;
    }
    return station;
}

bool StationWroteThisSecond(Database& db, const StationRows& station, qint16 parameterId)
{
    const Dialect& d = db.dialect();
    const QString now = d.currentTime();
    const auto count = [&](const QString& sql, const QVariantList& values) {
        const auto row = db.first(sql, values);
        return row ? row->value(u"n").toLongLong() : 0;
    };
    if (count(u"SELECT COUNT(*) AS n FROM RESULTS WHERE PARAMETER_ID = ? AND ANALYZER_ID = ? "
              u"AND MEAS_TIME_STAMP >= %1"_s.arg(now),
              {int(parameterId), text(station.stationId)}) > 0)
        return true;
    if (station.analyzerUsers.isEmpty())
        return false;
    for (const QString& table : {station.sessionTable, u"CONTROL_RESULTS"_s}) {
        const QString sql = u"SELECT COUNT(*) AS n FROM %1 WHERE PARAMETER_ID = ? AND ANALYZER_ID IN (%2) "
                            u"AND TIME_STAMP >= %3"_s.arg(d.quote(table), marks(station.analyzerUsers.size()), now);
        if (count(sql, QVariantList{int(parameterId)} + analyzerValues(station)) > 0)
            return true;
    }
    return false;
}

QString DeleteEntryRows(Database& db, const QString& sessionTable, const QString& sampleId, qint16 parameterId)
{
    db.exec(u"DELETE from RESULTS where sample_id = ? and parameter_id = ?"_s, {text(sampleId), int(parameterId)});
    db.exec(u"DELETE from %1 where sample_id = ? and parameter_id = ?"_s.arg(db.dialect().quote(sessionTable)),
            {text(sampleId), int(parameterId)});
    return u"Result deleted for sample ID: "_s + sampleId;
}

QString ClearSessionRows(Database& db, const StationRows& station, qint16 parameterId)
{
    const Dialect& d = db.dialect();
    // The marker's own second counts: an entry stored in it belongs to the session. The station
    // never writes a marker in a second that holds rows of an earlier session.
    const QString sessionStart =
        u"(select max(time_stamp) from quorix_log where log_key = ? and log_val = 'SessionStart')"_s;
    db.exec(u"DELETE FROM %1 where %2 = ? and %3 = ? and %4 >= %5"_s.arg(
                d.quote(u"RESULTS"_s), d.quote(u"parameter_id"_s), d.quote(u"ANALYZER_ID"_s),
                d.quote(u"meas_time_stamp"_s), sessionStart),
            {int(parameterId), text(station.stationId), text(station.stationId)});
    if (!station.analyzerUsers.isEmpty()) {
        for (const QString& table : {station.sessionTable, u"CONTROL_RESULTS"_s}) {
            db.exec(u"DELETE FROM %1 where %2 = ? and %3 IN (%4) and %5 >= %6"_s.arg(
                        d.quote(table), d.quote(u"parameter_id"_s), d.quote(u"ANALYZER_ID"_s),
                        marks(station.analyzerUsers.size()), d.quote(u"time_stamp"_s), sessionStart),
                    QVariantList{int(parameterId)} + analyzerValues(station) + QVariantList{text(station.stationId)});
        }
    }
    return u"Session cleared: All Results  for Parameter : "_s + parameterText(parameterId) +
        u" since start of session  deleted!"_s;
}

} // namespace kestrin
