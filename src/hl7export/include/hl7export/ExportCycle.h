#pragma once

#include "station/Context.h"
#include "station/CycleOutcome.h"

namespace kestrin {

struct ExportOptions {
    // Samples whose queue rows are deleted in one commit, after their files are published.
    int samplesPerCommit = 100;
};

// One export cycle: for every sample in REQ2SEND a result message is composed, written and
// published, and then its queue rows are deleted. A sample that fails is logged, keeps its
// queue rows for the next cycle, and the others go on.
CycleOutcome ExportPendingResults(Context& ctx, const ExportOptions& options = {});

// Deletes every queue row of a sample.
void DequeueSample(Context& ctx, const QString& sampleId);

} // namespace kestrin
