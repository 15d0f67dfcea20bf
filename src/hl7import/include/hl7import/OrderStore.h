#pragma once

#include "hl7import/OrderMessage.h"
#include "station/Context.h"

namespace kestrin {

// The database steps of an order import. Values taken from the message are unescaped and
// cut to their column's size; every value is bound.

// Keeps one segment line under its message's control ID (MSH-10) in HL7_STRINGS.
void ArchiveSegment(Context& ctx, const OrderMessage& message, const QString& line, const QString& identifier,
                    int counter);
// A cancellation: the sample's requests without result and analyser go.
void DeleteOpenRequests(Context& ctx, const QString& sampleId);
void SavePatient(Context& ctx, const OrderMessage& message);
void SaveBirthDate(Context& ctx, const OrderMessage& message);
void SaveCustomer(Context& ctx, const OrderMessage& message, const QString& customer);
void SaveSample(Context& ctx, const OrderMessage& message);
void SaveCollectionDate(Context& ctx, const OrderMessage& message);
void SaveRequests(Context& ctx, const OrderMessage& message);
// The PARAMETER_ID of the test with this import code, as text; empty when there is none.
QString LookupParameterId(Context& ctx, const QString& importCode);

// The value a message field stands for: escapes resolved with the message's own delimiters.
QString FieldValue(const OrderMessage& message, const QString& raw);
// Text cut to a column's size without splitting a character; never a null text.
QString CutToColumn(const QString& text, int size);

} // namespace kestrin
