#include "StationLock.h"

#include "core/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

using namespace Qt::StringLiterals;

namespace kestrin {

QString StationLockFileName(const AppConfig& config)
{
    return QFileInfo(config.ComLogPath + config.StationId + u".kestrin-lock"_s).absoluteFilePath();
}

StationLock::StationLock(const AppConfig& config)
    : m_lock(StationLockFileName(config))
{
    QDir().mkpath(QFileInfo(m_lock.path()).absolutePath());
    const ProcessLock::Outcome outcome = m_lock.tryLock();
    if (outcome == ProcessLock::Outcome::Taken)
        return;
    if (outcome == ProcessLock::Outcome::Unwritable)
        throw StartupError(u"The lock file %1 of station %2 cannot be made in the log folder (ComLogPath): %3."_s.arg(
            m_lock.path(), config.StationId, m_lock.errorString()));

    const std::optional<LockHolder> holder = ReadLockHolder(m_lock.path());
    const QString who = holder
        ? u"process %1 (%2) on %3"_s.arg(QString::number(holder->pid), holder->program, holder->host)
        : u"another process"_s;
    QString message = u"Station %1 runs already on this configuration: %2 holds %3. A second start would write the "
                      u"same log; several stations that share a log folder need an /id each."_s.arg(config.StationId,
                                                                                                    who, m_lock.path());
    // A lock on a share may be held from another machine, whose end the share may not notice.
    if (holder && holder->host != QSysInfo::machineHostName())
        message += u" If that process no longer runs, delete the lock file."_s;
    throw StartupError(message);
}

} // namespace kestrin
