#include "hl7/Message.h"

#include "core/TextLines.h"

using namespace Qt::StringLiterals;

namespace kestrin {

QString Hl7Segment::field(int n) const
{
    if (name().toUpper() != u"MSH")
        return fields.value(n);
    return n < 2 ? QString() : fields.value(n - 1);
}

namespace {

bool isMshLine(QStringView line) { return line.left(3).compare(u"MSH", Qt::CaseInsensitive) == 0; }

} // namespace

QStringView Hl7Message::line(qsizetype i) const
{
    const qsizetype start = i == 0 ? 0 : ends.at(i - 1) + 1;
    return QStringView(lines).mid(start, ends.at(i) - start);
}

Hl7Segment Hl7Message::segment(qsizetype i, qsizetype maxParts) const
{
    return ReadHl7Segment(line(i), delimiters.field, maxParts);
}

void Hl7Message::append(QStringView line)
{
    lines += line;
    ends.append(lines.size());
    lines += u'\r';
}

void Hl7Message::append(const Hl7Segment& segment) { append(PrintHl7Segment(segment, delimiters.field)); }

QList<Hl7Message> ReadHl7(QStringView text)
{
    // Each message's size first, so that its text and line ends are made once at their size:
    // grown line by line, a file of one long line would briefly take three times its text.
    struct Extent {
        qsizetype chars = 0;
        qsizetype lines = 0;
    };
    QList<Extent> extents;
    ForEachLine(text, [&](QStringView line) {
        if (line.isEmpty())
            return;
        if (extents.isEmpty() || isMshLine(line))
            extents.append(Extent{});
        extents.last().chars += line.size() + 1;
        ++extents.last().lines;
    });
    QList<Hl7Message> messages;
    messages.reserve(extents.size());
    ForEachLine(text, [&](QStringView line) {
        if (line.isEmpty())
            return;
        if (messages.isEmpty() || isMshLine(line)) {
            messages.append({isMshLine(line) ? Hl7Delimiters::declaredBy(line) : Hl7Delimiters{}, {}, {}});
            messages.last().lines.reserve(extents.at(messages.size() - 1).chars);
            messages.last().ends.reserve(extents.at(messages.size() - 1).lines);
        }
        messages.last().append(line);
    });
    return messages;
}

Hl7Segment ReadHl7Segment(QStringView line, QChar fieldSeparator, qsizetype maxParts)
{
    Hl7Segment segment;
    qsizetype start = 0;
    for (;;) {
        const bool last = maxParts > 0 && segment.fields.size() + 1 >= maxParts;
        const qsizetype end = last ? -1 : line.indexOf(fieldSeparator, start);
        if (end < 0) {
            segment.fields.append(line.mid(start).toString());
            return segment;
        }
        segment.fields.append(line.mid(start, end - start).toString());
        start = end + 1;
    }
}

QString PrintHl7Segment(const Hl7Segment& segment, QChar fieldSeparator) { return segment.fields.join(fieldSeparator); }

QString PrintHl7(const Hl7Message& message, QStringView lineEnd)
{
    QString text;
    text.reserve(message.lines.size() + message.size() * (lineEnd.size() - 1));
    for (qsizetype i = 0; i < message.size(); ++i)
        text += message.line(i) + lineEnd;
    return text;
}

QString WithoutBlanksAround(QStringView value)
{
    qsizetype begin = 0;
    qsizetype end = value.size();
    while (begin < end && value.at(begin) == u' ')
        ++begin;
    while (end > begin && value.at(end - 1) == u' ')
        --end;
    return value.mid(begin, end - begin).toString();
}

QString WithoutBlanksAround(const QString& value)
{
    if (!value.startsWith(u' ') && !value.endsWith(u' '))
        return value;
    return WithoutBlanksAround(QStringView(value));
}

} // namespace kestrin
