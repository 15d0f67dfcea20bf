#pragma once

#include <QByteArray>
#include <QString>

namespace kestrin {

// The character set an MSH-18 value names, or empty text for one Kestrin does not know.
QString CharsetOfMsh18(const QString& msh18);

// The text of an order file: in the character set its MSH-18 names when Kestrin knows it;
// else as UTF-8 when the bytes are valid UTF-8 holding non-ASCII characters; else in the
// configured character set. A UTF-8 byte order mark is dropped.
QString DecodeOrderFile(const QByteArray& bytes, const QString& configuredCharset);

} // namespace kestrin
