#include "hl7/FileDecoding.h"

#include "core/TextCodec.h"
#include "hl7/Message.h"

#include <QHash>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// The HL7 names of character sets (table 0211) and the names Kestrin decodes them with.
const QHash<QString, QString>& knownCharsets()
{
    static const QHash<QString, QString> names{
        {u"ASCII"_s, u"ISO-8859-1"_s},  {u"8859/1"_s, u"ISO-8859-1"_s},   {u"8859/2"_s, u"ISO-8859-2"_s},
        {u"8859/3"_s, u"ISO-8859-3"_s}, {u"8859/4"_s, u"ISO-8859-4"_s},   {u"8859/5"_s, u"ISO-8859-5"_s},
        {u"8859/6"_s, u"ISO-8859-6"_s}, {u"8859/7"_s, u"ISO-8859-7"_s},   {u"8859/8"_s, u"ISO-8859-8"_s},
        {u"8859/9"_s, u"ISO-8859-9"_s}, {u"8859/15"_s, u"ISO-8859-15"_s}, {u"UNICODE UTF-8"_s, u"UTF-8"_s},
        {u"UTF-8"_s, u"UTF-8"_s},       {u"UNICODE"_s, u"UTF-8"_s},
    };
    return names;
}

bool isAscii(const QByteArray& bytes)
{
    for (const char byte : bytes) {
        if (static_cast<unsigned char>(byte) >= 0x80)
            return false;
    }
    return true;
}

// An MSH line up to the separator after MSH-18: the rest is not needed to find the character set.
QByteArrayView upToMsh18(QByteArrayView line)
{
    if (line.size() <= 3)
        return line;
    const char separator = line.at(3); // the first of the 18 that end "MSH" and MSH-2 to MSH-18
    qsizetype at = 3;
    for (int ended = 1; ended < 18 && at >= 0; ++ended)
        at = line.indexOf(separator, at + 1);
    return at < 0 ? line : line.first(at);
}

// MSH-18 of the first MSH line, read with the delimiters that line declares: they are ASCII,
// so the bytes read as Latin-1 hold them where they are.
QString msh18Of(const QByteArray& bytes)
{
    qsizetype start = 0;
    while (start < bytes.size()) {
        qsizetype end = start;
        while (end < bytes.size() && bytes.at(end) != '\r' && bytes.at(end) != '\n')
            ++end;
        if (bytes.mid(start, 3).toUpper() == "MSH") {
            const QString line = QString::fromLatin1(upToMsh18(QByteArrayView(bytes).sliced(start, end - start)));
            const Hl7Delimiters delimiters = Hl7Delimiters::declaredBy(line);
            // Repetitions name further character sets; the first is the message's own.
            const QString msh18 = ReadHl7Segment(line, delimiters.field).field(18);
            return msh18.left(msh18.indexOf(delimiters.repetition)).trimmed();
        }
        start = end + 1;
    }
    return {};
}

} // namespace

QString CharsetOfMsh18(const QString& msh18) { return knownCharsets().value(msh18.trimmed().toUpper()); }

QString DecodeOrderFile(const QByteArray& bytes, const QString& configuredCharset)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return QString::fromUtf8(QByteArrayView(bytes).sliced(3));
    const QString declared = CharsetOfMsh18(msh18Of(bytes));
    if (!declared.isEmpty() && TextCodec::isKnown(declared))
        return TextCodec(declared).decode(bytes);
    if (!isAscii(bytes) && IsValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return TextCodec(configuredCharset).decode(bytes);
}

} // namespace kestrin
