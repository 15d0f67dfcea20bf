#include "ClaimAhead.h"

#include "core/TextChecks.h"
#include "hl7import/MessageError.h"

#include <system_error>

using namespace Qt::StringLiterals;

namespace kestrin {

ClaimAhead::ClaimAhead(const FolderHandle& folder, OrderReading reading, Claimant me, qsizetype files, qsizetype chars)
    : m_folder(folder)
    , m_reading(std::move(reading))
    , m_me(std::move(me))
    , m_maxFiles(qMax<qsizetype>(1, files))
    , m_maxChars(chars)
{
}

ClaimAhead::~ClaimAhead() { stop(); }

ReadFile ClaimAhead::read(const FolderHandle& folder, const OrderFileRules& rules, const ClaimedFile& claimed)
{
    ReadFile read{claimed, {}, {}, 0, {}, {}};
    try {
        OrderFileContent content =
            ReadOrderFile(folder, claimed.claimName, ShownFileName(folder.filePath(claimed.name)), rules);
        read.messages = std::move(content.messages);
        read.digest = std::move(content.digest);
    } catch (...) {
        read.error = std::current_exception();
    }
    for (const Hl7Message& message : std::as_const(read.messages))
        read.size += message.lines.size();
    return read;
}

void ClaimAhead::start(const QDateTime& now)
{
    stop();
    const std::lock_guard lock(m_mutex);
    m_stopping = false;
    m_done = false;
    try {
        m_thread = std::thread(&ClaimAhead::run, this, now);
    } catch (const std::system_error&) {
        // No thread to be had: nothing is claimed, and the cycle fails as on any other error.
        m_done = true;
        throw;
    }
}

void ClaimAhead::run(QDateTime now)
{
    OrderFile after;
    try {
        for (bool stopped = false; !stopped;) {
            FolderListing part = ListOrderFiles(m_folder, m_reading.extension, m_reading.minAgeMs, now, after,
                                                m_reading.filesPerListing);
            const QList<OrderFile> files = std::exchange(part.files, {});
            const bool lastPart = !part.error.isEmpty() || part.end;
            after = part.last;
            put({{}, {}, std::move(part)});
            for (qsizetype i = 0; !stopped && i < files.size(); ++i)
                stopped = !claim(files.at(i));
            stopped = stopped || lastPart;
        }
    } catch (const std::exception& e) {
        // Out of memory, say: the cycle hears of it as of a folder it cannot list, not as the end of the program.
        FolderListing failed;
        failed.error = QString::fromLocal8Bit(e.what());
        put({{}, {}, std::move(failed)});
    }
    const std::lock_guard lock(m_mutex);
    m_done = true;
    m_changed.notify_all();
}

// False when asked to stop.
bool ClaimAhead::claim(const OrderFile& file)
{
    if (!waitForRoom())
        return false;
    Claim claim;
    try {
        const ClaimAttempt attempt =
            ClaimOrderFile(m_folder, file, Claimant{m_me.host, m_me.pid, QDateTime::currentDateTime()});
        if (attempt.path.isEmpty() && attempt.error.isEmpty())
            return true; // another station took it, or it waits
        if (attempt.path.isEmpty()) {
            claim.trouble = u"%1: %2"_s.arg(ShownFileName(file.name), attempt.error);
        } else if (!file.refusal.isEmpty()) {
            // Taken out of the folder unread, as a file that fails.
            claim.read = ReadFile{{attempt.name, file.name}, {}, {}, 0, {}, {}};
            claim.read->error = std::make_exception_ptr(MessageError(u"The order file %1 is %2; it is not read."_s.arg(
                ShownFileName(m_folder.filePath(file.name)), file.refusal)));
        } else {
            claim.read = read(m_folder, m_reading.file, {attempt.name, file.name});
        }
    } catch (const std::exception& e) {
        claim.trouble = u"%1: %2"_s.arg(ShownFileName(file.name), QString::fromLocal8Bit(e.what()));
    }
    put(std::move(claim));
    return true;
}

bool ClaimAhead::waitForRoom()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(
        lock, [&] { return m_stopping || (qsizetype(m_waiting.size()) < m_maxFiles && m_waitingChars < m_maxChars); });
    return !m_stopping;
}

void ClaimAhead::put(Claim claim)
{
    const std::lock_guard lock(m_mutex);
    m_waitingChars += claim.read ? claim.read->size : 0;
    m_waiting.push_back(std::move(claim));
    m_changed.notify_all();
}

std::optional<ClaimAhead::Claim> ClaimAhead::next()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return !m_waiting.empty() || m_done; });
    if (m_waiting.empty())
        return std::nullopt;
    Claim claim = std::move(m_waiting.front());
    m_waiting.pop_front();
    m_waitingChars -= claim.read ? claim.read->size : 0;
    m_changed.notify_all();
    return claim;
}

void ClaimAhead::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
        m_changed.notify_all();
    }
    if (m_thread.joinable())
        m_thread.join();
    for (const Claim& claim : m_waiting)
        if (claim.read)
            ReleaseClaim(m_folder, claim.read->file.claimName, claim.read->file.name);
    m_waiting.clear();
    m_waitingChars = 0;
    m_done = true;
}

} // namespace kestrin
