#include "hl7import/OrderStore.h"

#include "FixedTexts.h"
#include "core/DateTexts.h"
#include "core/Numbers.h"
#include "hl7import/ImportJournal.h"
#include "hl7import/MessageError.h"
#include "labdb/Patients.h"
#include "labdb/Schema.h"

#include <algorithm>
#include <array>
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

const QString kPatients = u"PATIENTS"_s;
const QStringList kPatientColumns{u"SURNAME"_s, u"FORENAME"_s, u"SEX"_s, u"ENTRY_DATE"_s, u"SI_ID"_s, u"BIRTH"_s};
// A patient's change: the columns it sets, BIRTH when the message gives one, then SI_ID.
const QStringList kChangedColumns{u"SURNAME"_s, u"FORENAME"_s, u"SEX"_s, u"ENTRY_DATE"_s};
const QStringList kSampleColumns{u"ENTRY_DAT"_s,       u"SI_ID"_s,        u"CUST_ID"_s,    u"STATUS_1"_s,
                                 u"LAST_CHANGE_DAT"_s, u"COMMENT_COLL"_s, u"SAMPLE_MAT"_s, u"ADD3"_s,
                                 u"ENTRY_USER"_s,      u"P_ID"_s,         u"SAMPLE_ID"_s,  u"COLL_DAT"_s};
// Where the P_ID stands in a new sample's row and in a sample's change (as SaveSample binds it).
const qsizetype kNewSamplePatient = kSampleColumns.indexOf(u"P_ID"_s);
constexpr qsizetype kChangedSamplePatient = 8;

// The lookups of a batch, one SELECT for each kind of key, joined into one statement.
const QString kPatientLookup = u"SELECT 'P' AS KIND, SI_ID AS ID, MIN(P_ID) AS P_ID, CAST(NULL AS VARCHAR(60)) AS NAME "
                               u"FROM PATIENTS WHERE SI_ID IN (%1) GROUP BY SI_ID"_s;
const QString kSampleLookup = u"SELECT 'S' AS KIND, SAMPLE_ID AS ID, P_ID, "
                              u"CAST(NULL AS VARCHAR(60)) AS NAME FROM SAMPLE_BASE WHERE SAMPLE_ID IN (%1)"_s;
// A patient without SI_ID that no other sample names is the patient of its own that an order sent
// again changes (older versions gave all such orders one).
const QString kOwnUnnamedPatient = u"SELECT P_ID FROM PATIENTS WHERE P_ID = ? AND SI_ID = '' AND NOT EXISTS "
                                   u"(SELECT 1 FROM SAMPLE_BASE WHERE P_ID = ? AND SAMPLE_ID <> ?)"_s;
const QString kCustomerLookup = u"SELECT 'C' AS KIND, CUST_ID AS ID, CAST(NULL AS INTEGER) AS P_ID, CUST_NAME AS NAME "
                                u"FROM CUSTOMER WHERE CUST_ID IN (%1)"_s;
// Key lists are padded to one of these lengths (repeating a key), so that a handful of
// prepared statements serve every batch; 3 x 256 values stay below every engine's limit.
constexpr std::array kKeysPerList{1, 4, 16, 64, 256};

// Takes up to the longest list of keys off the front, repeating the last to a list's length.
QVariantList takeKeyList(QStringList& keys)
{
    const qsizetype count = std::min(keys.size(), qsizetype(kKeysPerList.back()));
    const qsizetype length = *std::find_if(kKeysPerList.begin(), kKeysPerList.end(), [&](int n) { return n >= count; });
    QVariantList values;
    for (qsizetype i = 0; i < length; ++i)
        values << keys.at(std::min(i, count - 1));
    keys.remove(0, count);
    return values;
}

// A patient without SI_ID is known to the batch by a key that starts with a line end, which no
// field holds: a new one is written under such a key, so that its P_ID is told apart from every
// other patient's (never looked up by the empty SI_ID), and its SI_ID is emptied before the commit.
const QString kUnnamedMark = u"\n"_s;
bool isUnnamedMark(const QString& key) { return key.startsWith(kUnnamedMark); }

QVariant noPatient() { return QVariant(QMetaType(QMetaType::Int)); }

QString orderKey(const OrderMessage& m) { return CutToColumn(FieldValue(m, m.msh(10)), sizes().orderId); }
QString siId(const OrderMessage& m) { return CutToColumn(FieldValue(m, m.pid(3)), sizes().siId); }
QString sampleId(const OrderMessage& m) { return CutToColumn(FieldValue(m, m.orc(2)), sizes().sampleId); }
// Looked up by what is stored, so a long customer value finds its row again.
QString customerId(const QString& value) { return CutToColumn(value, kCustomerIdSize); }

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
    , m_exactKeys(ctx.db.dialect().comparesKeysExactly())
{
}

void OrderStore::beginMessage() { m_now = m_ctx.now(); }

void OrderStore::LookUpAhead(const QList<OrderKeys>& orders)
{
    QStringList patients;
    QStringList samples;
    QStringList customers;
    for (const OrderKeys& order : orders) {
        if (!order.patient.isEmpty())
            patients << CutToColumn(order.patient, sizes().siId);
        samples << CutToColumn(order.sample, sizes().sampleId);
        customers << customerId(order.customer);
    }
    // A key no row has is known to be new only where keys compare as texts; elsewhere it is
    // asked again when it is needed (see lookUpNow).
    lookUp(patients, samples, customers, m_exactKeys);
}

void OrderStore::lookUp(QStringList patients, QStringList samples, QStringList customers, bool absentIsKnown)
{
    const auto unknown = [](QStringList& keys, const auto& known) {
        keys.removeIf([&](const QString& key) { return key.isNull() || known.contains(key); });
        keys.removeDuplicates();
    };
    unknown(patients, m_batch.patients);
    unknown(samples, m_batch.samples);
    unknown(customers, m_batch.customers);
    if (absentIsKnown) {
        // Until the answer says otherwise.
        for (const QString& key : std::as_const(patients))
            m_batch.patients.insert(key, {});
        for (const QString& key : std::as_const(samples))
            m_batch.samples.insert(key, false);
        for (const QString& key : std::as_const(customers))
            m_batch.customers.insert(key, std::nullopt);
    }
    while (!patients.isEmpty() || !samples.isEmpty() || !customers.isEmpty()) {
        QStringList selects;
        QVariantList values;
        const auto ask = [&](QStringList& keys, const QString& select) {
            if (keys.isEmpty())
                return;
            const QVariantList list = takeKeyList(keys);
            selects << select.arg(Placeholders(list.size()));
            values << list;
        };
        ask(patients, kPatientLookup);
        ask(samples, kSampleLookup);
        ask(customers, kCustomerLookup);
        for (const Row& row : m_ctx.db.query(selects.join(u" UNION ALL "), values)) {
            const QString kind = row.text(u"KIND");
            const QString id = row.text(u"ID");
            if (kind == u"P")
                m_batch.patients.insert(id, {true, row.value(u"P_ID"), false});
            else if (kind == u"S") {
                m_batch.samples.insert(id, true);
                if (const QVariant patient = row.value(u"P_ID"); !patient.isNull())
                    m_batch.storedPatientOf.insert(id, patient);
            } else
                m_batch.customers.insert(id, row.text(u"NAME"));
        }
    }
}

void OrderStore::lookUpNow(const QString& patient, const QString& sample, const QString& customer)
{
    const bool patientKnown = patient.isNull() || m_batch.patients.contains(patient);
    const bool sampleKnown = sample.isNull() || m_batch.samples.contains(sample);
    if (patientKnown && sampleKnown && (customer.isNull() || m_batch.customers.contains(customer)))
        return;
    // Where keys do not compare as texts, the new rows the batch keeps may hold the one asked
    // for under another spelling: the database is asked with them written. Where they do, a
    // key the batch does not know is one it never wrote.
    if (!m_exactKeys && !(patientKnown && sampleKnown))
        writeNewRows();
    lookUp({patient}, {sample}, {customer}, true);
}

QVariant OrderStore::patientIdOf(const SampleRow& row, qsizetype index) const
{
    if (row.patient.isEmpty())
        return row.values.at(index);
    const QVariant id = m_batch.patients.value(row.patient).id;
    return id.isNull() ? noPatient() : id;
}

void OrderStore::writeNewRows()
{
    KeptRows& kept = m_batch.kept;
    if (!kept.newPatients.isEmpty()) {
        const QList<Row> written =
            m_ctx.db.insertRowsReturning(kPatients, kPatientColumns, kept.newPatients, {u"P_ID"_s, u"SI_ID"_s});
        if (written.isEmpty())
            m_ctx.db.insertRows(kPatients, kPatientColumns, kept.newPatients);
        for (const Row& row : written)
            m_batch.patients[row.text(u"SI_ID")].id = row.value(u"P_ID");
        const qsizetype siIdAt = kPatientColumns.indexOf(u"SI_ID"_s);
        QStringList marks;
        for (const QVariantList& values : std::as_const(kept.newPatients)) {
            const QString key = values.at(siIdAt).toString();
            KnownPatient& patient = m_batch.patients[key];
            patient.waiting = false;
            if (written.isEmpty()) {
                const QString id = FindPatientBySiId(m_ctx.db, key);
                if (!id.isEmpty())
                    patient.id = id.toInt();
            }
            if (isUnnamedMark(key))
                marks << key;
        }
        kept.newPatients.clear();
        while (!marks.isEmpty()) {
            const QVariantList list = takeKeyList(marks);
            m_ctx.db.exec(u"UPDATE PATIENTS SET SI_ID = ? WHERE SI_ID IN (%1)"_s.arg(Placeholders(list.size())),
                          QVariantList{u""_s} + list);
        }
    }
    if (!kept.samples.isEmpty()) {
        QList<QVariantList> rows;
        for (const SampleRow& sample : std::as_const(kept.samples)) {
            rows << sample.values;
            rows.last()[kNewSamplePatient] = patientIdOf(sample, kNewSamplePatient);
        }
        m_ctx.db.insertRows(u"SAMPLE_BASE"_s, kSampleColumns, rows);
        kept.samples.clear();
    }
}

void OrderStore::flush()
{
    writeNewRows();
    KeptRows& kept = m_batch.kept;
    writePatientChanges(kept.patientChanges, u"SI_ID"_s);
    writePatientChanges(kept.unnamedChanges, u"P_ID"_s);
    for (const SampleRow& change : std::as_const(kept.sampleChanges)) {
        QVariantList values = change.values;
        values[kChangedSamplePatient] = patientIdOf(change, kChangedSamplePatient);
        m_ctx.db.exec(change.sql, values);
    }
    m_ctx.db.insertRows(u"HL7_STRINGS"_s,
                        {u"ORDER_ID"_s, u"STRING_DEF"_s, u"STRING_DEF_CTR"_s, u"STRING_TEXT"_s, u"TIME_STAMP"_s},
                        kept.archived);
    m_ctx.db.insertRows(u"REQUEST"_s, {u"SAMPLE_ID"_s, u"PARAMETER_ID"_s}, kept.requests);
    kestrin::RecordImported(m_ctx.db, kept.imported);
    kept = {};
}

void OrderStore::writePatientChanges(QList<QVariantList>& changes, const QString& keyColumn)
{
    // Where keys compare as texts each patient has one change, and their order does not matter.
    const auto hasBirth = [](const QVariantList& change) { return change.size() > kChangedColumns.size() + 1; };
    if (m_exactKeys || keyColumn == u"P_ID")
        std::stable_partition(changes.begin(), changes.end(), hasBirth);
    for (qsizetype first = 0; first < changes.size();) {
        const bool birth = hasBirth(changes.at(first));
        qsizetype end = first;
        while (end < changes.size() && hasBirth(changes.at(end)) == birth)
            ++end;
        m_ctx.db.updateRows(kPatients, birth ? kChangedColumns + QStringList{u"BIRTH"_s} : kChangedColumns, keyColumn,
                            changes.mid(first, end - first));
        first = end;
    }
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
    const QString sample = sampleId(m);
    lookUpNow(id.isEmpty() ? QString() : id, sample, {});
    const QDate birth = ParseCompactDate(FieldValue(m, m.pid(7)));
    // A text that is no date gives the year 1900, which is no birth date.
    const QVariant birthValue =
        birth.year() == 1900 ? QVariant(QMetaType(QMetaType::QDateTime)) : QVariant(QDateTime(birth, QTime(0, 0)));
    QVariantList values{CutToColumn(FieldValue(m, m.PatientSurname), sizes().name),
                        CutToColumn(FieldValue(m, m.PatientForename), sizes().name),
                        CutToColumn(FieldValue(m, m.pid(8)), sizes().sex), m_now};
    if (id.isEmpty()) {
        saveUnnamedPatient(m, sample, values, birthValue);
        return;
    }
    if (m_batch.patients.value(id).exists) {
        changePatient(m_batch.kept.patientChanges, id, id, values, birthValue);
        m_ctx.log.logall(importtexts::PatientUpdatedLine(m.pid(3)), LogDirection::Monitor);
        return;
    }
    m_batch.kept.newPatients.append(values << id << birthValue);
    m_batch.patients.insert(id, {true, noPatient(), true});
}

// A sample sent again changes the patient of its own that it was given; any other order
// without PID-3 gets a new patient.
void OrderStore::saveUnnamedPatient(const OrderMessage& m, const QString& sample, QVariantList values,
                                    const QVariant& birth)
{
    KeptRows& kept = m_batch.kept;
    // Asked only for a sample sent again without PID-3, rarely, and by keys.
    if (const QVariant stored = m_batch.storedPatientOf.take(sample); !stored.isNull()) {
        if (const auto row = m_ctx.db.first(kOwnUnnamedPatient, {stored, stored, sample})) {
            const QString key = kUnnamedMark + u'P' + row->text(u"P_ID");
            m_batch.patients.insert(key, {true, row->value(u"P_ID"), false});
            m_batch.unnamedPatientOf.insert(sample, key);
        }
    }
    const QString own = m_batch.unnamedPatientOf.value(sample);
    if (own.isEmpty()) {
        const QString mark = kUnnamedMark + QString::number(++m_batch.unnamedPatients);
        kept.newPatients.append(values << mark << birth);
        m_batch.patients.insert(mark, {true, noPatient(), true});
        m_batch.unnamedPatientOf.insert(sample, mark);
        return;
    }
    const KnownPatient patient = m_batch.patients.value(own);
    if (patient.waiting) {
        const qsizetype siIdAt = kPatientColumns.indexOf(u"SI_ID"_s);
        for (QVariantList& row : kept.newPatients) {
            if (row.at(siIdAt) != own)
                continue;
            const QVariant lastBirth = birth.isNull() ? row.last() : birth;
            row = values << own << lastBirth;
            break;
        }
    } else {
        changePatient(kept.unnamedChanges, own, patient.id, values, birth);
    }
    m_ctx.log.logall(importtexts::PatientUpdatedLine(m.pid(3)), LogDirection::Monitor);
}

// Changes of one patient within a batch come to the last one's values, with the last birth
// date given; where keys are not compared as texts each stays a statement of its own, in order.
void OrderStore::changePatient(QList<QVariantList>& changes, const QString& patient, const QVariant& key,
                               QVariantList values, const QVariant& birth)
{
    KeptRows& kept = m_batch.kept;
    const bool merge = m_exactKeys || &changes == &kept.unnamedChanges;
    const auto earlier = kept.changeOf.constFind(patient);
    QVariant lastBirth = birth;
    if (merge && earlier != kept.changeOf.cend()) {
        const QVariantList& before = changes.at(*earlier);
        if (birth.isNull() && before.size() > kChangedColumns.size() + 1)
            lastBirth = before.at(kChangedColumns.size());
    }
    if (!lastBirth.isNull())
        values << lastBirth;
    values << key;
    if (merge && earlier != kept.changeOf.cend()) {
        changes[*earlier] = values;
        return;
    }
    kept.changeOf.insert(patient, changes.size());
    changes.append(values);
}

void OrderStore::SaveCustomer(const OrderMessage& m, const QString& customer)
{
    const QString value = FieldValue(m, customer);
    const QString id = customerId(value);
    const QString name = CutToColumn(value, sizes().customerName);
    if (m_batch.customerNamed.value(id))
        return;
    lookUpNow({}, {}, id);
    const std::optional<QString> stored = m_batch.customers.value(id);
    if (!stored)
        m_ctx.db.exec(m_ctx.db.dialect().insertUnlessPresent(
                          u"CUSTOMER"_s, {u"CUST_ID"_s, u"CUST_NAME"_s, u"CREATED"_s}, {u"CUST_ID"_s}),
                      {id, name, m_now});
    else if (stored->trimmed().isEmpty())
        m_ctx.db.exec(u"UPDATE CUSTOMER SET CUST_NAME = ? WHERE CUST_ID = ?"_s, {name, id});
    // What the row holds now the database tells: another program may have written it meanwhile.
    m_batch.customers.remove(id);
    m_batch.customerNamed.insert(id, stored || !name.trimmed().isEmpty());
}

void OrderStore::SaveSample(const OrderMessage& m)
{
    const QString id = sampleId(m);
    const QString patientId = siId(m);
    lookUpNow(patientId.isEmpty() ? QString() : patientId, id, {});
    if (!patientId.isEmpty()) { // its patient is a named one now
        m_batch.unnamedPatientOf.remove(id);
        m_batch.storedPatientOf.remove(id);
    }
    const QString patientKey = patientId.isEmpty() ? m_batch.unnamedPatientOf.value(id) : patientId;
    const KnownPatient patient = m_batch.patients.value(patientKey);
    const QDateTime collected =
        ParseDisplayDateTime(QString(m.CollectionDateText + u' ' + m.CollectionTimeText).trimmed());
    // Neither "no date" (1900) nor the zero date of a text in another shape is a collection.
    const bool hasCollection = collected.date().year() != 1900 && collected != ZeroDate();
    SampleRow row{{patientId, CutToColumn(FieldValue(m, m.orc(21)), sizes().sampleCustomer), orderKey(m), m_now,
                   CutToColumn(FieldValue(m, m.CollectionRemark), sizes().remark),
                   CutToColumn(m.SampleMaterial, sizes().material),
                   CutToColumn(QString::number(m.MaterialFlag), sizes().add3), kEntryUser,
                   patient.id.isNull() ? noPatient() : patient.id},
                  patient.waiting ? patientKey : QString(),
                  {}};
    if (m_batch.samples.value(id)) {
        row.sql = u"UPDATE SAMPLE_BASE SET SI_ID = ?, CUST_ID = ?, STATUS_1 = ?, LAST_CHANGE_DAT = ?, "
                  u"COMMENT_COLL = ?, SAMPLE_MAT = ?, ADD3 = ?, ENTRY_USER = ?, P_ID = ?"_s;
        if (hasCollection) {
            row.sql += u", COLL_DAT = ?"_s;
            row.values << collected;
        }
        row.values << id;
        row.sql += u" WHERE SAMPLE_ID = ?"_s;
        m_batch.kept.sampleChanges.append(row);
        m_ctx.log.logall(importtexts::SampleUpdatedLine(m.orc(2)), LogDirection::Monitor);
        return;
    }
    row.values.prepend(m_now);
    row.values << id << (hasCollection ? QVariant(collected) : QVariant(QMetaType(QMetaType::QDateTime)));
    m_batch.kept.samples.append(row);
    m_batch.samples.insert(id, true);
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
