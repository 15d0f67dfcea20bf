#include "hl7import/MessageReader.h"

#include "FixedTexts.h"
#include "core/DurableFiles.h"
#include "core/TextLines.h"
#include "hl7/FileDecoding.h"
#include "hl7import/ImportFolder.h"
#include "hl7import/MessageError.h"
#include "hl7import/MessageParsing.h"
#include "hl7import/OrderStore.h"

#include <QCryptographicHash>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// A file of thousands of unknown segments must not flood the log.
constexpr int kMaxUnknownLines = 100;
// Segments of one order file: an order has a few dozen, and each costs the message a place
// beside its line (five million segments of two characters would cost six times the file).
constexpr qsizetype kMaxSegments = 100000;

// A sample without ID cannot be stored sensibly. A patient without ID can: an anonymous sample
// gets a patient of its own.
void requireSampleId(const OrderMessage& m)
{
    if (FieldValue(m, m.orc(2)).isEmpty())
        throw MessageError(u"The message names no sample: ORC-2 is empty."_s);
}

// The messages of a text, counted before they are read.
QList<Hl7Message> readMessages(const QString& text)
{
    qsizetype segments = 0;
    ForEachLine(text, [&segments](QStringView line) { segments += line.isEmpty() ? 0 : 1; });
    if (segments > kMaxSegments)
        throw MessageError(u"The order file holds %1 segments; at most %2 are read."_s.arg(segments).arg(kMaxSegments));
    return ReadHl7(text);
}

} // namespace

MessageIdentity ReadMessageText(OrderStore& store, const QString& text, OrderMessage& m)
{
    return StoreMessages(store, readMessages(text), m);
}

MessageIdentity StoreMessages(OrderStore& store, const QList<Hl7Message>& messages, OrderMessage& m)
{
    Context& ctx = store.context();
    store.beginMessage();
    ClearMessageBuffers(m); // whatever an earlier message left
    int unknown = 0;
    const QList<ArchivedLine> archived = ReadOrderSegments(messages, m, [&](const QString& identifier) {
        if (++unknown <= kMaxUnknownLines)
            ctx.log.logall(importtexts::UnknownSegmentLine(identifier), LogDirection::OrderIn);
    });
    if (unknown > kMaxUnknownLines)
        ctx.log.logall(u"%1 further segments of unknown kind in this message are not listed one by one."_s.arg(
                           unknown - kMaxUnknownLines),
                       LogDirection::OrderIn);
    for (const ArchivedLine& line : archived)
        store.ArchiveSegment(line.controlId, line.line, line.identifier, line.counter);
    ctx.log.logall(importtexts::MessageReadLine(m.msh(10), m.orc(2)), LogDirection::OrderIn);
    if (m.orc(1) == ctx.config.CancelSign) {
        store.DeleteOpenRequests(FieldValue(m, m.orc(2)));
        ctx.log.logall(importtexts::CancellationLine(m.msh(10), m.orc(2)), LogDirection::OrderIn);
    } else {
        requireSampleId(m);
        EvaluateNotes(m, m.SegmentCounts.nte, ctx.config.StdSampleMaterial);
        store.SavePatient(m);
        store.SaveCustomer(m, m.orc(21));
        store.SaveSample(m);
        store.SaveRequests(m);
    }
    MessageIdentity identity{m.msh(10), m.orc(2)};
    ClearMessageBuffers(m);
    return identity;
}

void ReadMessageText(Context& ctx, const QString& text, OrderMessage& m)
{
    OrderStore store(ctx);
    ReadMessageText(store, text, m);
    store.flush();
}

OrderFileContent ReadOrderFile(const FolderHandle& folder, const QString& name, const QString& shownName,
                               const OrderFileRules& rules)
{
    // A pipe or device would never end; a huge file would take the machine's memory; a link or
    // a second name may lead to a file that is not the sender's to give.
    BoundedRead read = folder.read(name, rules.maxBytes);
    if (read.gone)
        throw OrderFileGone(u"The order file %1 was removed by another program."_s.arg(shownName));
    if (read.links > 1)
        throw MessageError(u"The order file %1 is %2; it is not read."_s.arg(
            shownName, NotAnOrderFile({FolderHandle::Kind::File, read.links, 0, 0})));
    switch (read.problem) {
    case BoundedRead::Problem::None:
        break;
    case BoundedRead::Problem::NotRegular:
        throw MessageError(u"The order file %1 is no regular file."_s.arg(shownName));
    case BoundedRead::Problem::TooLarge:
        throw MessageError(u"The order file %1 has %2 bytes, more than ImportMaxBytes (%3); it is not read."_s.arg(
            shownName, QString::number(qMax(read.size, qint64(read.bytes.size()))), QString::number(rules.maxBytes)));
    case BoundedRead::Problem::Unreadable:
        throw MessageError(u"The order file %1 cannot be read: %2"_s.arg(shownName, read.error));
    }
    const QByteArray digest = QCryptographicHash::hash(read.bytes, QCryptographicHash::Sha1);
    const QString text = DecodeOrderFile(read.bytes, rules.charset);
    read.bytes = {}; // the text holds it now
    return {readMessages(text), digest};
}

} // namespace kestrin
