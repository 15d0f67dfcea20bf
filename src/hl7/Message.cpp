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

QList<Hl7Message> ReadHl7(QStringView text)
{
    QList<Hl7Message> messages;
    ForEachLine(text, [&](QStringView line) {
        if (line.isEmpty())
            return;
        if (messages.isEmpty() || isMshLine(line))
            messages.append({isMshLine(line) ? Hl7Delimiters::declaredBy(line) : Hl7Delimiters{}, {}});
        Hl7Message& message = messages.last();
        message.segments.append(ReadHl7Segment(line, message.delimiters.field));
    });
    return messages;
}

Hl7Segment ReadHl7Segment(QStringView line, QChar fieldSeparator)
{
    Hl7Segment segment;
    for (const QStringView part : line.split(fieldSeparator))
        segment.fields.append(part.toString());
    return segment;
}

QString PrintHl7Segment(const Hl7Segment& segment, QChar fieldSeparator) { return segment.fields.join(fieldSeparator); }

QString PrintHl7(const Hl7Message& message, QStringView lineEnd)
{
    QString text;
    for (const Hl7Segment& segment : message.segments)
        text += PrintHl7Segment(segment, message.delimiters.field) + lineEnd;
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
