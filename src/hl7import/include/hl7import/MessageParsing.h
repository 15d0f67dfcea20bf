#pragma once

#include "hl7/Message.h"
#include "hl7import/OrderMessage.h"

#include <functional>

namespace kestrin {

// A segment line kept in HL7_STRINGS: the control ID (MSH-10) read before it, its kind, its
// counter among the segments of that kind in the file, and the line as read.
struct ArchivedLine {
    QString controlId;
    QString identifier;
    int counter = 0;
    QString line;
};

// Reads the segments of a file's messages, in the order read, into the buffers: a second MSH
// overwrites the fields it has. Returns the MSH, PID, PV1, ORC and OBX lines to archive, and
// hands each segment of unknown kind to `unknown` with its identifier as read. A segment that
// does not fit the buffers throws a MessageError; they then hold what was read before it.
QList<ArchivedLine> ReadOrderSegments(const QList<Hl7Message>& messages, OrderMessage& message,
                                      const std::function<void(const QString&)>& unknown);

// The values an order names its patient (PID-3), sample (ORC-2) and customer (ORC-21) by, escapes
// resolved, as ReadOrderSegments leaves them: read ahead of storing, so that the orders of a
// batch can be looked up together.
struct OrderKeys {
    QString patient;
    QString sample;
    QString customer;
};
OrderKeys ReadOrderKeys(const QList<Hl7Message>& messages);

// Puts the fields of one segment into the message's buffers: MSH-n into MshFields[n] (the
// separator is MSH-1), NTE-n into column n + 1, the others into element n; blanks around a
// value are removed. `row` is the segment's counter for OBR, OBX and NTE. A field beyond its
// buffer throws a MessageError.
void SplitSegmentFields(OrderMessage& message, const Hl7Segment& segment, int row, const QString& identifier);
// The same for a line, parted by the delimiters it declares (an MSH) or the message's.
void SplitSegmentFields(OrderMessage& message, const QString& line, int row, const QString& identifier);

// Surname and forename from PID-5: components 1 and 2, components 7 and later (titles) in
// front of the forename. Fewer than two components throw a MessageError.
void SplitPatientName(OrderMessage& message);

// The collection date, time, remark and sample material from the comments (NTE-3) of the
// first `nteCount` notes: "... URIN DATUM 24.12.2005 URIN UHRZEIT 08:15 ...".
void EvaluateNotes(OrderMessage& message, int nteCount, const QString& stdSampleMaterial);

} // namespace kestrin
