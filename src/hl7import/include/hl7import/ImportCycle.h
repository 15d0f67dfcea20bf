#pragma once

#include "station/Context.h"
#include "station/CycleOutcome.h"

namespace kestrin {

struct ImportOptions {
    // Messages stored per commit; each message still has a savepoint of its own, and its
    // file reaches "Done" only after the commit that holds it.
    int messagesPerCommit = 100;
    // A claim this old is taken back whoever made it.
    qint64 staleClaimMs = 10 * 60 * 1000;
};

// One import cycle: every order file in the import folder is claimed, read and stored (or
// recognised as a cancellation) and filed into "Done"; the first file that fails goes into
// "EinleseFehler" with two log lines, and the cycle ends there.
CycleOutcome RunImportCycle(Context& ctx, const ImportOptions& options = {});

} // namespace kestrin
