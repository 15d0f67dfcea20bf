#pragma once

#include "hl7/Message.h"
#include "hl7import/OrderMessage.h"
#include "hl7import/OrderStore.h"

namespace kestrin {

// What the failure lines name a message by, as the message wrote them: MSH-10 and ORC-2.
struct MessageIdentity {
    QString controlId;
    QString sampleId;
};

// Reads a file's messages into `message` and archives their MSH, PID, PV1, ORC and OBX lines,
// then deletes the sample's open requests (a cancellation) or stores the patient, customer,
// sample and requests. Throws on anything that goes wrong; the buffers then hold what was read
// so far. Clears the buffers when it succeeds and returns what they named the message by, for
// a failure that only the batch's commit finds.
MessageIdentity StoreMessages(OrderStore& store, const QList<Hl7Message>& messages, OrderMessage& message);

// The messages of one order file, read whole and decoded; a file that cannot be taken (too
// large, no regular file, unreadable) throws a MessageError. Needs no database.
QList<Hl7Message> ReadOrderFile(const Context& ctx, const QString& path);

// StoreMessages for one order file, read whole first.
MessageIdentity ReadMessageFile(OrderStore& store, const QString& path, OrderMessage& message);

// The same for the text of a message, without a file.
MessageIdentity ReadMessageText(OrderStore& store, const QString& text, OrderMessage& message);
// The same with a store of its own, its rows written at the end.
void ReadMessageText(Context& ctx, const QString& text, OrderMessage& message);

} // namespace kestrin
