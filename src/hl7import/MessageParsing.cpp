#include "hl7import/MessageParsing.h"

#include "hl7import/MessageError.h"

#include <QStringList>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

QString withoutBlanksAround(QStringView value)
{
    qsizetype begin = 0;
    qsizetype end = value.size();
    while (begin < end && value.at(begin) == u' ')
        ++begin;
    while (end > begin && value.at(end - 1) == u' ')
        --end;
    return value.mid(begin, end - begin).toString();
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

void SplitSegmentFields(OrderMessage& m, const QString& line, int row, const QString& identifier)
{
    const QString id = identifier.toUpper();
    const QList<QStringView> parts = QStringView(line).split(u'|');
    const qsizetype fields = parts.size() - 1;
    for (qsizetype n = 1; n < parts.size(); ++n) {
        const QString v = withoutBlanksAround(parts.at(n));
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
    const QStringList c = m.PidFields[5].split(u'^');
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
        m.PatientForename = withoutBlanksAround(QString(titles + u' ' + m.PatientForename));
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
