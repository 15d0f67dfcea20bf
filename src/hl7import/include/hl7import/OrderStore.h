#pragma once

#include "hl7import/MessageParsing.h"
#include "hl7import/OrderMessage.h"
#include "runtime/Context.h"

#include <QHash>
#include <QSet>

#include <optional>

namespace kestrin {

// The database steps of an order import. Values taken from the message are unescaped and
// cut to their column's size; every value is bound. One store serves one import cycle: what
// a cycle needs again and again (TEST_DEF's import codes) it reads once, and one message's
// rows share one time stamp.
//
// Over a network each statement costs a round trip, so a batch's orders go to the database
// together: its patients, samples and customers are looked up with one statement
// (LookUpAhead), and the rows are kept back and written with a few statements at flush(). What
// the batch wrote is known by its keys meanwhile, so a later message that names a patient or
// sample an earlier one created or changed finds it as it would in the database.
class OrderStore {
public:
    explicit OrderStore(Context& ctx);

    Context& context() { return m_ctx; }

    // Starts a message: the time its rows are stamped with.
    void beginMessage();

    // Looks up the patients, samples and customers these orders name, all with one statement.
    // Only ahead of time: whatever a message needs and was not looked up is asked for then.
    void LookUpAhead(const QList<OrderKeys>& orders);

    // Writes what is kept back: new patients, changed patients, new and changed samples,
    // archived lines, requests and the import journal (before a commit, before anything reads
    // them). discard() ends the transaction's part of the store, after its commit or with its
    // rollback: what a rolled-back transaction wrote or made known must not be taken for stored
    // by the next one.
    void flush();
    void discard();
    // The claimed file the message came from, for the import journal.
    void RecordImported(const QString& claimName, const QString& fileName);

    // Keeps one segment line under its message's control ID (MSH-10) in HL7_STRINGS.
    void ArchiveSegment(const QString& controlId, const QString& line, const QString& identifier, int counter);
    // A cancellation: the sample's requests without result and analyser go.
    void DeleteOpenRequests(const QString& sampleId);
    // The patient, with the birth date when PID-7 holds one.
    void SavePatient(const OrderMessage& message);
    void SaveCustomer(const OrderMessage& message, const QString& customer);
    // The sample, with the collection date when the notes give one.
    void SaveSample(const OrderMessage& message);
    void SaveRequests(const OrderMessage& message);
    // The PARAMETER_ID of the test with this import code, as text; empty when there is none.
    QString LookupParameterId(const QString& importCode);

private:
    // A patient as the batch sees it, by SI_ID, or for a patient without one by a key of its own
    // that no SI_ID can be (see OrderStore.cpp). `id` is the first P_ID; it is null while the
    // patient's new row waits in KeptRows::newPatients.
    struct KnownPatient {
        bool exists = false;
        QVariant id;
        bool waiting = false;
    };
    // A SAMPLE_BASE row or change; `patient` names the patient whose P_ID it takes once the
    // patient's new row is written (empty when the P_ID is in `values`).
    struct SampleRow {
        QVariantList values;
        QString patient;
        QString sql; // the UPDATE of a change
    };
    // Rows kept back until the next flush.
    struct KeptRows {
        QList<QVariantList> newPatients;    // SURNAME, FORENAME, SEX, ENTRY_DATE, SI_ID, BIRTH
        QList<QVariantList> patientChanges; // SURNAME, FORENAME, SEX, ENTRY_DATE[, BIRTH], SI_ID
        QList<QVariantList> unnamedChanges; // the same for patients without SI_ID, by P_ID
        QHash<QString, qsizetype> changeOf; // patient -> its row in patientChanges or unnamedChanges
        QList<SampleRow> samples;           // new SAMPLE_BASE rows
        QList<SampleRow> sampleChanges;     // in message order
        QList<QVariantList> archived;       // HL7_STRINGS
        QList<QVariantList> requests;       // REQUEST
        QList<QVariantList> imported;       // KESTRIN_IMPORTS
    };
    // What one transaction wrote or learnt: dropped whole with it.
    struct Batch {
        KeptRows kept;
        QHash<QString, KnownPatient> patients;            // by SI_ID
        QHash<QString, QString> unnamedPatientOf;         // SAMPLE_ID -> its own patient without SI_ID
        QHash<QString, QVariant> storedPatientOf;         // SAMPLE_ID -> its P_ID as looked up
        int unnamedPatients = 0;                          // new ones so far
        QHash<QString, bool> samples;                     // SAMPLE_ID -> whether it is stored
        QHash<QString, std::optional<QString>> customers; // CUST_ID -> its name, if stored
        QHash<QString, bool> customerNamed;               // CUST_ID -> whether it has a name
    };

    void loadImportCodes();
    // Asks the database for the keys the batch does not know yet.
    void lookUp(QStringList patients, QStringList samples, QStringList customers, bool absentIsKnown);
    // The same for one message's keys, as it needs them.
    void lookUpNow(const QString& patient, const QString& sample, const QString& customer);
    // An order without PID-3: its sample's own patient, never one found by the empty SI_ID.
    void saveUnnamedPatient(const OrderMessage& message, const QString& sample, QVariantList values,
                            const QVariant& birth);
    void changePatient(QList<QVariantList>& changes, const QString& patient, const QVariant& key, QVariantList values,
                       const QVariant& birth);
    void writePatientChanges(QList<QVariantList>& changes, const QString& keyColumn);
    void writeNewRows();
    QVariant patientIdOf(const SampleRow& row, qsizetype index) const;

    Context& m_ctx;
    QDateTime m_now;
    Batch m_batch;
    bool m_exactKeys;
    bool m_importCodesLoaded = false;
    QHash<QString, QString> m_parameterIds; // import code -> PARAMETER_ID, empty when none
};

// Text cut to a column's size without splitting a character; never a null text.
QString CutToColumn(const QString& text, int size);

} // namespace kestrin
