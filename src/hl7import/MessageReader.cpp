#include "hl7import/MessageReader.h"

#include "core/TextLines.h"
#include "hl7import/MessageError.h"
#include "hl7import/MessageParsing.h"
#include "hl7import/OrderFileDecoding.h"
#include "hl7import/OrderStore.h"

#include <QFile>
#include <QFileInfo>

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

void readLine(Context& ctx, OrderMessage& m, const QString& line, int& unknown)
{
    if (line.isEmpty())
        return;
    const QString read = line.left(3);
    const QString id = read.toUpper();
    OrderMessage::Counts& counts = m.SegmentCounts;
    // MSH, PID, PV1, ORC: one set of fields, overwritten by a later segment of the kind.
    const auto single = [&](OrderMessage::Fields& fields, qint16& counter) {
        fields[0] = line;
        SplitSegmentFields(m, line, ++counter, id);
        ArchiveSegment(ctx, m, line, id, counter);
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
        ArchiveSegment(ctx, m, line, id, row);
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

void ReadMessageText(Context& ctx, const QString& text, OrderMessage& m)
{
    m.SegmentCounts = {};
    int unknown = 0;
    for (const QString& line : SplitLines(text))
        readLine(ctx, m, line, unknown);
    if (unknown > kMaxUnknownLines)
        ctx.log.logall(u"%1 further segments of unknown kind in this message are not listed one by one."_s.arg(
                           unknown - kMaxUnknownLines),
                       LogDirection::OrderIn);
    ctx.log.logall(u"Nachricht eingelesen: "_s + m.msh(10) + u" Auftrag/Probe: "_s + m.orc(2), LogDirection::OrderIn);
    if (m.orc(1) == ctx.config.CancelSign) {
        DeleteOpenRequests(ctx, FieldValue(m, m.orc(2)));
        ctx.log.logall(u"Storno Nachricht: "_s + m.msh(10) + u" Auftrag/Probe: "_s + m.orc(2), LogDirection::OrderIn);
    } else {
        requireIdentifiers(m);
        EvaluateNotes(m, m.SegmentCounts.nte, ctx.config.StdSampleMaterial);
        SavePatient(ctx, m);
        SaveCustomer(ctx, m, m.orc(21));
        SaveSample(ctx, m);
        SaveRequests(ctx, m);
    }
    ClearMessageBuffers(m);
}

void ReadMessageFile(Context& ctx, const QString& path, OrderMessage& m)
{
    const qint64 limit = ctx.config.ImportMaxBytes;
    const QFileInfo info(path);
    // A pipe or device would never end; a huge file would take the machine's memory.
    if (!info.isFile())
        throw MessageError(u"The order file %1 is no regular file."_s.arg(path));
    if (info.size() > limit)
        throw MessageError(u"The order file %1 has %2 bytes, more than ImportMaxBytes (%3); it is not read."_s.arg(
            path, QString::number(info.size()), QString::number(limit)));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw MessageError(u"The order file %1 cannot be read: %2"_s.arg(path, file.errorString()));
    const QByteArray bytes = file.read(limit + 1);
    file.close();
    if (bytes.size() > limit)
        throw MessageError(u"The order file %1 grew beyond ImportMaxBytes (%2) while it was read."_s.arg(
            path, QString::number(limit)));
    ReadMessageText(ctx, DecodeOrderFile(bytes, ctx.config.Charset), m);
}

} // namespace kestrin
