#pragma once

#include "hl7export/ResultMessage.h"

namespace kestrin {

// The result file's name: leader, sample ID, extension; characters that cannot stand in a
// file name (/ \ : * ? " < > |) become "_" in the name only.
QString ResultFileName(const QString& leader, const QString& sampleId, const QString& extension);

// Writes the message afresh into the temporary export folder (CR LF after every line, in
// the configured character set, forced to disk) and publishes it in the export folder under
// its final name, replacing an earlier file in one step: a receiving system never sees half
// a file. Logs the start, every line and the end. Returns the published path; throws a
// FileError when a folder or file cannot be written.
QString WriteResultFile(Context& ctx, const QString& sampleId, const ResultMessage& message);

} // namespace kestrin
