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

// What the export keeps from one cycle to the next: the samples it published whose queue rows'
// deletion could not be committed (a full disk under the database). Each cycle commits that
// first, and until it can, sends nothing: those samples are not sent again meanwhile.
struct ExportState {
    QList<QueuedSample> publishedNotDequeued;
};

// One export cycle: every sample in REQ2SEND that no other exporter has claimed is claimed,
// its result message composed and written, the queue rows read for it deleted (not yet
// committed), its file published, and then the deletion committed with its claim. Rows
// queued after the read stay; when the same row was queued again meanwhile (more rows match
// than were read), all stay and the sample goes out again in the next cycle. A sample that
// fails is logged, keeps its queue rows for the next cycle, and the others go on. While
// the export folder is missing, or a folder takes no result file (full, read-only), nothing is
// published and everything stays queued; queue rows without a sample ID are never sent and
// stay for a person to remove. Such lasting trouble is logged once until it is mended. When
// the database takes no writes (the claims or the deletion fail), the cycle fails before
// anything is published.
CycleOutcome ExportPendingResults(Context& ctx, ExportState& state, const ExportOptions& options = {});
// The same with a state of its own (one cycle, as "/cycle" and tests run it).
CycleOutcome ExportPendingResults(Context& ctx, const ExportOptions& options = {});

} // namespace kestrin
