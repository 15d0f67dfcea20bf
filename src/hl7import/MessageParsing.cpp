#include "hl7import/MessageParsing.h"

#include "hl7import/MessageError.h"

#include <limits>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

constexpr qint16 kMaxRepeats = 99; // rows of OBR, OBX and NTE

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

template <std::size_t N>
void store(std::array<QString, N>& buffer, qsizetype index, const QString& value, const QString& identifier,
           qsizetype fields, int offset)
{
    if (index >= qsizetype(N))
        tooManyFields(identifier, fields, int(N) - 1 - offset);
    buffer[std::size_t(index)] = value;
}

} // namespace

QList<ArchivedLine> ReadOrderSegments(const QList<Hl7Message>& messages, OrderMessage& m,
                                      const std::function<void(const QString&)>& unknown)
{
    QList<ArchivedLine> archived;
    OrderMessage::Counts& counts = m.SegmentCounts;
    for (const Hl7Message& message : messages) {
        for (qsizetype i = 0; i < message.size(); ++i) {
            const QString line = message.line(i).toString();
            const Hl7Segment segment = message.segment(i);
            const QString read = line.left(3);
            const QString id = read.toUpper();
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
            } else if (id == u"NTE") {
                repeated(m.NteFields, counts.nte);
            } else {
                unknown(read);
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
                take(message.segment(i), 3, keys.patient);
            } else if (id == u"ORC") {
                const Hl7Segment segment = message.segment(i);
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
    const QStringList& parts = segment.fields;
    const qsizetype fields = parts.size() - 1;
    for (qsizetype n = 1; n < parts.size(); ++n) {
        const QString v = WithoutBlanksAround(parts.at(n));
        if (id == u"MSH")
            store(m.MshFields, n + 1, v, id, fields, 1);
        else if (id == u"PID")
            store(m.PidFields, n, v, id, fields, 0);
        else if (id == u"PV1")
            store(m.Pv1Fields, n, v, id, fields, 0);
        else if (id == u"ORC")
            store(m.OrcFields, n, v, id, fields, 0);
        else if (id == u"OBR")
            store(m.ObrFields.at(std::size_t(row)), n, v, id, fields, 0);
        else if (id == u"OBX")
            store(m.ObxFields.at(std::size_t(row)), n, v, id, fields, 0);
        else if (id == u"NTE")
            store(m.NteFields.at(std::size_t(row)), n + 1, v, id, fields, 1);
    }
}

void SplitPatientName(OrderMessage& m)
{
    m.PatientSurname.clear();
    m.PatientForename.clear();
    const QStringList c = m.PidFields[5].split(m.Delimiters.component);
    if (c.size() < 2)
        throw MessageError(u"PID-5 \"%1\" holds no surname^forename."_s.arg(m.PidFields[5]));
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
        // An empty comment has no words at all.
        const QStringList words = comment.isEmpty() ? QStringList() : comment.split(u' ');
        bool keyword = false;
        for (qsizetype j = 0; j < words.size(); ++j) {
            const QString word = words.at(j).toUpper();
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
            if (j >= 2 && words.at(j - 2).toUpper() == u"URIN") {
                const QString before = words.at(j - 1).toUpper();
                if (before == u"UHRZEIT" && words.at(j).size() == 5) {
                    m.CollectionTimeText = QString(words.at(j)).remove(u' ');
                    keyword = true;
                }
                if (before == u"DATUM" && words.at(j).size() == 10) {
                    m.CollectionDateText = words.at(j);
                    keyword = true;
                }
            }
        }
        if (!keyword)
            m.CollectionRemark += comment;
    }
}

} // namespace kestrin
