#include "StationLock.h"

#include "core/Error.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QSysInfo>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// A lock file that names no process was left by a start killed between making and writing it.
constexpr qint64 kUnnamedLockAgeMs = 5000;

bool namesNoProcess(const QLockFile& lock)
{
    qint64 pid = 0;
    QString host, program;
    const QFileInfo file(lock.fileName());
    return !lock.getLockInfo(&pid, &host, &program) && file.exists() &&
        file.lastModified().msecsTo(QDateTime::currentDateTime()) > kUnnamedLockAgeMs;
}

} // namespace

QString StationLockFileName(const AppConfig& config)
{
    return QFileInfo(config.ComLogPath + config.StationId + u".kestrin-lock"_s).absoluteFilePath();
}

StationLock::StationLock(const AppConfig& config)
    : m_file(StationLockFileName(config))
{
    // The process's own life is the lock's: it is never too old while its holder runs.
    m_file.setStaleLockTime(0);
    QDir().mkpath(QFileInfo(m_file.fileName()).absolutePath());
    bool locked = m_file.tryLock(0);
    if (!locked && m_file.error() == QLockFile::LockFailedError && namesNoProcess(m_file) &&
        m_file.removeStaleLockFile())
        locked = m_file.tryLock(0);
    if (locked)
        return;
    if (m_file.error() != QLockFile::LockFailedError)
        throw StartupError(
            u"The lock file %1 of station %2 cannot be made: its folder (ComLogPath) cannot be written."_s.arg(
                m_file.fileName(), config.StationId));

    qint64 pid = 0;
    QString host, program;
    QString holder = u"another process"_s;
    if (m_file.getLockInfo(&pid, &host, &program))
        holder = u"process %1 (%2) on %3"_s.arg(QString::number(pid), program, host);
    QString message = u"Station %1 runs already on this configuration: %2 holds %3. A second start would write the "
                      u"same log; several stations that share a log folder need an /id each."_s.arg(
                          config.StationId, holder, m_file.fileName());
    // A process of this machine that is gone leaves no lock behind; one of another machine may.
    if (!host.isEmpty() && host != QSysInfo::machineHostName())
        message += u" If that process no longer runs, delete the lock file."_s;
    throw StartupError(message);
}

} // namespace kestrin
