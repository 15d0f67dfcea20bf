#pragma once

#include <QString>
#include <QVariant>

namespace kestrin {

// The record kinds of an analyser link, as plain data. They stay aggregates without
// constructors, which is what lets Result keep a member named Result.

struct Order {
    QVariant vntIndexKey;
    QString RecordType;
    QString SequenceNr;
    QString SampleID;
    QString InstrSampleID;
    QString TestID;
};

struct Patient {
    QVariant vntIndexKey;
    QString RecordType;
    QString SequenceNr;
    QString PatID1;
    QString SampleID;
    QString PatID2;
    QString PatName;
    QString PatBirth;
    QString PatSex;
    QString SenderID;
};

struct Result {
    QString RecordType;
    QString SequenceNr;
    QString TestID;
    QString Result;
    QString Units;
    QString RefRanges;
    QString ResultFlags;
    QString Noname1;
    QString ResultStatus;
    QString Noname2;
    QString Noname3;
    QString Noname4;
    QString Datum;
    QString AnalyzerID;
};

} // namespace kestrin
