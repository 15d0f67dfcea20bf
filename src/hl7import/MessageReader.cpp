#include "hl7import/MessageReader.h"

#include "core/DurableFiles.h"
#include "core/TextLines.h"
#include "hl7import/MessageError.h"
#include "hl7import/MessageParsing.h"
#include "hl7import/OrderFileDecoding.h"
#include "hl7import/OrderStore.h"

#include <limits>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

constexpr qint16 kMaxRepeats = 99; // rows of OBR, OBX and NTE
// A file of thousands of unknown segments must not flood the log.
constexpr int kMaxUnknownLines = 100;

qint16 nextRow(qint16& counter, const QString& identifier)
{
    if (counter >= kMaxRepeats)
        throw MessageError(u"The message holds more than %1 %2 segments."_s.arg(kMaxRepeats).arg(identifier));
    return ++counter;
}

void readLine(OrderStore& store, OrderMessage& m, const QString& line, int& unknown)
{
    Context& ctx = store.context();
    if (line.isEmpty())
        return;
    const QString read = line.left(3);
    const QString id = read.toUpper();
    OrderMessage::Counts& counts = m.SegmentCounts;
    // MSH, PID, PV1, ORC: one set of fields, overwritten by a later segment of the kind.
    const auto single = [&](OrderMessage::Fields& fields, qint16& counter) {
        if (counter == std::numeric_limits<qint16>::max())
            throw MessageError(u"The message holds more than %1 %2 segments."_s.arg(counter).arg(id));
        fields[0] = line;
        SplitSegmentFields(m, line, ++counter, id);
        store.ArchiveSegment(m, line, id, counter);
    };
    if (id == u"MSH") {
        single(m.MshFields, counts.msh);
    } else if (id == u"PID") {
        single(m.PidFields, counts.pid);
        SplitPatientName(m);
    } else if (id == u"PV1") {
        single(m.Pv1Fields, counts.pv1);
    } else if (id == u"ORC") {
        single(m.OrcFields, counts.orc);
    } else if (id == u"OBR") {
        const qint16 row = nextRow(counts.obr, id);
        m.ObrFields[row][0] = line;
        SplitSegmentFields(m, line, row, id);
    } else if (id == u"OBX") {
        const qint16 row = nextRow(counts.obx, id);
        m.ObxFields[row][0] = line;
        SplitSegmentFields(m, line, row, id);
        store.ArchiveSegment(m, line, id, row);
    } else if (id == u"NTE") {
        const qint16 row = nextRow(counts.nte, id);
        m.NteFields[row][0] = line;
        SplitSegmentFields(m, line, row, id);
    } else if (++unknown <= kMaxUnknownLines) {
        ctx.log.logall(u"Unbekannte Kennung: "_s + read, LogDirection::OrderIn);
    }
}

// A sample without ID, or a patient without ID, cannot be stored sensibly.
void requireIdentifiers(const OrderMessage& m)
{
    if (FieldValue(m, m.orc(2)).isEmpty())
        throw MessageError(u"The message names no sample: ORC-2 is empty."_s);
    if (FieldValue(m, m.pid(3)).isEmpty())
        throw MessageError(u"The message names no patient: PID-3 is empty."_s);
}

} // namespace

MessageIdentity ReadMessageText(OrderStore& store, const QString& text, OrderMessage& m)
{
    Context& ctx = store.context();
    store.beginMessage();
    ClearMessageBuffers(m); // whatever an earlier message left
    int unknown = 0;
    ForEachLine(text, [&](QStringView line) {
        if (!line.isEmpty())
            readLine(store, m, line.toString(), unknown);
    });
    if (unknown > kMaxUnknownLines)
        ctx.log.logall(u"%1 further segments of unknown kind in this message are not listed one by one."_s.arg(
                           unknown - kMaxUnknownLines),
                       LogDirection::OrderIn);
    ctx.log.logall(u"Nachricht eingelesen: "_s + m.msh(10) + u" Auftrag/Probe: "_s + m.orc(2), LogDirection::OrderIn);
    if (m.orc(1) == ctx.config.CancelSign) {
        store.DeleteOpenRequests(FieldValue(m, m.orc(2)));
        ctx.log.logall(u"Storno Nachricht: "_s + m.msh(10) + u" Auftrag/Probe: "_s + m.orc(2), LogDirection::OrderIn);
    } else {
        requireIdentifiers(m);
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

MessageIdentity ReadMessageFile(OrderStore& store, const QString& path, OrderMessage& m)
{
    Context& ctx = store.context();
    const qint64 limit = ctx.config.ImportMaxBytes;
    // A pipe or device would never end; a huge file would take the machine's memory.
    const BoundedRead read = ReadBoundedFile(path, limit);
    switch (read.problem) {
    case BoundedRead::Problem::None:
        break;
    case BoundedRead::Problem::NotRegular:
        throw MessageError(u"The order file %1 is no regular file."_s.arg(path));
    case BoundedRead::Problem::TooLarge:
        throw MessageError(u"The order file %1 has %2 bytes, more than ImportMaxBytes (%3); it is not read."_s.arg(
            path, QString::number(qMax(read.size, qint64(read.bytes.size()))), QString::number(limit)));
    case BoundedRead::Problem::Unreadable:
        throw MessageError(u"The order file %1 cannot be read: %2"_s.arg(path, read.error));
    }
    return ReadMessageText(store, DecodeOrderFile(read.bytes, ctx.config.Charset), m);
}

} // namespace kestrin
