#include "hl7import/OrderStore.h"

#include "core/DateTexts.h"
#include "core/Hl7Escaping.h"
#include "core/Numbers.h"
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

QString FieldValue(const OrderMessage& message, const QString& raw)
{
    return UnescapeHl7(raw, Hl7Delimiters::fromEncodingCharacters(message.msh(2)));
}

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

void ArchiveSegment(Context& ctx, const OrderMessage& m, const QString& line, const QString& identifier, int counter)
{
    ctx.db.exec(u"INSERT INTO HL7_STRINGS (ORDER_ID, STRING_DEF, STRING_DEF_CTR, STRING_TEXT, TIME_STAMP) "
                u"VALUES (?, ?, ?, ?, ?)"_s,
                {orderKey(m), CutToColumn(identifier, sizes().stringDef), counter,
                 CutToColumn(line, sizes().stringText), ctx.now()});
}

void DeleteOpenRequests(Context& ctx, const QString& sampleId)
{
    ctx.db.exec(u"DELETE FROM REQUEST WHERE SAMPLE_ID = ? AND RESULT IS NULL AND ANALYZER_ID IS NULL"_s,
                {CutToColumn(sampleId, sizes().requestSample)});
}

void SavePatient(Context& ctx, const OrderMessage& m)
{
    const QString id = siId(m);
    const bool known = ctx.db.first(u"SELECT P_ID FROM PATIENTS WHERE SI_ID = ?"_s, {id}).has_value();
    const QVariantList values{CutToColumn(FieldValue(m, m.PatientSurname), sizes().name),
                              CutToColumn(FieldValue(m, m.PatientForename), sizes().name),
                              CutToColumn(FieldValue(m, m.pid(8)), sizes().sex), ctx.now(), id};
    if (known) {
        ctx.db.exec(u"UPDATE PATIENTS SET SURNAME = ?, FORENAME = ?, SEX = ?, ENTRY_DATE = ? WHERE SI_ID = ?"_s,
                    values);
        ctx.log.logall(u"Patient mit ID: "_s + m.pid(3) + u"schon vorhanden. Daten wurden upgedated."_s,
                       LogDirection::Monitor);
    } else {
        ctx.db.exec(u"INSERT INTO PATIENTS (SURNAME, FORENAME, SEX, ENTRY_DATE, SI_ID) VALUES (?, ?, ?, ?, ?)"_s,
                    values);
    }
    SaveBirthDate(ctx, m);
}

void SaveBirthDate(Context& ctx, const OrderMessage& m)
{
    const QDate birth = ParseCompactDate(FieldValue(m, m.pid(7)));
    if (birth.year() == 1900)
        return;
    ctx.db.exec(u"UPDATE PATIENTS SET BIRTH = ? WHERE SI_ID = ?"_s, {QDateTime(birth, QTime(0, 0)), siId(m)});
}

void SaveCustomer(Context& ctx, const OrderMessage& m, const QString& customer)
{
    const QString value = FieldValue(m, customer);
    // Looked up by what is stored, so a long customer value finds its row again.
    const QString id = CutToColumn(value, kCustomerIdSize);
    const QString name = CutToColumn(value, sizes().customerName);
    const auto row = ctx.db.first(u"SELECT CUST_ID, CUST_NAME FROM CUSTOMER WHERE CUST_ID = ?"_s, {id});
    if (!row)
        ctx.db.exec(u"INSERT INTO CUSTOMER (CUST_ID, CUST_NAME, CREATED) VALUES (?, ?, ?)"_s, {id, name, ctx.now()});
    else if (row->text(u"CUST_NAME").trimmed().isEmpty())
        ctx.db.exec(u"UPDATE CUSTOMER SET CUST_NAME = ? WHERE CUST_ID = ?"_s, {name, id});
}

void SaveSample(Context& ctx, const OrderMessage& m)
{
    const QString id = sampleId(m);
    const bool known = ctx.db.first(u"SELECT SAMPLE_ID FROM SAMPLE_BASE WHERE SAMPLE_ID = ?"_s, {id}).has_value();
    const QString patient = FindPatientBySiId(ctx.db, siId(m));
    QVariantList values{siId(m),
                        CutToColumn(FieldValue(m, m.orc(21)), sizes().sampleCustomer),
                        orderKey(m),
                        ctx.now(),
                        CutToColumn(FieldValue(m, m.CollectionRemark), sizes().remark),
                        CutToColumn(m.SampleMaterial, sizes().material),
                        CutToColumn(QString::number(m.MaterialFlag), sizes().add3),
                        kEntryUser,
                        patient.isEmpty() ? QVariant(QMetaType(QMetaType::Int)) : QVariant(patient.toInt()),
                        id};
    if (known) {
        ctx.db.exec(u"UPDATE SAMPLE_BASE SET SI_ID = ?, CUST_ID = ?, STATUS_1 = ?, LAST_CHANGE_DAT = ?, "
                    u"COMMENT_COLL = ?, SAMPLE_MAT = ?, ADD3 = ?, ENTRY_USER = ?, P_ID = ? WHERE SAMPLE_ID = ?"_s,
                    values);
        ctx.log.logall(u"Probe mit ID: "_s + m.orc(2) + u"schon vorhanden. Daten wurden upgedated."_s,
                       LogDirection::Monitor);
    } else {
        values.prepend(ctx.now());
        ctx.db.exec(u"INSERT INTO SAMPLE_BASE (ENTRY_DAT, SI_ID, CUST_ID, STATUS_1, LAST_CHANGE_DAT, COMMENT_COLL, "
                    u"SAMPLE_MAT, ADD3, ENTRY_USER, P_ID, SAMPLE_ID) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"_s,
                    values);
    }
    SaveCollectionDate(ctx, m);
}

void SaveCollectionDate(Context& ctx, const OrderMessage& m)
{
    const QString text = QString(m.CollectionDateText + u' ' + m.CollectionTimeText).trimmed();
    const QDateTime collected = ParseDisplayDateTime(text);
    // Neither "no date" (1900) nor the zero date of a text in another shape is a collection.
    if (collected.date().year() == 1900 || collected == ZeroDate())
        return;
    ctx.db.exec(u"UPDATE SAMPLE_BASE SET COLL_DAT = ? WHERE SAMPLE_ID = ?"_s, {collected, sampleId(m)});
}

void SaveRequests(Context& ctx, const OrderMessage& m)
{
    const Hl7Delimiters delimiters = Hl7Delimiters::fromEncodingCharacters(m.msh(2));
    const QString requestSample = CutToColumn(FieldValue(m, m.orc(2)), sizes().requestSample);
    QString codes;
    for (int k = 1; k <= m.SegmentCounts.obr; ++k) {
        const QString& field = m.obr(k, 4);
        const QString code = UnescapeHl7(QStringView(field).left(field.indexOf(delimiters.component)), delimiters);
        if (!code.isEmpty()) {
            codes += code + u", "_s;
            const auto id = ParseNumber(LookupParameterId(ctx, code));
            const double parameter = id ? RoundHalfEven(*id) : 0;
            if (parameter < std::numeric_limits<qint32>::min() || parameter > std::numeric_limits<qint32>::max())
                throw MessageError(u"The import code %1 names the parameter %2, which is no 32-bit number."_s.arg(
                    code, QString::number(parameter, 'g', 15)));
            if (parameter != 0) {
                ctx.db.exec(u"INSERT INTO REQUEST (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s,
                            {requestSample, qint32(parameter)});
                continue;
            }
        }
        ctx.log.logall(u"Kein Importcode f\u00fcr Probe: "_s + m.orc(2) + u"/OBR Zeile: "_s + QString::number(k) +
                           u"OBR.4: "_s + field,
                       LogDirection::Monitor);
    }
    ctx.log.logall(u"Anforderungen f\u00fcr Probe "_s + m.orc(2) + u": "_s + codes, LogDirection::OrderIn);
}

QString LookupParameterId(Context& ctx, const QString& importCode)
{
    const auto row =
        ctx.db.first(u"SELECT PARAMETER_ID FROM TEST_DEF WHERE IMP_CODE_LDT = ? ORDER BY PARAMETER_ID"_s, {importCode});
    return row ? row->text(u"PARAMETER_ID") : QString();
}

} // namespace kestrin
