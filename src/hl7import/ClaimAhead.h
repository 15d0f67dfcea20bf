#pragma once

#include "DoneFiling.h"
#include "hl7/Message.h"
#include "hl7import/ImportFolder.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

namespace kestrin {

struct Context;

using ClaimedFile = DoneFiling::File;

// A claimed file read ahead of its batch: its messages, or what reading it threw, thrown again
// where the file's turn comes.
struct ReadFile {
    ClaimedFile file;
    QList<Hl7Message> messages;
    std::exception_ptr error;
    qsizetype size = 0; // characters
};

// Claims and reads one listing's order files, in their order, on a thread of its own, a batch
// ahead of the cycle that stores them: while the cycle stores, the next files' claims and reads
// cost it nothing. A file claimed and not taken when it stops goes back to the import folder.
class ClaimAhead {
public:
    // What claiming one listed file came to: read, or why it could not be claimed; neither
    // when another station was quicker.
    struct Claim {
        std::optional<ReadFile> read;
        QString trouble; // "<name>: <reason>"
    };

    // At most `files` files and `chars` characters wait to be taken.
    ClaimAhead(const Context& ctx, QString host, qint64 pid, qsizetype files, qsizetype chars);
    ClaimAhead(const ClaimAhead&) = delete;
    ClaimAhead& operator=(const ClaimAhead&) = delete;
    ~ClaimAhead(); // stop()

    // Begins on a listing's files; the one before must be taken to its end or stopped.
    void start(QList<OrderFile> listed);
    // The next file's claim in the listing's order; none when the listing is done.
    std::optional<Claim> next();
    // Claims no further file, and gives back those claimed and not taken.
    void stop();

    // Reads a claimed file here and now (the same as ahead, for a batch stored again).
    static ReadFile read(const Context& ctx, const ClaimedFile& claimed);

private:
    void claimAll(QList<OrderFile> listed);

    const Context& m_ctx;
    const QString m_host;
    const qint64 m_pid;
    const qsizetype m_maxFiles;
    const qsizetype m_maxChars;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Claim> m_waiting;
    qsizetype m_waitingChars = 0;
    bool m_listingDone = true;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace kestrin
