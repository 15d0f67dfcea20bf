#include "hl7import/OrderStore.h"

#include "core/DateTexts.h"
#include "core/Hl7Escaping.h"
#include "core/Numbers.h"
#include "hl7import/MessageError.h"
#include "labdb/Patients.h"

#include <limits>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// Column sizes of the laboratory database that the import writes.
constexpr int kOrderIdSize = 20;        // HL7_STRINGS.ORDER_ID, SAMPLE_BASE.STATUS_1
constexpr int kStringDefSize = 10;      // HL7_STRINGS.STRING_DEF
constexpr int kStringTextSize = 2000;   // HL7_STRINGS.STRING_TEXT
constexpr int kRequestSampleSize = 18;  // REQUEST.SAMPLE_ID
constexpr int kSampleIdSize = 19;       // SAMPLE_BASE.SAMPLE_ID
constexpr int kSiIdSize = 14;           // PATIENTS.SI_ID, SAMPLE_BASE.SI_ID
constexpr int kNameSize = 30;           // PATIENTS.SURNAME, FORENAME
constexpr int kFlagSize = 1;            // PATIENTS.SEX, SAMPLE_BASE.SAMPLE_MAT
constexpr int kCustomerIdSize = 10;     // CUSTOMER.CUST_ID as the program writes it
constexpr int kSampleCustomerSize = 20; // SAMPLE_BASE.CUST_ID
constexpr int kCustomerNameSize = 60;   // CUSTOMER.CUST_NAME
constexpr int kRemarkSize = 255;        // SAMPLE_BASE.COMMENT_COLL
constexpr int kAdd3Size = 14;           // SAMPLE_BASE.ADD3

const QString kEntryUser = u"Kestrin"_s;

QString orderKey(const OrderMessage& m) { return CutToColumn(FieldValue(m, m.msh(10)), kOrderIdSize); }
QString siId(const OrderMessage& m) { return CutToColumn(FieldValue(m, m.pid(3)), kSiIdSize); }
QString sampleId(const OrderMessage& m) { return CutToColumn(FieldValue(m, m.orc(2)), kSampleIdSize); }

} // namespace

QString FieldValue(const OrderMessage& message, const QString& raw)
{
    return UnescapeHl7(raw, Hl7Delimiters::fromEncodingCharacters(message.msh(2)));
}

QString CutToColumn(const QString& text, int size)
{
    if (text.size() <= size)
        return text;
    qsizetype length = size;
    if (length > 0 && text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

void ArchiveSegment(Context& ctx, const OrderMessage& m, const QString& line, const QString& identifier, int counter)
{
    ctx.db.exec(
        u"INSERT INTO HL7_STRINGS (ORDER_ID, STRING_DEF, STRING_DEF_CTR, STRING_TEXT, TIME_STAMP) "
        u"VALUES (?, ?, ?, ?, ?)"_s,
        {orderKey(m), CutToColumn(identifier, kStringDefSize), counter, CutToColumn(line, kStringTextSize), ctx.now()});
}

void DeleteOpenRequests(Context& ctx, const QString& sampleId)
{
    ctx.db.exec(u"DELETE FROM REQUEST WHERE SAMPLE_ID = ? AND RESULT IS NULL AND ANALYZER_ID IS NULL"_s,
                {CutToColumn(sampleId, kRequestSampleSize)});
}

void SavePatient(Context& ctx, const OrderMessage& m)
{
    const QString id = siId(m);
    const bool known = ctx.db.first(u"SELECT P_ID FROM PATIENTS WHERE SI_ID = ?"_s, {id}).has_value();
    const QVariantList values{CutToColumn(FieldValue(m, m.PatientSurname), kNameSize),
                              CutToColumn(FieldValue(m, m.PatientForename), kNameSize),
                              CutToColumn(FieldValue(m, m.pid(8)), kFlagSize), ctx.now(), id};
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
    const QString name = CutToColumn(value, kCustomerNameSize);
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
                        CutToColumn(FieldValue(m, m.orc(21)), kSampleCustomerSize),
                        orderKey(m),
                        ctx.now(),
                        CutToColumn(FieldValue(m, m.CollectionRemark), kRemarkSize),
                        CutToColumn(m.SampleMaterial, kFlagSize),
                        CutToColumn(QString::number(m.MaterialFlag), kAdd3Size),
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
    const QString requestSample = CutToColumn(FieldValue(m, m.orc(2)), kRequestSampleSize);
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
