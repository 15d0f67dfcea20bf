#pragma once

namespace kestrin {

// What one cycle did: items (order files, samples) handled, and items that failed and were
// kept safe for the next cycle (a file in the error folder, a sample still queued). A cycle
// that could not run, or stopped on an error that was no item's fault (a lost database, a
// folder that cannot be made), is `stopped`. One that could not look at its folder (list it,
// or take the files in it) has `folderUnusable`: it ran, but saw nothing of what waits there.
struct CycleOutcome {
    int handled = 0;
    int failed = 0;
    bool stopped = false;
    bool folderUnusable = false;

    CycleOutcome& operator+=(const CycleOutcome& other)
    {
        handled += other.handled;
        failed += other.failed;
        stopped = stopped || other.stopped;
        folderUnusable = folderUnusable || other.folderUnusable;
        return *this;
    }
};

} // namespace kestrin
