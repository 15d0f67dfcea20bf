#pragma once

#include <QString>

namespace kestrin {

// True when both texts have the same length and every character equals the mask's or the
// mask has "?" there. Two empty texts match.
bool MatchesMask(QStringView text, QStringView mask);

// True when the text holds none of \ blank + * $ § ' (characters that break the laboratory's
// identifiers and statements).
bool IsCleanText(QStringView text);

// Control characters shown by name in braces ({STX}, {CR}, ...), all else unchanged.
QString NameControlCharacters(QStringView text);

// Line breaks shown by name ({CR}, {LF}), all else unchanged: a log entry stays one line.
QString NameLineBreaks(const QString& text);

} // namespace kestrin
