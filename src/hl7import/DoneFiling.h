#pragma once

#include <QString>

#include <future>
#include <vector>

namespace kestrin {

// Why an order file could not be filed into `folder` under its own name (or a prefixed
// one); empty when it was.
QString FilingProblem(const QString& claimPath, const QString& folder, const QString& fileName);

// The files of a committed batch go into the Done folder on a thread of their own while the next
// batch is claimed, read and stored: on a local disk their renames cost a sixth of the cycle.
// Each file's outcome comes back in order, for the cycle to count and report on its own thread.
class DoneFiling {
public:
    struct File {
        QString claimPath;
        QString name;
    };
    using Problems = std::vector<QString>; // FilingProblem's, one per file

    DoneFiling() = default;
    DoneFiling(const DoneFiling&) = delete;
    DoneFiling& operator=(const DoneFiling&) = delete;
    ~DoneFiling(); // waits for the filing in hand

    // Waits for the filing in hand, starts filing `files` into `folder`, and gives the outcomes
    // of the one before.
    Problems start(const QString& folder, std::vector<File> files);
    // Waits for the filing in hand and gives its outcomes.
    Problems finish();

private:
    std::future<Problems> m_filing;
};

} // namespace kestrin
