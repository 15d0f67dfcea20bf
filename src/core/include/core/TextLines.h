#pragma once

#include <QStringList>

#include <functional>

namespace kestrin {

// Splits a text into lines that end at CR LF, LF or a lone CR (the classic HL7 segment
// end). A line end at the very end of the text does not start another line.
QStringList SplitLines(QStringView text);
// The same lines one at a time, so that a file of many short lines never lives as a list.
void ForEachLine(QStringView text, const std::function<void(QStringView)>& visit);

} // namespace kestrin
