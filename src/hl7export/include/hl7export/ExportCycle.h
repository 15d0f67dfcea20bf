#pragma once

#include "hl7export/StoredKey.h"
#include "runtime/Context.h"
#include "runtime/CycleOutcome.h"

#include <QVariantList>

namespace kestrin {

struct ExportOptions {
    // Published samples whose queue rows are deleted in one commit. A process killed before
    // that commit sends these samples once more at its next start; each group also costs a
    // flush of the file system, of the folder and two commits, which at 10 a group were two
    // fifths of the export's time.
    int samplesPerCommit = 25;
};

// The queue rows of one sample as the cycle read them: its ID (with the forms REQ2SEND holds
// it in) and the PARAMETER_ID of each row (NULL where a row has none).
struct QueuedSample {
    StoredKey key;
    QVariantList parameterIds;

    const QString& sampleId() const { return key.text(); }
};

// One export cycle: every sample in REQ2SEND that no other exporter has claimed is claimed,
// its result message composed, written and published, and then the queue rows that were read
// for it are deleted with its claim. A sample that fails is logged, keeps its queue rows for
// the next cycle, and the others go on. While the export folder is missing, or a folder takes
// no result file (full, read-only), nothing is published and everything stays queued; queue
// rows without a sample ID are never sent and stay for a person to remove. Such lasting
// trouble is logged once until it is mended. A database that takes no writes fails the claims
// and the cycle before anything is published.
CycleOutcome ExportPendingResults(Context& ctx, const ExportOptions& options = {});

// Deletes the queue rows that were read for a sample's message, and none that came later:
// when more rows match than were read (the same row was queued again meanwhile), all stay
// and the sample goes out again in the next cycle. Returns whether the rows were deleted.
bool DequeueSample(Context& ctx, const QueuedSample& sample);

} // namespace kestrin
