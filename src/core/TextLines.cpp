#include "core/TextLines.h"

namespace kestrin {

void ForEachLine(QStringView text, const std::function<void(QStringView)>& visit)
{
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == u'\r' || c == u'\n') {
            visit(text.mid(start, i - start));
            if (c == u'\r' && i + 1 < text.size() && text.at(i + 1) == u'\n')
                ++i;
            start = i + 1;
        }
    }
    if (start < text.size())
        visit(text.mid(start));
}

QStringList SplitLines(QStringView text)
{
    QStringList lines;
    ForEachLine(text, [&](QStringView line) { lines << line.toString(); });
    return lines;
}

} // namespace kestrin
