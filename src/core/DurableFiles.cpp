#include "core/DurableFiles.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace kestrin {

bool SyncToDisk(QFile& file)
{
    if (!file.flush())
        return false;
#ifdef Q_OS_WIN
    return _commit(file.handle()) == 0;
#else
    return ::fsync(file.handle()) == 0;
#endif
}

namespace {

QString lastSystemError() { return qt_error_string(errno); }

QString writeAndCheck(QFile& file, const QByteArray& bytes, bool sync)
{
    // Unbuffered: the write reaches the system at once and says whether the disk took it,
    // instead of a flush at close that nobody asks.
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return file.errorString();
    if (file.write(bytes) != bytes.size())
        return file.errorString();
    if (sync && !SyncToDisk(file))
        return lastSystemError();
    file.close();
    if (file.error() != QFileDevice::NoError)
        return file.errorString();
    // A share may take the bytes and still keep fewer of them.
    if (QFileInfo(file.fileName()).size() != bytes.size())
        return QStringLiteral("the file was cut short");
    return {};
}

} // namespace

QString WriteWholeFile(const QString& path, const QByteArray& bytes, bool sync)
{
    QFile file(path);
    const QString error = writeAndCheck(file, bytes, sync);
    if (!error.isEmpty()) {
        file.close();
        QFile::remove(path);
    }
    return error;
}

bool SyncFiles(const QStringList& paths)
{
    if (paths.isEmpty())
        return true;
#ifdef Q_OS_LINUX
    const int fd = ::open(QFile::encodeName(paths.first()).constData(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        const bool synced = ::syncfs(fd) == 0;
        ::close(fd);
        if (synced)
            return true;
    }
#endif
    for (const QString& path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::ReadWrite) || !SyncToDisk(file))
            return false;
    }
    return true;
}

bool SyncFolder(const QString& folder)
{
#ifdef Q_OS_WIN
    Q_UNUSED(folder);
    return true;
#else
    const int fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    ::close(fd);
    return synced;
#endif
}

bool RenameReplacing(const QString& from, const QString& to)
{
#ifdef Q_OS_WIN
    return MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                       reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()),
                       MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
#else
    return std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) == 0;
#endif
}

#ifndef Q_OS_WIN
namespace {

// Reads an open file of at most `limit` bytes with one status call; closes it.
BoundedRead readOpenFile(int fd, qint64 limit)
{
    BoundedRead read;
    struct stat status { };
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        read.problem = BoundedRead::Problem::NotRegular;
    } else if (status.st_size > limit) {
        read.problem = BoundedRead::Problem::TooLarge;
        read.size = status.st_size;
        read.links = qint64(status.st_nlink);
    } else {
        read.size = status.st_size;
        read.links = qint64(status.st_nlink);
        read.bytes.resize(qsizetype(status.st_size) + 1);
        qsizetype total = 0;
        for (;;) {
            const ssize_t n = ::read(fd, read.bytes.data() + total, size_t(read.bytes.size() - total));
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0) {
                read.problem = BoundedRead::Problem::Unreadable;
                read.error = lastSystemError();
                break;
            }
            total += n;
            if (n == 0 || total > limit)
                break;
            if (total == read.bytes.size()) // it grows while it is read
                read.bytes.resize(qMin<qsizetype>(read.bytes.size() * 2, qsizetype(limit) + 1));
        }
        read.bytes.truncate(total);
    }
    ::close(fd);
    if (read.problem == BoundedRead::Problem::None && read.bytes.size() > limit)
        read.problem = BoundedRead::Problem::TooLarge;
    return read;
}

BoundedRead unreadable()
{
    const int failure = errno;
    BoundedRead read;
    read.problem = BoundedRead::Problem::Unreadable;
    read.error = qt_error_string(failure);
    read.gone = failure == ENOENT;
    return read;
}

} // namespace

BoundedRead ReadBoundedFileAt(int folder, const QByteArray& name, qint64 limit)
{
    // Not blocking: a pipe put in the file's place must not stop the cycle.
    const int fd = ::openat(folder, name.constData(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0 && errno == ELOOP) {
        BoundedRead read;
        read.problem = BoundedRead::Problem::NotRegular;
        return read;
    }
    return fd < 0 ? unreadable() : readOpenFile(fd, limit);
}
#endif

BoundedRead ReadBoundedFile(const QString& path, qint64 limit)
{
#ifdef Q_OS_WIN
    BoundedRead read;
    const QFileInfo info(path);
    if (info.exists() && !info.isFile()) {
        read.problem = BoundedRead::Problem::NotRegular;
        return read;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        read.problem = BoundedRead::Problem::Unreadable;
        read.error = file.errorString();
        read.gone = !info.exists();
        return read;
    }
    read.size = file.size();
    if (read.size > limit) {
        read.problem = BoundedRead::Problem::TooLarge;
        return read;
    }
    read.bytes = file.read(limit + 1);
    if (read.bytes.size() > limit)
        read.problem = BoundedRead::Problem::TooLarge;
    return read;
#else
    // Not blocking: a pipe put in the file's place must not stop the cycle.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    return fd < 0 ? unreadable() : readOpenFile(fd, limit);
#endif
}

MoveResult MoveNoReplace(const QString& from, const QString& to, QString* error)
{
#ifdef Q_OS_WIN
    // Without MOVEFILE_REPLACE_EXISTING the move fails on a name that is taken.
    if (MoveFileExW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(from).utf16()),
                    reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(to).utf16()), MOVEFILE_WRITE_THROUGH))
        return MoveResult::Moved;
    const DWORD code = GetLastError();
    if (code == ERROR_ALREADY_EXISTS || code == ERROR_FILE_EXISTS)
        return MoveResult::TargetExists;
    if (code == ERROR_FILE_NOT_FOUND)
        return MoveResult::SourceGone;
    if (error)
        *error = QString::fromWCharArray(_wcserror(int(code)));
    return MoveResult::Failed;
#else
    return MoveNoReplaceAt(AT_FDCWD, QFile::encodeName(from), AT_FDCWD, QFile::encodeName(to), error);
#endif
}

#ifndef Q_OS_WIN
MoveResult MoveNoReplaceAt(int fromFolder, const QByteArray& from, int toFolder, const QByteArray& to, QString* error)
{
    int result = ::renameat2(fromFolder, from.constData(), toFolder, to.constData(), RENAME_NOREPLACE);
    if (result != 0 && (errno == EINVAL || errno == ENOSYS)) {
        // A file system without the no-replace rename: a link never replaces a name either.
        result = ::linkat(fromFolder, from.constData(), toFolder, to.constData(), 0);
        if (result == 0)
            ::unlinkat(fromFolder, from.constData(), 0);
    }
    if (result == 0)
        return MoveResult::Moved;
    if (errno == EEXIST)
        return MoveResult::TargetExists;
    const int failure = errno;
    struct stat status { };
    if (failure == ENOENT && ::fstatat(fromFolder, from.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return MoveResult::SourceGone;
    if (error)
        *error = qt_error_string(failure);
    return MoveResult::Failed;
}
#endif

} // namespace kestrin
