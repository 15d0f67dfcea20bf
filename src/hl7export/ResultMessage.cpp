#include "hl7export/ResultMessage.h"

#include "core/Values.h"

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

const QString kOpen = u"offen"_s;
// Result messages are written with the standard delimiters.
const Hl7Delimiters kDelimiters;

Hl7Segment segment(const QString& name, const QStringList& fields) { return {QStringList{name} + fields}; }

QString components(const QString& first, const QString& second) { return first + kDelimiters.component + second; }

// The stored order line of a kind: by the whole order key, and for rows kept under the
// first ten characters by older versions, by those.
QString storedLine(Context& ctx, const StoredKey& orderKey, const QString& kind)
{
    if (orderKey.text().isEmpty())
        return {};
    const auto first = [&](const StoredKey& key) {
        return ctx.db.first(
            u"SELECT STRING_TEXT FROM HL7_STRINGS WHERE %1 AND STRING_DEF = ? ORDER BY TIME_STAMP"_s.arg(
                key.condition(u"ORDER_ID"_s)),
            key.values() + QVariantList{kind});
    };
    auto row = first(orderKey);
    if (!row && orderKey.text().size() > 10)
        row = first(StoredKey(ctx.db, orderKey.text().left(10)));
    return row ? row->text(u"STRING_TEXT") : QString();
}

Hl7Segment observation(int setId, const ParameterTexts& texts, const QString& value, const QString& interpretation,
                       const QString& status)
{
    return segment(u"OBX"_s,
                   {QString::number(setId), u"NM"_s, components(EscapeHl7(texts.importCode), EscapeHl7(texts.longName)),
                    QString(), value, EscapeHl7(texts.unit), EscapeHl7(texts.cutoff), interpretation, QString(),
                    QString(), status});
}

// The lines by kind: MSH, PID, PV1 and OBR first, then the OBX and NTE segments.
ResultMessage printed(Hl7Message message)
{
    ResultMessage result;
    QStringList lines;
    for (qsizetype i = 0; i < message.size(); ++i)
        lines << message.line(i).toString();
    result.msh = lines.value(0);
    result.pid = lines.value(1);
    result.pv1 = lines.value(2);
    result.obr = lines.value(3);
    for (qsizetype i = 4; i < lines.size(); ++i)
        (lines.at(i).startsWith(u"OBX") ? result.obx : result.nte) << lines.at(i);
    result.hl7 = std::move(message);
    return result;
}

} // namespace

QStringList ResultMessage::lines() const
{
    QStringList all{msh, pid, pv1, obr};
    all << obx << nte;
    return all;
}

QString ResultMessage::controlId() const { return hl7.size() > 0 ? hl7.segment(0).field(10) : QString(); }

QString ObservationTime(const QDateTime& lastChange)
{
    if (!lastChange.isValid())
        return {};
    if (lastChange.time() == QTime(0, 0))
        return lastChange.date().toString(u"yyyyMMdd"_s);
    return lastChange.toString(u"yyyyMMddHHmm"_s);
}

ResultMessage ComposeResultMessage(Context& ctx, const QString& sampleId, const TestCatalogue& tests)
{
    return ComposeResultMessage(ctx, StoredKey(ctx.db, sampleId), tests);
}

ResultMessage ComposeResultMessage(Context& ctx, const StoredKey& sampleKey, const TestCatalogue& tests)
{
    const AppConfig& c = ctx.config;
    const QString id = EscapeHl7(sampleKey.text());
    const QString ofSample = sampleKey.condition(u"SAMPLE_ID"_s);
    Hl7Message message{kDelimiters, {}, {}};

    const auto sample = ctx.db.first(
        u"SELECT STATUS_1, LAST_CHANGE_DAT, COMMENT_COLL, COMMENT_COM, COMMENT_D_M FROM SAMPLE_BASE WHERE "_s +
            ofSample,
        sampleKey.values());
    const StoredKey orderKey(ctx.db, sample ? sample->value(u"STATUS_1") : QVariant());

    message.append(segment(u"MSH"_s,
                           {kDelimiters.encodingCharacters(), c.HL7ORUSender, QString(), c.HL7ORUEmpf, QString(),
                            ctx.nowText(), QString(), components(u"ORU"_s, u"R01"_s), id, u"P"_s, u"2.3"_s}));
    // Sent as the order brought them.
    message.append(storedLine(ctx, orderKey, u"PID"_s));
    message.append(storedLine(ctx, orderKey, u"PV1"_s));

    const bool requestsLeft =
        !ctx.db.query(u"SELECT DISTINCT PARAMETER_ID FROM REQUEST WHERE "_s + ofSample, sampleKey.values()).isEmpty();
    QStringList obr{u"1"_s,
                    id,
                    c.OBR3TEXT,
                    QString(),
                    QString(),
                    QString(),
                    sample ? ObservationTime(sample->dateTime(u"LAST_CHANGE_DAT")) : QString()};
    for (int field = 8; field <= 24; ++field)
        obr << QString();
    obr << (requestsLeft ? u"P"_s : u"F"_s);
    message.append(segment(u"OBR"_s, obr));

    int setId = 0;
    const QList<Row> results = ctx.db.query(
        u"SELECT R.PARAMETER_ID, RESULT, INTERPRETATION FROM RESULTS R INNER JOIN TEST_DEF TD "
        u"ON R.PARAMETER_ID = TD.PARAMETER_ID WHERE R.%1 ORDER BY PRINT_POS, R.PARAMETER_ID"_s.arg(ofSample),
        sampleKey.values());
    // A laboratory database may keep RESULT as a number: it goes out in the regional format.
    const RegionalFormat regional = ctx.regional();
    for (const Row& row : results)
        message.append(observation(++setId, tests.texts(row.value(u"PARAMETER_ID").toLongLong()),
                                   EscapeHl7(NullToText(row.value(u"RESULT"), regional)),
                                   EscapeHl7(NullToText(row.value(u"INTERPRETATION"), regional)), u"F"_s));
    const QList<Row> open = ctx.db.query(
        u"SELECT DISTINCT RQ.PARAMETER_ID, PRINT_POS FROM REQUEST RQ INNER JOIN TEST_DEF TD "
        u"ON RQ.PARAMETER_ID = TD.PARAMETER_ID WHERE RQ.%1 ORDER BY PRINT_POS, RQ.PARAMETER_ID"_s.arg(ofSample),
        sampleKey.values());
    for (const Row& row : open)
        message.append(
            observation(++setId, tests.texts(row.value(u"PARAMETER_ID").toLongLong()), kOpen, kOpen, u"O"_s));

    if (sample) {
        int comments = 0;
        for (const QStringView column : {u"COMMENT_COLL", u"COMMENT_COM", u"COMMENT_D_M"}) {
            const QString comment = sample->text(column).trimmed();
            if (!comment.isEmpty())
                message.append(segment(u"NTE"_s, {QString::number(++comments), EscapeHl7(comment)}));
        }
    }
    return printed(std::move(message));
}

} // namespace kestrin
