#pragma once

#include <QString>

namespace kestrin {

// The characters that structure an HL7 message: "|" between fields, and the four encoding
// characters of MSH-2 (component "^", repetition "~", escape "\", subcomponent "&"), unless
// the message's MSH declares others.
struct Hl7Delimiters {
    QChar field = u'|';
    QChar component = u'^';
    QChar repetition = u'~';
    QChar escape = u'\\';
    QChar subcomponent = u'&';

    // The delimiters an MSH-2 value declares; missing characters keep their defaults.
    static Hl7Delimiters fromEncodingCharacters(QStringView msh2);
    // The delimiters an MSH line declares: the character after "MSH" separates the fields, and
    // MSH-2 (without blanks around it) names the other four. A line of three characters or
    // fewer declares nothing.
    static Hl7Delimiters declaredBy(QStringView mshLine);
    // MSH-2 of a message written with these delimiters.
    QString encodingCharacters() const;

    friend bool operator==(const Hl7Delimiters&, const Hl7Delimiters&) = default;
};

// A field value with the delimiter escapes \F\ \S\ \T\ \R\ \E\ turned back into the
// characters they stand for. Other escape sequences (\.br\, \H\, \Xhh\ ...) stay as they are.
QString UnescapeHl7(QStringView value, const Hl7Delimiters& delimiters = {});
// The same, sharing the text where it holds no escape character.
QString UnescapeHl7(const QString& value, const Hl7Delimiters& delimiters = {});

// A value with every delimiter character written as its escape sequence, and line breaks as
// \X0D\ and \X0A\, so that it can stand inside a field.
QString EscapeHl7(QStringView value, const Hl7Delimiters& delimiters = {});

} // namespace kestrin
