#pragma once

#include <QStringList>

namespace kestrin {

// Splits a text into lines that end at CR LF, LF or a lone CR (the classic HL7 segment
// end). A line end at the very end of the text does not start another line.
QStringList SplitLines(QStringView text);

} // namespace kestrin
