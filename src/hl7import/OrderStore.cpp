#include "hl7import/OrderStore.h"

#include "FixedTexts.h"
#include "core/DateTexts.h"
#include "core/Numbers.h"
#include "hl7import/ImportJournal.h"
#include "hl7import/MessageError.h"
#include "labdb/Patients.h"
#include "labdb/Schema.h"

#include <limits>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// What the import cuts its values to: the sizes of the columns they are written into.
struct ColumnSizes {
    int orderId = ColumnSize(u"HL7_STRINGS", u"ORDER_ID"); // and SAMPLE_BASE.STATUS_1
    int stringDef = ColumnSize(u"HL7_STRINGS", u"STRING_DEF");
    int stringText = ColumnSize(u"HL7_STRINGS", u"STRING_TEXT");
    int requestSample = ColumnSize(u"REQUEST", u"SAMPLE_ID");
    int sampleId = ColumnSize(u"SAMPLE_BASE", u"SAMPLE_ID");
    int siId = ColumnSize(u"PATIENTS", u"SI_ID");
    int name = ColumnSize(u"PATIENTS", u"SURNAME");
    int sex = ColumnSize(u"PATIENTS", u"SEX");
    int sampleCustomer = ColumnSize(u"SAMPLE_BASE", u"CUST_ID");
    int customerName = ColumnSize(u"CUSTOMER", u"CUST_NAME");
    int remark = ColumnSize(u"SAMPLE_BASE", u"COMMENT_COLL");
    int material = ColumnSize(u"SAMPLE_BASE", u"SAMPLE_MAT");
    int add3 = ColumnSize(u"SAMPLE_BASE", u"ADD3");
};

const ColumnSizes& sizes()
{
    static const ColumnSizes columns;
    return columns;
}

// The laboratory's customer IDs are 10 characters, although the column holds more: a longer
// value is found again by what was stored.
constexpr int kCustomerIdSize = 10;

const QString kEntryUser = u"Kestrin"_s;

QString orderKey(const OrderMessage& m) { return CutToColumn(FieldValue(m, m.msh(10)), sizes().orderId); }
QString siId(const OrderMessage& m) { return CutToColumn(FieldValue(m, m.pid(3)), sizes().siId); }
QString sampleId(const OrderMessage& m) { return CutToColumn(FieldValue(m, m.orc(2)), sizes().sampleId); }

} // namespace

QString CutToColumn(const QString& text, int size)
{
    // A field the segment does not have is empty text, never NULL: keys and the laboratory's
    // queries expect text on every engine.
    if (text.isNull())
        return u""_s;
    if (text.size() <= size)
        return text;
    qsizetype length = size;
    if (length > 0 && text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

OrderStore::OrderStore(Context& ctx)
    : m_ctx(ctx)
{
}

void OrderStore::beginMessage()
{
    m_now = m_ctx.now();
    m_patientId = QVariant(QMetaType(QMetaType::Int));
    m_sampleKnown = false;
}

void OrderStore::flush()
{
    m_ctx.db.insertRows(u"SAMPLE_BASE"_s,
                        {u"ENTRY_DAT"_s, u"SI_ID"_s, u"CUST_ID"_s, u"STATUS_1"_s, u"LAST_CHANGE_DAT"_s,
                         u"COMMENT_COLL"_s, u"SAMPLE_MAT"_s, u"ADD3"_s, u"ENTRY_USER"_s, u"P_ID"_s, u"SAMPLE_ID"_s,
                         u"COLL_DAT"_s},
                        m_batch.kept.samples);
    m_ctx.db.insertRows(u"HL7_STRINGS"_s,
                        {u"ORDER_ID"_s, u"STRING_DEF"_s, u"STRING_DEF_CTR"_s, u"STRING_TEXT"_s, u"TIME_STAMP"_s},
                        m_batch.kept.archived);
    m_ctx.db.insertRows(u"REQUEST"_s, {u"SAMPLE_ID"_s, u"PARAMETER_ID"_s}, m_batch.kept.requests);
    kestrin::RecordImported(m_ctx.db, m_batch.kept.imported);
    m_batch.kept = {};
}

void OrderStore::discard() { m_batch = {}; }

void OrderStore::RecordImported(const QString& claimName, const QString& fileName)
{
    m_batch.kept.imported.append(ImportedRow(claimName, fileName, m_now));
}

// Kept until the message ends, then written with one statement.
void OrderStore::ArchiveSegment(const QString& controlId, const QString& line, const QString& identifier, int counter)
{
    m_batch.kept.archived.append(QVariantList{CutToColumn(controlId, sizes().orderId),
                                              CutToColumn(identifier, sizes().stringDef), counter,
                                              CutToColumn(line, sizes().stringText), m_now});
}

void OrderStore::DeleteOpenRequests(const QString& sampleId)
{
    flush(); // the requests of earlier messages of the batch are open requests too
    m_ctx.db.exec(u"DELETE FROM REQUEST WHERE SAMPLE_ID = ? AND RESULT IS NULL AND ANALYZER_ID IS NULL"_s,
                  {CutToColumn(sampleId, sizes().requestSample)});
}

void OrderStore::SavePatient(const OrderMessage& m)
{
    const QString id = siId(m);
    if (m_batch.kept.sampleIds.contains(sampleId(m)))
        flush();
    // The patient's first P_ID and whether the sample is known, in one round trip.
    const Row known = *m_ctx.db.first(u"SELECT (SELECT MIN(P_ID) FROM PATIENTS WHERE SI_ID = ?) AS P_ID, "
                                      u"(SELECT COUNT(*) FROM SAMPLE_BASE WHERE SAMPLE_ID = ?) AS SAMPLES"_s,
                                      {id, sampleId(m)});
    m_sampleKnown = known.value(u"SAMPLES").toInt() > 0;
    const std::optional<Row> first = known.isNull(u"P_ID") ? std::nullopt : std::optional<Row>(known);
    const QDate birth = ParseCompactDate(FieldValue(m, m.pid(7)));
    // A text that is no date gives the year 1900, which is no birth date.
    const QVariant birthValue =
        birth.year() == 1900 ? QVariant(QMetaType(QMetaType::QDateTime)) : QVariant(QDateTime(birth, QTime(0, 0)));
    QVariantList values{CutToColumn(FieldValue(m, m.PatientSurname), sizes().name),
                        CutToColumn(FieldValue(m, m.PatientForename), sizes().name),
                        CutToColumn(FieldValue(m, m.pid(8)), sizes().sex), m_now, id};
    if (first) {
        if (birthValue.isNull()) {
            m_ctx.db.exec(u"UPDATE PATIENTS SET SURNAME = ?, FORENAME = ?, SEX = ?, ENTRY_DATE = ? WHERE SI_ID = ?"_s,
                          values);
        } else {
            values.insert(4, birthValue);
            m_ctx.db.exec(u"UPDATE PATIENTS SET SURNAME = ?, FORENAME = ?, SEX = ?, ENTRY_DATE = ?, BIRTH = ? "
                          u"WHERE SI_ID = ?"_s,
                          values);
        }
        m_ctx.log.logall(importtexts::PatientUpdatedLine(m.pid(3)), LogDirection::Monitor);
        m_patientId = first->value(u"P_ID");
        return;
    }
    values << birthValue;
    const QStringList columns{u"SURNAME"_s, u"FORENAME"_s, u"SEX"_s, u"ENTRY_DATE"_s, u"SI_ID"_s, u"BIRTH"_s};
    const QString returning = m_ctx.db.dialect().insertReturning(u"PATIENTS"_s, columns, u"P_ID"_s);
    if (!returning.isEmpty()) {
        m_patientId = m_ctx.db.first(returning, values)->value(u"P_ID");
        return;
    }
    m_ctx.db.insertRows(u"PATIENTS"_s, columns, {values});
    const QString patient = FindPatientBySiId(m_ctx.db, id);
    if (!patient.isEmpty())
        m_patientId = patient.toInt();
}

void OrderStore::SaveCustomer(const OrderMessage& m, const QString& customer)
{
    const QString value = FieldValue(m, customer);
    // Looked up by what is stored, so a long customer value finds its row again.
    const QString id = CutToColumn(value, kCustomerIdSize);
    const QString name = CutToColumn(value, sizes().customerName);
    if (m_batch.customerNamed.value(id))
        return;
    const auto row = m_ctx.db.first(u"SELECT CUST_ID, CUST_NAME FROM CUSTOMER WHERE CUST_ID = ?"_s, {id});
    if (!row)
        m_ctx.db.exec(m_ctx.db.dialect().insertUnlessPresent(
                          u"CUSTOMER"_s, {u"CUST_ID"_s, u"CUST_NAME"_s, u"CREATED"_s}, {u"CUST_ID"_s}),
                      {id, name, m_now});
    else if (row->text(u"CUST_NAME").trimmed().isEmpty())
        m_ctx.db.exec(u"UPDATE CUSTOMER SET CUST_NAME = ? WHERE CUST_ID = ?"_s, {name, id});
    m_batch.customerNamed.insert(id, row || !name.trimmed().isEmpty());
}

void OrderStore::SaveSample(const OrderMessage& m)
{
    const QString id = sampleId(m);
    const bool known = m_sampleKnown;
    const QDateTime collected =
        ParseDisplayDateTime(QString(m.CollectionDateText + u' ' + m.CollectionTimeText).trimmed());
    // Neither "no date" (1900) nor the zero date of a text in another shape is a collection.
    const bool hasCollection = collected.date().year() != 1900 && collected != ZeroDate();
    QVariantList values{siId(m),
                        CutToColumn(FieldValue(m, m.orc(21)), sizes().sampleCustomer),
                        orderKey(m),
                        m_now,
                        CutToColumn(FieldValue(m, m.CollectionRemark), sizes().remark),
                        CutToColumn(m.SampleMaterial, sizes().material),
                        CutToColumn(QString::number(m.MaterialFlag), sizes().add3),
                        kEntryUser,
                        m_patientId};
    if (known) {
        QString sql = u"UPDATE SAMPLE_BASE SET SI_ID = ?, CUST_ID = ?, STATUS_1 = ?, LAST_CHANGE_DAT = ?, "
                      u"COMMENT_COLL = ?, SAMPLE_MAT = ?, ADD3 = ?, ENTRY_USER = ?, P_ID = ?"_s;
        if (hasCollection) {
            sql += u", COLL_DAT = ?"_s;
            values << collected;
        }
        values << id;
        m_ctx.db.exec(sql + u" WHERE SAMPLE_ID = ?"_s, values);
        m_ctx.log.logall(importtexts::SampleUpdatedLine(m.orc(2)), LogDirection::Monitor);
        return;
    }
    values.prepend(m_now);
    values << id << (hasCollection ? QVariant(collected) : QVariant(QMetaType(QMetaType::QDateTime)));
    // A new sample is written with the batch; a later message of the batch that names it
    // again has it written first (SavePatient's lookup).
    m_batch.kept.samples.append(values);
    m_batch.kept.sampleIds.insert(id);
}

void OrderStore::SaveRequests(const OrderMessage& m)
{
    const Hl7Delimiters& delimiters = m.Delimiters;
    const QString requestSample = CutToColumn(FieldValue(m, m.orc(2)), sizes().requestSample);
    QString codes;
    for (int k = 1; k <= m.SegmentCounts.obr; ++k) {
        const QString& field = m.obr(k, 4);
        const QString code = UnescapeHl7(QStringView(field).left(field.indexOf(delimiters.component)), delimiters);
        if (!code.isEmpty()) {
            codes += code + u", "_s;
            const auto id = ParseNumber(LookupParameterId(code));
            const double parameter = id ? RoundHalfEven(*id) : 0;
            if (parameter < std::numeric_limits<qint32>::min() || parameter > std::numeric_limits<qint32>::max())
                throw MessageError(u"The import code %1 names the parameter %2, which is no 32-bit number."_s.arg(
                    code, QString::number(parameter, 'g', 15)));
            if (parameter != 0) {
                m_batch.kept.requests.append(QVariantList{requestSample, qint32(parameter)});
                continue;
            }
        }
        m_ctx.log.logall(importtexts::NoImportCodeLine(m.orc(2), k, field), LogDirection::Monitor);
    }
    m_ctx.log.logall(importtexts::RequestsLine(m.orc(2), codes), LogDirection::OrderIn);
}

void OrderStore::loadImportCodes()
{
    // The first row of a code by PARAMETER_ID counts, as the single lookup orders them.
    for (const Row& row : m_ctx.db.query(u"SELECT IMP_CODE_LDT, PARAMETER_ID FROM TEST_DEF ORDER BY PARAMETER_ID"_s)) {
        const QString code = row.text(u"IMP_CODE_LDT");
        if (!code.isEmpty() && !m_parameterIds.contains(code))
            m_parameterIds.insert(code, row.text(u"PARAMETER_ID"));
    }
    m_importCodesLoaded = true;
}

QString OrderStore::LookupParameterId(const QString& importCode)
{
    if (!m_importCodesLoaded)
        loadImportCodes();
    if (const auto known = m_parameterIds.constFind(importCode); known != m_parameterIds.cend())
        return *known;
    // Not read whole: the database compares as its collation says (some without case).
    const auto row = m_ctx.db.first(u"SELECT PARAMETER_ID FROM TEST_DEF WHERE IMP_CODE_LDT = ? ORDER BY PARAMETER_ID"_s,
                                    {importCode});
    const QString id = row ? row->text(u"PARAMETER_ID") : QString();
    m_parameterIds.insert(importCode, id);
    return id;
}

} // namespace kestrin
