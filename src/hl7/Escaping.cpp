#include "hl7/Escaping.h"

#include "hl7/Message.h"

using namespace Qt::StringLiterals;

namespace kestrin {

Hl7Delimiters Hl7Delimiters::fromEncodingCharacters(QStringView msh2)
{
    Hl7Delimiters d;
    if (msh2.size() > 0)
        d.component = msh2.at(0);
    if (msh2.size() > 1)
        d.repetition = msh2.at(1);
    if (msh2.size() > 2)
        d.escape = msh2.at(2);
    if (msh2.size() > 3)
        d.subcomponent = msh2.at(3);
    return d;
}

Hl7Delimiters Hl7Delimiters::declaredBy(QStringView mshLine)
{
    if (mshLine.size() <= 3)
        return {};
    const QChar field = mshLine.at(3);
    const QStringView msh2 = mshLine.mid(4);
    Hl7Delimiters d = fromEncodingCharacters(WithoutBlanksAround(msh2.left(msh2.indexOf(field))));
    d.field = field;
    return d;
}

QString Hl7Delimiters::encodingCharacters() const { return QString() + component + repetition + escape + subcomponent; }

QString UnescapeHl7(QStringView value, const Hl7Delimiters& d)
{
    if (!value.contains(d.escape))
        return value.toString();
    QString result;
    result.reserve(value.size());
    qsizetype i = 0;
    while (i < value.size()) {
        const QChar c = value.at(i);
        if (c == d.escape && i + 2 < value.size() && value.at(i + 2) == d.escape) {
            const QChar code = value.at(i + 1);
            QChar plain;
            if (code == u'F')
                plain = d.field;
            else if (code == u'S')
                plain = d.component;
            else if (code == u'T')
                plain = d.subcomponent;
            else if (code == u'R')
                plain = d.repetition;
            else if (code == u'E')
                plain = d.escape;
            if (!plain.isNull()) {
                result.append(plain);
                i += 3;
                continue;
            }
        }
        result.append(c);
        ++i;
    }
    return result;
}

QString UnescapeHl7(const QString& value, const Hl7Delimiters& delimiters)
{
    return value.contains(delimiters.escape) ? UnescapeHl7(QStringView(value), delimiters) : value;
}

QString EscapeHl7(QStringView value, const Hl7Delimiters& d)
{
    QString result;
    result.reserve(value.size());
    for (const QChar c : value) {
        QChar code;
        if (c == d.escape)
            code = u'E';
        else if (c == d.field)
            code = u'F';
        else if (c == d.component)
            code = u'S';
        else if (c == d.subcomponent)
            code = u'T';
        else if (c == d.repetition)
            code = u'R';
        if (c == u'\r' || c == u'\n') {
            // A line break would end the segment: hex escape, as HL7 writes control characters.
            result.append(d.escape);
            result.append(c == u'\r' ? u"X0D"_s : u"X0A"_s);
            result.append(d.escape);
        } else if (code.isNull()) {
            result.append(c);
        } else {
            result.append(d.escape);
            result.append(code);
            result.append(d.escape);
        }
    }
    return result;
}

} // namespace kestrin
