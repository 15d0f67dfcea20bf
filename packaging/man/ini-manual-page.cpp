// Writes the manual page kestrin.ini(5): its text from a template, the keys with their defaults
// from the program's own key table, so that the page cannot tell other keys than Kestrin reads.
// Usage: kestrin_ini_manual_page TEMPLATE OUTPUT; the template's line
// `.\" KEYS` becomes the keys.

#include "config/Configuration.h"

#include <QFile>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

const QString kMarker = u"\n.\\\" KEYS\n"_s;

// Text that roff prints as it stands: backslashes escaped, no line taken for a request, and in
// a literal value (a key, a default) a minus sign that stays one when it is copied.
QString roff(QString text, bool literal = false)
{
    text.replace(u'\\', u"\\e"_s);
    if (literal)
        text.replace(u'-', u"\\-"_s);
    return text.startsWith(u'.') || text.startsWith(u'\'') ? u"\\&"_s + text : text;
}

QString keysSection()
{
    QString page;
    for (const kestrin::IniKeyReference& reference : kestrin::IniKeyReferences()) {
        QStringList keys;
        for (const QString& key : reference.keys)
            keys << u"\\fB"_s + roff(key, true) + u"\\fR"_s;
        page += u".TP\n"_s + keys.join(u", "_s) + u'\n';
        QString about = reference.about;
        about[0] = about.at(0).toUpper();
        page += roff(about) + u".\n"_s;
        page += reference.defaultValue.isEmpty()
            ? u"No default.\n"_s
            : u"Default: \\fB"_s + roff(reference.defaultValue, true) + u"\\fR.\n"_s;
    }
    return page;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::fputs("usage: kestrin_ini_manual_page TEMPLATE OUTPUT\n", stderr);
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!in.open(QIODevice::ReadOnly | QIODevice::Text) || !out.open(QIODevice::WriteOnly | QIODevice::Text)) {
        std::fprintf(stderr, "kestrin_ini_manual_page: %s\n", qPrintable(in.errorString() + out.errorString()));
        return 2;
    }
    for (const kestrin::IniKeyReference& reference : kestrin::IniKeyReferences()) {
        if (reference.about.isEmpty()) {
            std::fprintf(stderr, "kestrin_ini_manual_page: the key %s is not described\n",
                         qPrintable(reference.keys.first()));
            return 2;
        }
    }
    QString page = QString::fromUtf8(in.readAll());
    if (!page.contains(kMarker)) {
        std::fputs("kestrin_ini_manual_page: the template has no line .\\\" KEYS\n", stderr);
        return 2;
    }
    page.replace(kMarker, u'\n' + keysSection());
    out.write(page.toUtf8());
    return out.flush() ? 0 : 2;
}
