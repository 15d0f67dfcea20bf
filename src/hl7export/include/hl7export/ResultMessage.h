#pragma once

#include "hl7/Message.h"
#include "hl7export/StoredKey.h"
#include "hl7export/TestCatalogue.h"
#include "runtime/Context.h"

#include <QStringList>

namespace kestrin {

// The ORU^R01 message of one sample, and its lines by kind as it prints them.
struct ResultMessage {
    Hl7Message hl7; // MSH, PID, PV1, OBR, the OBX segments, the NTE segments

    QString msh;
    QString pid; // as the order brought it, or empty
    QString pv1;
    QString obr;
    QStringList obx;
    QStringList nte; // at most three comments

    // MSH, PID, PV1, OBR, the OBX lines, the NTE lines: the order they are written in.
    QStringList lines() const;
    // MSH-10 as written.
    QString controlId() const;
};

// Composes the result message of a sample: its stored results and its open requests, its
// comments, and the PID and PV1 lines of its order. Values from the database are escaped;
// NULLs give empty text.
ResultMessage ComposeResultMessage(Context& ctx, const StoredKey& sample, const TestCatalogue& tests);
ResultMessage ComposeResultMessage(Context& ctx, const QString& sampleId, const TestCatalogue& tests);

// OBR-7: yyyymmddhhmm, or the eight digits of the date for a time of exactly midnight.
QString ObservationTime(const QDateTime& lastChange);

} // namespace kestrin
