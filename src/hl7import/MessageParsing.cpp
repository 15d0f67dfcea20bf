#include "hl7import/MessageParsing.h"

#include "hl7import/MessageError.h"

#include <QStringTokenizer>

#include <limits>
#include <utility>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

constexpr qint16 kMaxRepeats = 99; // rows of OBR, OBX and NTE
// Components of PID-5 read: a name has a handful; a million would each cost a list entry.
constexpr qsizetype kMaxNameComponents = 100;
constexpr qsizetype kLongestKeyword = 7; // of URIN, DATUM and UHRZEIT
// How much of a failing value an error text shows: the text goes into the log.
constexpr qsizetype kShownValueChars = 100;

[[noreturn]] void tooManySegments(int count, const QString& identifier)
{
    throw MessageError(u"The message holds more than %1 %2 segments."_s.arg(count).arg(identifier));
}

qint16 nextRow(qint16& counter, const QString& identifier)
{
    if (counter >= kMaxRepeats)
        tooManySegments(kMaxRepeats, identifier);
    return ++counter;
}

[[noreturn]] void tooManyFields(const QString& identifier, qsizetype fields, int last)
{
    throw MessageError(u"A %1 segment has %2 fields; at most %3 are possible."_s.arg(
        identifier, QString::number(fields), QString::number(last)));
}

// The last field the buffers have room for in a segment of this kind (MSH-99 is element 99,
// NTE-4 column 5); 0 for a kind they do not hold.
int lastField(const QString& id)
{
    if (id == u"MSH")
        return OrderMessage::kFieldSlots - 2;
    if (id == u"PID" || id == u"PV1" || id == u"ORC")
        return OrderMessage::kFieldSlots - 1;
    if (id == u"OBR" || id == u"OBX")
        return OrderMessage::kObrObxColumns - 1;
    if (id == u"NTE")
        return OrderMessage::kNteColumns - 2;
    return 0;
}

void requireRoom(const QString& id, qsizetype fields)
{
    if (fields > lastField(id))
        tooManyFields(id, fields, lastField(id));
}

QString shownValue(const QString& value)
{
    return value.size() <= kShownValueChars ? value : value.left(kShownValueChars) + u"..."_s;
}

} // namespace

QList<ArchivedLine> ReadOrderSegments(const QList<Hl7Message>& messages, OrderMessage& m,
                                      const std::function<void(const QString&)>& unknown)
{
    QList<ArchivedLine> archived;
    OrderMessage::Counts& counts = m.SegmentCounts;
    for (const Hl7Message& message : messages) {
        for (qsizetype i = 0; i < message.size(); ++i) {
            const QStringView view = message.line(i);
            const QString read = view.left(3).toString();
            const QString id = read.toUpper();
            if (lastField(id) == 0) {
                unknown(read);
                continue;
            }
            // Counted before it is parted: a line of a million separators fails without a list
            // of a million fields.
            requireRoom(id, view.count(message.delimiters.field));
            const QString line = view.toString();
            const Hl7Segment segment = ReadHl7Segment(line, message.delimiters.field);
            const auto archive = [&](int counter) { archived.append({FieldValue(m, m.msh(10)), id, counter, line}); };
            // MSH, PID, PV1, ORC: one set of fields, overwritten by a later segment of the kind.
            const auto single = [&](OrderMessage::Fields& fields, qint16& counter) {
                if (counter == std::numeric_limits<qint16>::max())
                    tooManySegments(counter, id);
                fields[0] = line;
                SplitSegmentFields(m, segment, ++counter, id);
                archive(counter);
            };
            const auto repeated = [&](auto& rows, qint16& counter) {
                const qint16 row = nextRow(counter, id);
                rows[row][0] = line;
                SplitSegmentFields(m, segment, row, id);
                return row;
            };
            if (id == u"MSH") {
                m.Delimiters = message.delimiters;
                single(m.MshFields, counts.msh);
            } else if (id == u"PID") {
                single(m.PidFields, counts.pid);
                SplitPatientName(m);
            } else if (id == u"PV1") {
                single(m.Pv1Fields, counts.pv1);
            } else if (id == u"ORC") {
                single(m.OrcFields, counts.orc);
            } else if (id == u"OBR") {
                repeated(m.ObrFields, counts.obr);
            } else if (id == u"OBX") {
                archive(repeated(m.ObxFields, counts.obx));
            } else {
                repeated(m.NteFields, counts.nte);
            }
        }
    }
    return archived;
}

OrderKeys ReadOrderKeys(const QList<Hl7Message>& messages)
{
    OrderKeys keys;
    Hl7Delimiters delimiters;
    // A later segment of the kind overwrites only the fields it has.
    const auto take = [](const Hl7Segment& segment, qsizetype n, QString& key) {
        if (n < segment.fields.size())
            key = WithoutBlanksAround(segment.fields.at(n));
    };
    for (const Hl7Message& message : messages) {
        for (qsizetype i = 0; i < message.size(); ++i) {
            const QString id = message.line(i).left(3).toString().toUpper();
            if (id == u"MSH") {
                delimiters = message.delimiters;
            } else if (id == u"PID") {
                // Parted up to the field read, the rest of a long line left in one piece.
                take(message.segment(i, 3 + 2), 3, keys.patient);
            } else if (id == u"ORC") {
                const Hl7Segment segment = message.segment(i, 21 + 2);
                take(segment, 2, keys.sample);
                take(segment, 21, keys.customer);
            }
        }
    }
    for (QString* key : {&keys.patient, &keys.sample, &keys.customer})
        *key = UnescapeHl7(*key, delimiters);
    return keys;
}

void SplitSegmentFields(OrderMessage& m, const QString& line, int row, const QString& identifier)
{
    if (identifier.toUpper() == u"MSH")
        m.Delimiters = Hl7Delimiters::declaredBy(line);
    SplitSegmentFields(m, ReadHl7Segment(line, m.Delimiters.field), row, identifier);
}

void SplitSegmentFields(OrderMessage& m, const Hl7Segment& segment, int row, const QString& identifier)
{
    const QString id = identifier.toUpper();
    if (lastField(id) == 0)
        return;
    const QStringList& parts = segment.fields;
    requireRoom(id, parts.size() - 1);
    for (qsizetype n = 1; n < parts.size(); ++n) {
        const QString v = WithoutBlanksAround(parts.at(n));
        const auto at = [n](auto& buffer, qsizetype shift) -> QString& { return buffer.at(std::size_t(n + shift)); };
        if (id == u"MSH")
            at(m.MshFields, 1) = v;
        else if (id == u"PID")
            at(m.PidFields, 0) = v;
        else if (id == u"PV1")
            at(m.Pv1Fields, 0) = v;
        else if (id == u"ORC")
            at(m.OrcFields, 0) = v;
        else if (id == u"OBR")
            at(m.ObrFields.at(std::size_t(row)), 0) = v;
        else if (id == u"OBX")
            at(m.ObxFields.at(std::size_t(row)), 0) = v;
        else
            at(m.NteFields.at(std::size_t(row)), 1) = v;
    }
}

void SplitPatientName(OrderMessage& m)
{
    m.PatientSurname.clear();
    m.PatientForename.clear();
    const QString& name = m.PidFields[5];
    if (const qsizetype components = name.count(m.Delimiters.component) + 1; components > kMaxNameComponents)
        throw MessageError(u"PID-5 has %1 components; at most %2 are read."_s.arg(components).arg(kMaxNameComponents));
    const QStringList c = name.split(m.Delimiters.component);
    if (c.size() < 2)
        throw MessageError(u"PID-5 \"%1\" holds no surname^forename."_s.arg(shownValue(name)));
    if (!c.at(0).isEmpty())
        m.PatientSurname = c.at(0);
    if (!c.at(1).isEmpty())
        m.PatientForename = c.at(1);
    if (c.size() > 6) {
        QString titles;
        for (qsizetype i = 6; i < c.size(); ++i)
            titles += u' ' + c.at(i);
        m.PatientForename = WithoutBlanksAround(QString(titles + u' ' + m.PatientForename));
    }
}

void EvaluateNotes(OrderMessage& m, int nteCount, const QString& stdSampleMaterial)
{
    m.CollectionDateText.clear();
    m.CollectionTimeText.clear();
    m.CollectionRemark.clear();
    for (int k = 1; k <= nteCount; ++k) {
        const QString& comment = m.nte(k, 3);
        if (comment.isEmpty()) // no words at all
            continue;
        bool keyword = false;
        // The words one at a time, the two before kept: a comment of a million blanks is a
        // million empty words, never a list of them.
        QString twoBefore, oneBefore; // upper-cased; empty before the first two words
        for (const QStringView w : qTokenize(comment, u' ')) {
            // Upper case never shortens a word: a longer one is none of the keywords, and a
            // remark of one long word is not copied to find that out.
            const QString word = w.size() <= kLongestKeyword ? w.toString().toUpper() : QString();
            if (word == u"DATUM" || word == u"UHRZEIT")
                keyword = true;
            if (word == u"URIN") {
                m.SampleMaterial = u"U"_s;
                m.MaterialFlag = 1;
            } else {
                m.SampleMaterial = stdSampleMaterial;
                if (stdSampleMaterial.toUpper() != u"U")
                    m.MaterialFlag = 2;
            }
            if (twoBefore == u"URIN") {
                if (oneBefore == u"UHRZEIT" && w.size() == 5) {
                    m.CollectionTimeText = w.toString();
                    keyword = true;
                }
                if (oneBefore == u"DATUM" && w.size() == 10) {
                    m.CollectionDateText = w.toString();
                    keyword = true;
                }
            }
            twoBefore = std::exchange(oneBefore, word);
        }
        if (!keyword)
            m.CollectionRemark += comment;
    }
}

} // namespace kestrin
