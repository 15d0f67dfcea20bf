#include "entrystation/EntryRecord.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace kestrin {

EntryRecord FillEntryRecord(const QString& sampleIdText, const QString& resultText, qint16 parameterId,
                            const QString& stationId, const QString& user)
{
    EntryRecord entry;
    entry.SampleId = sampleIdText.trimmed();
    entry.ParameterId = parameterId;
    entry.ResultText = resultText.trimmed().replace(u',', u'.');
    entry.AnalyzerId = stationId;
    entry.Validator = user.trimmed();
    entry.AnalyzerUser = stationId + u'_' + entry.Validator;
    return entry;
}

void ClearEntryRecord(EntryRecord& entry) { entry = EntryRecord(); }

QString Shortened(const QString& text)
{
    constexpr qsizetype kShown = 30;
    return text.size() <= kShown ? text : text.left(kShown) + u'\u2026';
}

namespace {

struct Written {
    const QString* value;
    QString table;
    const char16_t* column;
    const char* what; // %1 the value, %2 its length, %3 the room; to be translated
};

} // namespace

QString EntryProblem(const EntryRecord& entry, StoragePath path, const QString& sessionTable, const ColumnRoom& room)
{
    if (entry.SampleId.isEmpty())
        return QCoreApplication::translate("EntryRecord",
                                           "A result needs its sample ID: scan or type the sample ID first.");
    const char* sampleTooLong =
        QT_TRANSLATE_NOOP("EntryRecord", "The sample ID \"%1\" has %2 characters; at most %3 fit.");
    const char* resultTooLong =
        QT_TRANSLATE_NOOP("EntryRecord", "The result \"%1\" has %2 characters; at most %3 fit.");
    const char* userTooLong = QT_TRANSLATE_NOOP(
        "EntryRecord",
        "Station and user \"%1\" have %2 characters together; at most %3 fit. Ask for a shorter station id.");
    const char* stationTooLong =
        QT_TRANSLATE_NOOP("EntryRecord", "The station id \"%1\" has %2 characters; at most %3 fit.");
    const char* validatorTooLong =
        QT_TRANSLATE_NOOP("EntryRecord", "The user ID \"%1\" has %2 characters; at most %3 fit.");
    std::vector<Written> written;
    if (path == StoragePath::Control) {
        written = {{&entry.SampleId, u"CONTROL_RESULTS"_s, u"CONTROL_ID", sampleTooLong},
                   {&entry.ResultText, u"CONTROL_RESULTS"_s, u"RESULT", resultTooLong},
                   {&entry.AnalyzerUser, u"CONTROL_RESULTS"_s, u"ANALYZER_ID", userTooLong}};
    } else {
        written = {{&entry.SampleId, u"RAW_RESULTS"_s, u"SAMPLE_ID", sampleTooLong},
                   {&entry.ResultText, u"RAW_RESULTS"_s, u"RESULT", resultTooLong},
                   {&entry.AnalyzerUser, u"RAW_RESULTS"_s, u"ANALYZER_ID", userTooLong}};
        if (path == StoragePath::Validated) {
            written.insert(written.end(),
                           {{&entry.SampleId, u"RESULTS"_s, u"SAMPLE_ID", sampleTooLong},
                            {&entry.ResultText, u"RESULTS"_s, u"RESULT", resultTooLong},
                            {&entry.AnalyzerId, u"RESULTS"_s, u"ANALYZER_ID", stationTooLong},
                            {&entry.Validator, u"RESULTS"_s, u"R_VALIDATOR", validatorTooLong}});
        } else {
            written.insert(written.end(),
                           {{&entry.SampleId, sessionTable, u"SAMPLE_ID", sampleTooLong},
                            {&entry.ResultText, sessionTable, u"RESULT", resultTooLong},
                            {&entry.AnalyzerUser, sessionTable, u"ANALYZER_ID", userTooLong}});
        }
    }
    for (const Written& w : written) {
        const std::optional<int> size = room(w.table, QString::fromUtf16(w.column));
        if (size && w.value->size() > *size)
            return QCoreApplication::translate("EntryRecord", w.what)
                .arg(Shortened(*w.value), QString::number(w.value->size()), QString::number(*size));
    }
    return {};
}

} // namespace kestrin
