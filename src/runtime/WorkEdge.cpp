#include "runtime/WorkEdge.h"

#include "core/Error.h"
#include "labdb/Database.h"
#include "labdb/DbError.h"
#include "runtime/Outages.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// One trouble for every kind of work on the connection: while it lasts, each of them fails
// for that reason, said already.
const QString kConnectionOutage = u"connection"_s;

// The status line gives the server's words; the log adds the statement.
QString ReasonOf(const std::exception& error)
{
    const auto* dbError = dynamic_cast<const DbError*>(&error);
    const QString reason = (dbError ? dbError->driverText() : ErrorText(error)).trimmed();
    return reason.isEmpty() ? QCoreApplication::translate("WorkEdge", "unknown error") : reason;
}

} // namespace

QString WorkOutcome::words() const
{
    switch (state) {
    case State::Ran:
        break;
    case State::Busy:
        return QCoreApplication::translate("WorkEdge",
                                           "The database is busy: another program is using it. Try again in a moment.");
    case State::Failed:
        return QCoreApplication::translate("WorkEdge", "The database did not accept it (the log says why).");
    case State::Away:
        return QCoreApplication::translate("WorkEdge", "The database cannot be reached.");
    }
    return {};
}

WorkOutcome WorkEdge::run(const WorkLines& lines, const std::function<void()>& work)
{
    try {
        if (m_db)
            openIfLost();
        work();
    } catch (const DbStopped& e) {
        // Asked to stop while another program held a lock: the work goes back, nothing failed.
        return m_last = {WorkOutcome::State::Busy, ReasonOf(e)};
    } catch (const DbError& e) {
        if (lines.busyWaits && m_db && m_db->dialect().isBusy(e.code()))
            return m_last = {WorkOutcome::State::Busy, ReasonOf(e)};
        return fail(lines, e);
    } catch (const std::exception& e) {
        return fail(lines, e);
    }
    m_outages.mend(lines.key, lines.ranAgain);
    return m_last = {};
}

WorkOutcome WorkEdge::fail(const WorkLines& lines, const std::exception& error)
{
    m_suspect = true;
    // A file that went while the work ran is the connection's trouble, said as such, once.
    if (const QString fileTrouble = m_db ? m_db->fileTrouble() : QString();
        !fileTrouble.isEmpty() && !m_outages.isOpen(kConnectionOutage))
        m_outages.report(kConnectionOutage, fileTrouble);
    const bool said = m_outages.isOpen(kConnectionOutage) || (lines.onceWhileItLasts && m_outages.isOpen(lines.key));
    if (!said)
        m_outages.report(lines.key, lines.failed(ErrorText(error)));
    const bool reachable = !m_db || m_db->isAlive();
    return m_last = {reachable ? WorkOutcome::State::Failed : WorkOutcome::State::Away, ReasonOf(error)};
}

void WorkEdge::openIfLost()
{
    // A connection whose file was moved away or replaced is lost too: work committed through it
    // would go into a file nobody reads.
    const QString fileTrouble = m_db->fileTrouble();
    const bool lost = !fileTrouble.isEmpty() ||
        (m_probe == Probe::BeforeEveryWork ? !m_db->isAlive() : !m_db->isOpen() || (m_suspect && !m_db->isAlive()));
    const QString name = m_db->description();
    if (lost) {
        // Said once while it lasts, also when a missing file comes back as another one.
        if (!m_outages.isOpen(kConnectionOutage))
            m_outages.report(kConnectionOutage,
                             fileTrouble.isEmpty()
                                 ? u"The connection to %1 is lost; Kestrin opens it again."_s.arg(name)
                                 : fileTrouble);
        // Kept open until a file is there again: its file stays taken, so that a file made anew
        // can never look like it.
        if (m_db->fileState() == Database::FileState::Missing && m_db->isOpen())
            m_db->ensureSameFile();
        m_db->reopen();
    }
    // Also for a file that came back while the connection waited on it.
    if (m_outages.isOpen(kConnectionOutage))
        m_outages.mend(kConnectionOutage, u"The connection to %1 is open again."_s.arg(name));
    m_suspect = false;
}

} // namespace kestrin
