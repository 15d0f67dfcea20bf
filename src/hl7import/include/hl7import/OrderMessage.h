#pragma once

#include "hl7/Escaping.h"

#include <QString>

#include <array>

namespace kestrin {

// One HL7 order message as the import holds it while reading: the fields of its segments
// by HL7 field number, the segment counters, and the values derived from them.
struct OrderMessage {
    static constexpr int kFieldSlots = 100;   // elements 0..99: [0] the whole line
    static constexpr int kRowSlots = 100;     // rows 1..99 of repeated segments
    static constexpr int kObrObxColumns = 21; // columns 0..20
    static constexpr int kNteColumns = 6;     // columns 0..5; NTE-n in column n + 1

    using Fields = std::array<QString, kFieldSlots>;
    template <int Columns> using Rows = std::array<std::array<QString, Columns>, kRowSlots>;

    Fields MshFields; // [n] MSH-n for n = 2..99; [1] stays empty (MSH-1 is the separator)
    Fields PidFields;
    Fields Pv1Fields;
    Fields OrcFields;
    Rows<kObrObxColumns> ObrFields;
    Rows<kObrObxColumns> ObxFields;
    Rows<kNteColumns> NteFields;

    struct Counts {
        qint16 msh = 0, pid = 0, pv1 = 0, orc = 0, obr = 0, obx = 0, nte = 0;
    } SegmentCounts;

    // What the last MSH declared; the standard ones before an MSH.
    Hl7Delimiters Delimiters;

    QString PatientSurname;
    QString PatientForename;
    QString CollectionDateText;
    QString CollectionTimeText;
    QString CollectionRemark;
    QString SampleMaterial;
    qint16 MaterialFlag = 0;

    // Field n of the segments that occur once; row k of the repeated ones.
    const QString& msh(int n) const { return MshFields.at(n); }
    const QString& pid(int n) const { return PidFields.at(n); }
    const QString& orc(int n) const { return OrcFields.at(n); }
    const QString& obr(int row, int n) const { return ObrFields.at(row).at(n); }
    const QString& nte(int row, int n) const { return NteFields.at(row).at(n + 1); }
};

// Empties every buffer, counter and derived value, so the next message starts clean.
void ClearMessageBuffers(OrderMessage& message);

// The value a message field stands for: escapes resolved with the message's own delimiters.
QString FieldValue(const OrderMessage& message, const QString& raw);

} // namespace kestrin
