#include "core/FolderHandle.h"

#include "core/DurableFiles.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>

#ifdef Q_OS_WIN
#include <QDir>

#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

bool isPlainName(const QString& name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/')
#ifdef Q_OS_WIN
        && !name.contains(u'\\')
#endif
        ;
}

const QString kNotPlain = u"\"%1\" is no plain file name"_s;

} // namespace

#ifndef Q_OS_WIN

namespace {

QString systemError(int code) { return qt_error_string(code); }

bool writeAll(int fd, const QByteArray& bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        written += n;
    }
    return true;
}

} // namespace

FolderHandle::FolderHandle(const QString& path)
    : m_path(path.endsWith(u'/') ? path : path + u'/')
{
    QString folder = path;
    while (folder.size() > 1 && folder.endsWith(u'/'))
        folder.chop(1);
    m_fd = ::open(QFile::encodeName(folder).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (m_fd >= 0)
        return;
    m_error = errno == ELOOP ? u"%1 is a symbolic link, not a folder"_s.arg(folder) : systemError(errno);
}

FolderHandle::~FolderHandle()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool FolderHandle::isOpen() const { return m_fd >= 0; }

QString FolderHandle::createFile(const QString& name, const QByteArray& bytes, bool sync) const
{
    if (!isPlainName(name))
        return kNotPlain.arg(name);
    const QByteArray n = QFile::encodeName(name);
    const int fd = ::openat(m_fd, n.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return systemError(errno);
    QString error;
    struct stat created { };
    if (::fstat(fd, &created) != 0)
        error = systemError(errno);
    else if (!S_ISREG(created.st_mode) || created.st_nlink != 1)
        error = u"the new file %1 is no plain file"_s.arg(m_path + name);
    else if (!writeAll(fd, bytes) || (sync && ::fsync(fd) != 0))
        error = systemError(errno);
    if (::close(fd) != 0 && error.isEmpty())
        error = systemError(errno);
    // A share may take the bytes and still keep fewer of them.
    struct stat after { };
    if (error.isEmpty() &&
        (::fstatat(m_fd, n.constData(), &after, AT_SYMLINK_NOFOLLOW) != 0 || after.st_ino != created.st_ino ||
         after.st_size != bytes.size()))
        error = u"the file was cut short"_s;
    if (!error.isEmpty() && ::fstatat(m_fd, n.constData(), &after, AT_SYMLINK_NOFOLLOW) == 0 &&
        after.st_ino == created.st_ino && after.st_dev == created.st_dev)
        ::unlinkat(m_fd, n.constData(), 0);
    return error;
}

FolderHandle::Entry FolderHandle::entry(const QString& name, QString* error) const
{
    if (!isPlainName(name)) {
        if (error)
            *error = kNotPlain.arg(name);
        return Entry::None;
    }
    struct stat status { };
    if (::fstatat(m_fd, QFile::encodeName(name).constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (error && errno != ENOENT)
            *error = systemError(errno);
        return Entry::None;
    }
    if (S_ISREG(status.st_mode))
        return Entry::File;
    return S_ISDIR(status.st_mode) ? Entry::Folder : Entry::Other;
}

std::optional<QByteArray> FolderHandle::readHead(const QString& name, qint64 limit) const
{
    if (!isPlainName(name))
        return std::nullopt;
    // Not blocking: a pipe at the name must not stop the caller.
    const int fd =
        ::openat(m_fd, QFile::encodeName(name).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    std::optional<QByteArray> head;
    struct stat status { };
    if (::fstat(fd, &status) == 0 && S_ISREG(status.st_mode) && status.st_nlink == 1) {
        QByteArray bytes(qsizetype(qMin<qint64>(limit, status.st_size)), '\0');
        qsizetype total = 0;
        while (total < bytes.size()) {
            const ssize_t n = ::read(fd, bytes.data() + total, size_t(bytes.size() - total));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            total += n;
        }
        bytes.truncate(total);
        head = bytes;
    }
    ::close(fd);
    return head;
}

FolderHandle::Rename FolderHandle::rename(const QString& name, const FolderHandle& target, const QString& newName,
                                          QString* error) const
{
    if (!isPlainName(name) || !isPlainName(newName)) {
        if (error)
            *error = kNotPlain.arg(isPlainName(name) ? newName : name);
        return Rename::Failed;
    }
    if (::renameat(m_fd, QFile::encodeName(name).constData(), target.m_fd, QFile::encodeName(newName).constData()) == 0)
        return Rename::Done;
    if (errno == EXDEV)
        return Rename::OtherFileSystem;
    if (error)
        *error = systemError(errno);
    return Rename::Failed;
}

bool FolderHandle::remove(const QString& name) const
{
    return isPlainName(name) && ::unlinkat(m_fd, QFile::encodeName(name).constData(), 0) == 0;
}

bool FolderHandle::syncFiles(const QStringList& names) const
{
    if (names.isEmpty())
        return true;
#ifdef Q_OS_LINUX
    if (::syncfs(m_fd) == 0)
        return true;
#endif
    for (const QString& name : names) {
        const int fd = isPlainName(name) ? ::openat(m_fd, QFile::encodeName(name).constData(),
                                                    O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)
                                         : -1;
        if (fd < 0)
            return false;
        const bool synced = ::fsync(fd) == 0;
        ::close(fd);
        if (!synced)
            return false;
    }
    return true;
}

bool FolderHandle::sync() const { return ::fsync(m_fd) == 0; }

#else // Windows: a file is created only as a new one, and a reparse point is never used.

namespace {

bool isReparsePoint(const QFileInfo& info) { return info.isSymLink() || info.isJunction(); }

const wchar_t* native(const QString& path) { return reinterpret_cast<const wchar_t*>(path.utf16()); }

} // namespace

FolderHandle::FolderHandle(const QString& path)
    : m_path(path.endsWith(u'/') || path.endsWith(u'\\') ? path : path + u'/')
{
    const QFileInfo info(path);
    if (isReparsePoint(info))
        m_error = u"%1 is a link, not a folder"_s.arg(path);
    else if (!info.isDir())
        m_error = u"%1 is no folder"_s.arg(path);
}

FolderHandle::~FolderHandle() = default;

bool FolderHandle::isOpen() const { return m_error.isEmpty(); }

QString FolderHandle::createFile(const QString& name, const QByteArray& bytes, bool sync) const
{
    if (!isPlainName(name))
        return kNotPlain.arg(name);
    QFile file(m_path + name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly | QIODevice::Unbuffered))
        return file.errorString();
    QString error;
    if (file.write(bytes) != bytes.size())
        error = file.errorString();
    else if (sync && !SyncToDisk(file))
        error = qt_error_string(int(GetLastError()));
    file.close();
    if (error.isEmpty() && QFileInfo(file.fileName()).size() != bytes.size())
        error = u"the file was cut short"_s;
    if (!error.isEmpty())
        QFile::remove(file.fileName());
    return error;
}

FolderHandle::Entry FolderHandle::entry(const QString& name, QString* error) const
{
    if (!isPlainName(name)) {
        if (error)
            *error = kNotPlain.arg(name);
        return Entry::None;
    }
    const QFileInfo info(m_path + name);
    if (isReparsePoint(info))
        return Entry::Other;
    if (!info.exists())
        return Entry::None;
    if (info.isDir())
        return Entry::Folder;
    return info.isFile() ? Entry::File : Entry::Other;
}

std::optional<QByteArray> FolderHandle::readHead(const QString& name, qint64 limit) const
{
    if (entry(name) != Entry::File)
        return std::nullopt;
    QFile file(m_path + name);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.read(limit);
}

FolderHandle::Rename FolderHandle::rename(const QString& name, const FolderHandle& target, const QString& newName,
                                          QString* error) const
{
    if (!isPlainName(name) || !isPlainName(newName)) {
        if (error)
            *error = kNotPlain.arg(isPlainName(name) ? newName : name);
        return Rename::Failed;
    }
    const QString from = QDir::toNativeSeparators(m_path + name);
    const QString to = QDir::toNativeSeparators(target.m_path + newName);
    if (MoveFileExW(native(from), native(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Rename::Done;
    const DWORD code = GetLastError();
    if (code == ERROR_NOT_SAME_DEVICE)
        return Rename::OtherFileSystem;
    if (error)
        *error = qt_error_string(int(code));
    return Rename::Failed;
}

bool FolderHandle::remove(const QString& name) const { return isPlainName(name) && QFile::remove(m_path + name); }

bool FolderHandle::syncFiles(const QStringList& names) const
{
    for (const QString& name : names) {
        QFile file(m_path + name);
        if (entry(name) != Entry::File || !file.open(QIODevice::ReadWrite) || !SyncToDisk(file))
            return false;
    }
    return true;
}

bool FolderHandle::sync() const { return true; }

#endif

} // namespace kestrin
