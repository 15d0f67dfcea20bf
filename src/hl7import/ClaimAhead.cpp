#include "ClaimAhead.h"

#include "hl7import/MessageReader.h"
#include "runtime/Context.h"

#include <system_error>

using namespace Qt::StringLiterals;

namespace kestrin {

ClaimAhead::ClaimAhead(const Context& ctx, QString host, qint64 pid, qsizetype files, qsizetype chars)
    : m_ctx(ctx)
    , m_host(std::move(host))
    , m_pid(pid)
    , m_maxFiles(qMax<qsizetype>(1, files))
    , m_maxChars(chars)
{
}

ClaimAhead::~ClaimAhead() { stop(); }

ReadFile ClaimAhead::read(const Context& ctx, const ClaimedFile& claimed)
{
    ReadFile read{claimed, {}, {}, 0};
    try {
        read.messages = ReadOrderFile(ctx, claimed.claimPath);
    } catch (...) {
        read.error = std::current_exception();
    }
    for (const Hl7Message& message : std::as_const(read.messages))
        read.size += message.lines.size();
    return read;
}

void ClaimAhead::start(QList<OrderFile> listed)
{
    stop();
    const std::lock_guard lock(m_mutex);
    m_stopping = false;
    m_listingDone = false;
    try {
        m_thread = std::thread(&ClaimAhead::claimAll, this, std::move(listed));
    } catch (const std::system_error&) {
        // No thread to be had: nothing is claimed, and the cycle fails as on any other error.
        m_listingDone = true;
        throw;
    }
}

void ClaimAhead::claimAll(QList<OrderFile> listed)
{
    const QString& folder = m_ctx.config.ImportPath;
    for (const OrderFile& file : std::as_const(listed)) {
        {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [&] {
                return m_stopping || (qsizetype(m_waiting.size()) < m_maxFiles && m_waitingChars < m_maxChars);
            });
            if (m_stopping)
                break;
        }
        Claim claim;
        try {
            const ClaimAttempt attempt =
                ClaimOrderFile(folder, file, Claimant{m_host, m_pid, QDateTime::currentDateTime()});
            if (!attempt.path.isEmpty())
                claim.read = read(m_ctx, {attempt.path, file.name});
            else if (!attempt.error.isEmpty())
                claim.trouble = u"%1: %2"_s.arg(file.name, attempt.error);
            else
                continue; // another station took it, or it waits
        } catch (const std::exception& e) {
            claim.trouble = u"%1: %2"_s.arg(file.name, QString::fromLocal8Bit(e.what()));
        }
        const std::lock_guard lock(m_mutex);
        m_waitingChars += claim.read ? claim.read->size : 0;
        m_waiting.push_back(std::move(claim));
        m_changed.notify_all();
    }
    const std::lock_guard lock(m_mutex);
    m_listingDone = true;
    m_changed.notify_all();
}

std::optional<ClaimAhead::Claim> ClaimAhead::next()
{
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return !m_waiting.empty() || m_listingDone; });
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
            ReleaseClaim(claim.read->file.claimPath, m_ctx.config.ImportPath, claim.read->file.name);
    m_waiting.clear();
    m_waitingChars = 0;
    m_listingDone = true;
}

} // namespace kestrin
