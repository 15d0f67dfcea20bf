#pragma once

#include <QString>

namespace kestrin {

// True when both texts have the same length and every character equals the mask's or the
// mask has "?" there. Two empty texts match.
bool MatchesMask(QStringView text, QStringView mask);

// True when the text holds none of \ blank + * $ § ' (characters that break the laboratory's
// identifiers and statements).
bool IsCleanText(QStringView text);

// Why a path cannot name a file or folder on any file system Kestrin runs on (a control
// character, a part longer than 255 bytes, more than 4095 bytes in all); empty when it can.
QString PathProblem(const QString& path);

// Why a text cannot be part of a file name (a folder separator, a control character or one a
// Windows file name cannot hold); empty when it can.
QString FileNamePartProblem(const QString& text);

// Control characters shown by name in braces ({STX}, {CR}, ...), all else unchanged.
QString NameControlCharacters(QStringView text);

// A file name (or a path) as log lines and messages show it: every control character (C0, DEL
// and C1) by name or code in braces ({ESC}, {CR}, {U+009B}), so that a name a sender chose
// cannot move the cursor of a terminal that shows the log, nor break a line.
QString ShownFileName(QStringView name);

// Line breaks shown by name ({CR}, {LF}), all else unchanged: a log entry stays one line.
QString NameLineBreaks(const QString& text);

} // namespace kestrin
