#include "core/TextChecks.h"

#include <array>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

struct ControlName {
    char16_t code;
    QStringView name;
};

constexpr std::array kControlNames = {
    ControlName{2, u"{STX}"},  ControlName{3, u"{ETX}"},  ControlName{4, u"{EOT}"}, ControlName{5, u"{ENQ}"},
    ControlName{6, u"{ACK}"},  ControlName{10, u"{LF}"},  ControlName{13, u"{CR}"}, ControlName{21, u"{NAK}"},
    ControlName{23, u"{ETB}"}, ControlName{17, u"{DC1}"},
};

constexpr std::u16string_view kUncleanCharacters = u"\\ +*$\u00A7'";

} // namespace

bool MatchesMask(QStringView text, QStringView mask)
{
    if (text.size() != mask.size())
        return false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) != mask.at(i) && mask.at(i) != u'?')
            return false;
    }
    return true;
}

bool IsCleanText(QStringView text)
{
    for (QChar c : text) {
        if (kUncleanCharacters.find(c.unicode()) != std::u16string_view::npos)
            return false;
    }
    return true;
}

QString NameControlCharacters(QStringView text)
{
    QString result;
    result.reserve(text.size());
    for (QChar c : text) {
        QStringView name;
        for (const ControlName& control : kControlNames) {
            if (control.code == c.unicode())
                name = control.name;
        }
        if (name.isEmpty())
            result.append(c);
        else
            result.append(name);
    }
    return result;
}

QString NameLineBreaks(const QString& text)
{
    if (!text.contains(u'\r') && !text.contains(u'\n'))
        return text;
    QString result;
    result.reserve(text.size());
    for (const QChar& c : text) {
        if (c == u'\r' || c == u'\n')
            result.append(NameControlCharacters(QStringView(&c, 1)));
        else
            result.append(c);
    }
    return result;
}

} // namespace kestrin
