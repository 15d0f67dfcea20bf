#pragma once

#include "core/FolderHandle.h"
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

// How order files are read: the largest that is, and the character set of those that name none.
struct OrderFileRules {
    qint64 maxBytes = 0;
    QString charset;
};

struct OrderFileContent {
    QList<Hl7Message> messages;
    QByteArray digest; // of the bytes read, to know the file again
};

// The messages of the file `name` of a folder, read whole and decoded; `shownName` names it in
// errors. A file that cannot be taken (too large, a link, no regular file, one of several
// names, unreadable) throws a MessageError, a file that is gone an OrderFileGone. Needs no
// database.
OrderFileContent ReadOrderFile(const FolderHandle& folder, const QString& name, const QString& shownName,
                               const OrderFileRules& rules);

// The same for the text of a message, without a file.
MessageIdentity ReadMessageText(OrderStore& store, const QString& text, OrderMessage& message);
// The same with a store of its own, its rows written at the end.
void ReadMessageText(Context& ctx, const QString& text, OrderMessage& message);

} // namespace kestrin
