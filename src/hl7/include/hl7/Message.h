#pragma once

#include "hl7/Escaping.h"

#include <QStringList>

namespace kestrin {

// One segment: its fields as the field separator parts the line, nothing unescaped or split
// further. fields[0] is the segment's name; in MSH, fields[1] is MSH-2, since MSH-1 is the
// separator itself.
struct Hl7Segment {
    QStringList fields;

    QString name() const { return fields.value(0); }
    // Field n by HL7's numbering (MSH-1, the separator, is the message's); empty where the
    // segment ends before it.
    QString field(int n) const;

    friend bool operator==(const Hl7Segment&, const Hl7Segment&) = default;
};

// One message: the delimiters its MSH declares and its segments in the order read. Their
// lines are held in one text, so that a file of many short lines takes little more memory
// than its text; a segment is parted into fields when it is asked for.
struct Hl7Message {
    Hl7Delimiters delimiters;
    QString lines;         // each segment's line followed by CR
    QList<qsizetype> ends; // where each segment's line ends in `lines`

    qsizetype size() const { return ends.size(); }
    QStringView line(qsizetype i) const;
    // The segment parted into at most `maxParts` parts (see ReadHl7Segment).
    Hl7Segment segment(qsizetype i, qsizetype maxParts = -1) const;
    void append(QStringView line);
    void append(const Hl7Segment& segment);

    friend bool operator==(const Hl7Message&, const Hl7Message&) = default;
};

// The messages of a text. Each line that begins with MSH (in any case) begins a message with
// the delimiters it declares; lines before the first MSH form a message with the standard
// ones. Lines end at CR LF, LF or a lone CR; empty lines are left out.
QList<Hl7Message> ReadHl7(QStringView text);
// One line parted at the field separator. With `maxParts` above 0 into that many parts at most,
// the last keeping the rest of the line: a line of a million separators then costs no more
// than the fields asked for.
Hl7Segment ReadHl7Segment(QStringView line, QChar fieldSeparator, qsizetype maxParts = -1);

// The segment's line again: its fields joined by the separator.
QString PrintHl7Segment(const Hl7Segment& segment, QChar fieldSeparator);
// Every segment's line, each followed by `lineEnd`.
QString PrintHl7(const Hl7Message& message, QStringView lineEnd = u"\r");

// A field's value without the blanks (spaces only) around it, as the import reads every field.
QString WithoutBlanksAround(QStringView value);
// The same, sharing the text where it has no blanks around it.
QString WithoutBlanksAround(const QString& value);

} // namespace kestrin
