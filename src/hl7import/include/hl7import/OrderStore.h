#pragma once

#include "hl7import/OrderMessage.h"
#include "runtime/Context.h"

#include <QHash>
#include <QSet>

namespace kestrin {

// The database steps of an order import. Values taken from the message are unescaped and
// cut to their column's size; every value is bound. One store serves one import cycle: what
// a cycle needs again and again (TEST_DEF's import codes, the customers known) it reads
// once, and one message's rows share one time stamp.
class OrderStore {
public:
    explicit OrderStore(Context& ctx);

    Context& context() { return m_ctx; }

    // Starts a message: the time its rows are stamped with.
    void beginMessage();

    // Rows that only ever grow (archived lines, requests, new samples, the import journal) are
    // kept back and written together: one statement for many messages. flush() writes them
    // (before a commit, before anything reads them). discard() ends the transaction's part of
    // the store, after its commit or with its rollback: what a rolled-back transaction wrote
    // or made known must not be taken for stored by the next one.
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
    void loadImportCodes();

    // Rows kept back until the next flush.
    struct KeptRows {
        QList<QVariantList> archived; // HL7_STRINGS
        QList<QVariantList> requests; // REQUEST
        QList<QVariantList> imported; // KESTRIN_IMPORTS
        QList<QVariantList> samples;  // new SAMPLE_BASE rows
        QSet<QString> sampleIds;      // and their IDs
    };
    // What one transaction wrote or learnt: dropped whole with it.
    struct Batch {
        KeptRows kept;
        QHash<QString, bool> customerNamed; // CUST_ID -> whether it has a name
    };

    Context& m_ctx;
    QDateTime m_now;
    QVariant m_patientId;       // the P_ID of the message's patient, from SavePatient for SaveSample
    bool m_sampleKnown = false; // from SavePatient's lookup, for SaveSample
    Batch m_batch;
    bool m_importCodesLoaded = false;
    QHash<QString, QString> m_parameterIds; // import code -> PARAMETER_ID, empty when none
};

// Text cut to a column's size without splitting a character; never a null text.
QString CutToColumn(const QString& text, int size);

} // namespace kestrin
