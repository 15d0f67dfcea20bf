#pragma once

#include "runtime/Context.h"
#include "runtime/CycleOutcome.h"

#include <QSet>

namespace kestrin {

struct ImportOptions {
    // Messages stored per commit; a message that fails leaves nothing behind (the batch is
    // stored again without it), and a file reaches "Done" only after the commit that holds it.
    int messagesPerCommit = 100;
    // A claim this old is taken back whoever made it.
    qint64 staleClaimMs = 10 * 60 * 1000;
    // The folder is read in parts of this many names, so that its size costs no memory.
    qsizetype filesPerListing = 2000;
    // Journal rows are kept this long, far beyond any claim that could still be settled.
    qint64 journalDays = 30;
};

// What the import keeps from one cycle to the next.
struct ImportState {
    // Folders with an order file's name that were said (a bounded number): said once while they stay.
    QSet<QString> foldersSaid;
};

// One import cycle: every order file in the import folder is claimed, read and stored (or
// recognised as a cancellation) and filed into "Done"; a file that fails goes into
// "EinleseFehler" with two log lines, and so does a name that is no order file to read (a link,
// a device or pipe, a file of several names). The cycle goes on after a failed file until
// ImportMaxFailures have failed. Claims left by a crash are settled first: a stored message's
// file goes into "Done", any other is read again. When the database fails (not the message),
// the cycle stops, the file goes back untouched and the error is thrown; so it does when "Done"
// is no real folder of Kestrin's user.
CycleOutcome RunImportCycle(Context& ctx, ImportState& state, const ImportOptions& options = {});
// The same with a state of its own (one cycle, as "/cycle" and tests run it).
CycleOutcome RunImportCycle(Context& ctx, const ImportOptions& options = {});

} // namespace kestrin
