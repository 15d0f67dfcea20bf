#pragma once

#include "hl7import/OrderMessage.h"

namespace kestrin {

// Puts the fields of one segment line into the message's buffers: MSH-n into MshFields[n]
// (the separator is MSH-1), NTE-n into column n + 1, the others into element n; blanks
// around a value are removed. `row` is the segment's counter for OBR, OBX and NTE. A field
// beyond its buffer throws a MessageError.
void SplitSegmentFields(OrderMessage& message, const QString& line, int row, const QString& identifier);

// Surname and forename from PID-5: components 1 and 2, components 7 and later (titles) in
// front of the forename. Fewer than two components throw a MessageError.
void SplitPatientName(OrderMessage& message);

// The collection date, time, remark and sample material from the comments (NTE-3) of the
// first `nteCount` notes: "... URIN DATUM 24.12.2005 URIN UHRZEIT 08:15 ...".
void EvaluateNotes(OrderMessage& message, int nteCount, const QString& stdSampleMaterial);

} // namespace kestrin
