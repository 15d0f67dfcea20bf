#include "hl7import/OrderFileDecoding.h"

#include "core/TextCodec.h"

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

// MSH-18 of the first MSH line: the MSH fields are counted from the separator itself.
QString msh18Of(const QByteArray& bytes)
{
    qsizetype start = bytes.indexOf("MSH|");
    if (start < 0)
        return {};
    qsizetype end = start;
    while (end < bytes.size() && bytes.at(end) != '\r' && bytes.at(end) != '\n')
        ++end;
    const QList<QByteArray> parts = bytes.mid(start, end - start).split('|');
    if (parts.size() < 18)
        return {};
    // Repetitions name further character sets; the first is the message's own.
    return QString::fromLatin1(parts.at(17).split('~').first()).trimmed();
}

} // namespace

QString CharsetOfMsh18(const QString& msh18) { return knownCharsets().value(msh18.trimmed().toUpper()); }

QString DecodeOrderFile(const QByteArray& raw, const QString& configuredCharset)
{
    QByteArray bytes = raw;
    if (bytes.startsWith("\xEF\xBB\xBF")) {
        bytes.remove(0, 3);
        return QString::fromUtf8(bytes);
    }
    const QString declared = CharsetOfMsh18(msh18Of(bytes));
    if (!declared.isEmpty() && TextCodec::isKnown(declared))
        return TextCodec(declared).decode(bytes);
    if (!isAscii(bytes) && IsValidUtf8(bytes))
        return QString::fromUtf8(bytes);
    return TextCodec(configuredCharset).decode(bytes);
}

} // namespace kestrin
