#include "core/ProcessLock.h"

#include "core/OwnFiles.h"
#include "core/ProcessAlive.h"

#include <QCoreApplication>
#include <QFile>
#include <QSysInfo>

#ifdef Q_OS_WIN
#include <QLockFile>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

constexpr qsizetype kLockTextBytes = 4096; // far more than a process, program and host take

} // namespace

#ifdef Q_OS_WIN

// Qt's lock file keeps its file open without leave to delete it, so a holder's death frees it.
struct ProcessLock::Handle {
    explicit Handle(const QString& path)
        : file(path)
    {
        file.setStaleLockTime(0);
    }
    QLockFile file;
};

ProcessLock::ProcessLock(const QString& path)
    : m_path(path)
    , m_handle(std::make_unique<Handle>(path))
{
}

ProcessLock::~ProcessLock() = default;

ProcessLock::Outcome ProcessLock::tryLock()
{
    if (m_handle->file.tryLock(0))
        return Outcome::Taken;
    if (m_handle->file.error() == QLockFile::LockFailedError)
        return Outcome::Held;
    m_error = u"the file cannot be written"_s;
    return Outcome::Unwritable;
}

bool IsLockHeld(const QString& path)
{
    const std::optional<LockHolder> holder = ReadLockHolder(path);
    return holder && holder->host == QSysInfo::machineHostName() && IsProcessAlive(holder->pid);
}

namespace {

QByteArray lockFileHead(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.read(kLockTextBytes) : QByteArray();
}

} // namespace

#else

// An open file description's lock (Linux's OFD lock) ends with the process, and another
// process can ask about it without taking it. The file is removed while still locked; a start
// that locked the file just before its removal sees that the name is gone and begins again.
#ifndef F_OFD_SETLK
#define F_OFD_SETLK F_SETLK
#define F_OFD_GETLK F_GETLK
#endif

namespace {

struct flock wholeFile(short type)
{
    struct flock range = {};
    range.l_type = type;
    range.l_whence = SEEK_SET;
    return range;
}

bool isStillNamed(int fd, const QByteArray& path)
{
    struct stat opened = {}, named = {};
    return ::fstat(fd, &opened) == 0 && ::stat(path.constData(), &named) == 0 && opened.st_dev == named.st_dev &&
        opened.st_ino == named.st_ino;
}

} // namespace

struct ProcessLock::Handle {
    int fd = -1;
};

ProcessLock::ProcessLock(const QString& path)
    : m_path(path)
    , m_handle(std::make_unique<Handle>())
{
}

ProcessLock::~ProcessLock()
{
    if (m_handle->fd < 0)
        return;
    ::unlink(QFile::encodeName(m_path).constData());
    ::close(m_handle->fd);
}

ProcessLock::Outcome ProcessLock::tryLock()
{
    if (m_handle->fd >= 0)
        return Outcome::Taken;
    const QByteArray path = QFile::encodeName(m_path);
    for (;;) {
        // The log folder may be others' to write: never through a link they put in its place.
        const OwnFile own = OpenOwnFile(m_path, O_RDWR | O_CREAT, 0640);
        const int fd = own.descriptor;
        if (fd < 0) {
            m_error = own.error;
            return Outcome::Unwritable;
        }
        struct flock range = wholeFile(F_WRLCK);
        if (::fcntl(fd, F_OFD_SETLK, &range) != 0) {
            const bool held = errno == EAGAIN || errno == EACCES;
            m_error = qt_error_string(errno);
            ::close(fd);
            return held ? Outcome::Held : Outcome::Unwritable;
        }
        if (!isStillNamed(fd, path)) {
            ::close(fd);
            continue;
        }
        const QByteArray who = QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
            QCoreApplication::applicationName().toUtf8() + '\n' + QSysInfo::machineHostName().toUtf8() + '\n';
        // A file an older version made keeps its mode: it names this process from now on.
        ::fchmod(fd, 0640);
        if (::ftruncate(fd, 0) != 0 || ::pwrite(fd, who.constData(), size_t(who.size()), 0) != who.size()) {
            m_error = qt_error_string(errno);
            ::unlink(path.constData());
            ::close(fd);
            return Outcome::Unwritable;
        }
        m_handle->fd = fd;
        return Outcome::Taken;
    }
}

namespace {

// Read as it was written: not through a link, and not from a pipe that would never end.
QByteArray lockFileHead(const QString& path)
{
    const OwnFile own = OpenOwnFile(path, O_RDONLY, 0);
    if (own.descriptor < 0)
        return {};
    QByteArray text(kLockTextBytes, Qt::Uninitialized);
    const ssize_t read = ::pread(own.descriptor, text.data(), size_t(text.size()), 0);
    ::close(own.descriptor);
    text.resize(read < 0 ? 0 : qsizetype(read));
    return text;
}

} // namespace

bool IsLockHeld(const QString& path)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return false;
    struct flock range = wholeFile(F_WRLCK);
    const bool held = ::fcntl(fd, F_OFD_GETLK, &range) == 0 && range.l_type != F_UNLCK;
    ::close(fd);
    return held;
}

#endif

std::optional<LockHolder> ReadLockHolder(const QString& path)
{
    const QList<QByteArray> lines = lockFileHead(path).split('\n');
    bool ok = false;
    const qint64 pid = lines.value(0).toLongLong(&ok);
    if (!ok || pid <= 0)
        return std::nullopt;
    return LockHolder{pid, QString::fromUtf8(lines.value(1)), QString::fromUtf8(lines.value(2))};
}

} // namespace kestrin
