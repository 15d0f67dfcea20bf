#pragma once

namespace kestrin {

// What one cycle did: items (order files, samples) handled, and items that failed and were
// kept safe for the next cycle (a file in the error folder, a sample still queued).
struct CycleOutcome {
    int handled = 0;
    int failed = 0;

    CycleOutcome& operator+=(const CycleOutcome& other)
    {
        handled += other.handled;
        failed += other.failed;
        return *this;
    }
};

} // namespace kestrin
