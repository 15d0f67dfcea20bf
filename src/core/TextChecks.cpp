#include "core/TextChecks.h"

#include <QFile>

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

// The ASCII names of C0, in order.
constexpr std::array<QStringView, 32> kAsciiControlNames = {
    u"NUL", u"SOH", u"STX", u"ETX", u"EOT", u"ENQ", u"ACK", u"BEL", u"BS",  u"HT",  u"LF",
    u"VT",  u"FF",  u"CR",  u"SO",  u"SI",  u"DLE", u"DC1", u"DC2", u"DC3", u"DC4", u"NAK",
    u"SYN", u"ETB", u"CAN", u"EM",  u"SUB", u"ESC", u"FS",  u"GS",  u"RS",  u"US",
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

QString ShownFileName(QStringView name)
{
    QString shown;
    shown.reserve(name.size());
    for (const QChar c : name) {
        const char16_t code = c.unicode();
        if (code < 0x20)
            shown.append(u'{').append(kAsciiControlNames[code]).append(u'}');
        else if (code == 0x7f)
            shown += u"{DEL}";
        else if (code >= 0x80 && code < 0xa0)
            shown += u"{U+%1}"_s.arg(QString::number(code, 16).toUpper().rightJustified(4, u'0'));
        else
            shown += c;
    }
    return shown;
}

namespace {

constexpr qsizetype kMaxNameBytes = 255;
constexpr qsizetype kMaxPathBytes = 4095;

bool isControl(QChar c) { return c.unicode() < 0x20 || c.unicode() == 0x7f; }

QString controlProblem(const QString& text)
{
    for (const QChar c : text) {
        if (isControl(c))
            return u"it holds the control character U+%1"_s.arg(c.unicode(), 4, 16, QChar(u'0'));
    }
    return {};
}

} // namespace

QString PathProblem(const QString& path)
{
    if (QString problem = controlProblem(path); !problem.isEmpty())
        return problem;
    if (QFile::encodeName(path).size() > kMaxPathBytes)
        return u"it is longer than %1 bytes"_s.arg(kMaxPathBytes);
    for (const QStringView part : QStringView(path).split(u'/')) {
        for (const QStringView name : part.split(u'\\')) {
            if (QFile::encodeName(name.toString()).size() > kMaxNameBytes)
                return u"the part \"%1...\" is longer than %2 bytes"_s.arg(name.left(16),
                                                                           QString::number(kMaxNameBytes));
        }
    }
    return {};
}

QString FileNamePartProblem(const QString& text)
{
    if (QString problem = controlProblem(text); !problem.isEmpty())
        return problem;
    // The workstations' file systems refuse these too, so a setting works on both.
    for (const QChar c : text) {
        if (QStringView(u"/\\<>:\"|?*").contains(c))
            return u"it holds \"%1\", which no file name can hold"_s.arg(c);
    }
    if (QFile::encodeName(text).size() > kMaxNameBytes)
        return u"it is longer than %1 bytes"_s.arg(kMaxNameBytes);
    return {};
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
