#pragma once

#include "DoneFiling.h"
#include "hl7/Message.h"
#include "hl7import/ImportFolder.h"
#include "hl7import/MessageReader.h"

#include <condition_variable>
#include <deque>
#include <exception>
#include <mutex>
#include <optional>
#include <thread>

namespace kestrin {

using ClaimedFile = DoneFiling::File;

// A claimed file read ahead of its batch: its messages, or what reading it threw, thrown again
// where the file's turn comes.
struct ReadFile {
    ClaimedFile file;
    QList<Hl7Message> messages;
    std::exception_ptr error;
    qsizetype size = 0; // characters
    QByteArray digest;
    MessageIdentity named; // read again: what it named itself by when it was stored first
};

// What the reading thread needs to know: which files it takes and how it reads them.
struct OrderReading {
    QString extension;
    qint64 minAgeMs = 0;
    OrderFileRules file;
    qsizetype filesPerListing = 2000;
};

// Lists the import folder in parts and claims and reads its order files, in name order, on a
// thread of its own, a batch ahead of the cycle that stores them: while the cycle stores, the
// next files' listing, claims and reads cost it nothing. A file claimed and not taken when it
// stops goes back to the import folder.
class ClaimAhead {
public:
    // What the reader came to, in order: a part of the folder listed (its trouble, and the
    // names that are no regular file), a file read, or why a file could not be claimed. A
    // file another station was quicker to take gives nothing.
    struct Claim {
        std::optional<ReadFile> read;
        QString trouble;                     // "<name>: <reason>"
        std::optional<FolderListing> listed; // its files left out
    };

    // Claims in `folder`; at most `files` files and `chars` characters wait to be taken.
    ClaimAhead(const FolderHandle& folder, OrderReading reading, Claimant me, qsizetype files, qsizetype chars);
    ClaimAhead(const ClaimAhead&) = delete;
    ClaimAhead& operator=(const ClaimAhead&) = delete;
    ~ClaimAhead(); // stop()

    // Begins listing the import folder from its start; the files' age is judged against `now`.
    void start(const QDateTime& now);
    // The next thing the reader came to; none when the folder is listed to its end.
    std::optional<Claim> next();
    // Claims no further file, and gives back those claimed and not taken.
    void stop();

    // Reads a claimed file here and now (the same as ahead, for a batch stored again).
    static ReadFile read(const FolderHandle& folder, const OrderFileRules& rules, const ClaimedFile& claimed);

private:
    void run(QDateTime now);
    bool claim(const OrderFile& file);
    bool waitForRoom();
    void put(Claim claim);

    const FolderHandle& m_folder;
    const OrderReading m_reading;
    const Claimant m_me;
    const qsizetype m_maxFiles;
    const qsizetype m_maxChars;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<Claim> m_waiting;
    qsizetype m_waitingChars = 0;
    bool m_done = true;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace kestrin
