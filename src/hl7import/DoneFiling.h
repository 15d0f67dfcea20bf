#pragma once

#include "hl7import/ImportFolder.h"

#include <future>
#include <vector>

namespace kestrin {

// The files of a committed batch go into the Done folder on a thread of their own while the next
// batch is claimed, read and stored: on a local disk their renames cost a sixth of the cycle.
// Each file's outcome comes back in order, for the cycle to count and report on its own thread.
class DoneFiling {
public:
    struct File {
        QString claimName; // in the import folder
        QString name;
    };
    using Outcomes = std::vector<Filing>; // one per file

    DoneFiling() = default;
    DoneFiling(const DoneFiling&) = delete;
    DoneFiling& operator=(const DoneFiling&) = delete;
    ~DoneFiling(); // waits for the filing in hand

    // Waits for the filing in hand, starts filing `files` from one folder into another (both
    // must outlive the filing), and gives the outcomes of the one before.
    Outcomes start(const FolderHandle& from, const FolderHandle& to, std::vector<File> files);
    // Waits for the filing in hand and gives its outcomes.
    Outcomes finish();

private:
    std::future<Outcomes> m_filing;
};

} // namespace kestrin
