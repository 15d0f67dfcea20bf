#include "idstation/DatabaseFileWatch.h"

#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

namespace kestrin {

std::optional<FileIdentity> IdentityOf(const QString& path)
{
#ifdef Q_OS_WIN
    // A file that a connection holds open cannot be deleted here; its birth time tells a
    // file made anew.
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    return FileIdentity{0, quint64(info.birthTime().toMSecsSinceEpoch())};
#else
    struct stat status { };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return std::nullopt;
    return FileIdentity{quint64(status.st_dev), quint64(status.st_ino)};
#endif
}

void DatabaseFileWatch::remember()
{
    if (!m_path.isEmpty())
        m_file = IdentityOf(m_path);
}

DatabaseFileWatch::State DatabaseFileWatch::check() const
{
    if (m_path.isEmpty())
        return State::Same;
    const std::optional<FileIdentity> now = IdentityOf(m_path);
    if (!now)
        return State::Missing;
    return m_file && *now != *m_file ? State::Replaced : State::Same;
}

} // namespace kestrin
