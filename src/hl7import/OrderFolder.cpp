#include "hl7import/OrderFolder.h"

#include "hl7import/NativeFileNames.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <utility>

#ifdef Q_OS_WIN
#include <QDirIterator>
#else
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

QString notAFolder(OrderFolder::Kind kind)
{
    switch (kind) {
    case OrderFolder::Kind::Link:
        return u"it is a link, not a folder"_s;
    case OrderFolder::Kind::File:
        return u"it is a file, not a folder"_s;
    case OrderFolder::Kind::Folder:
    case OrderFolder::Kind::Other:
        break;
    }
    return u"it is no folder"_s;
}

#ifndef Q_OS_WIN
qint64 milliseconds(const timespec& time) { return qint64(time.tv_sec) * 1000 + time.tv_nsec / 1000000; }

OrderFolder::Entry entryOf(const struct stat& status)
{
    OrderFolder::Entry entry;
    if (S_ISREG(status.st_mode))
        entry.kind = OrderFolder::Kind::File;
    else if (S_ISDIR(status.st_mode))
        entry.kind = OrderFolder::Kind::Folder;
    else if (S_ISLNK(status.st_mode))
        entry.kind = OrderFolder::Kind::Link;
    entry.links = qint64(status.st_nlink);
    entry.modifiedMs = milliseconds(status.st_mtim);
    entry.changedMs = milliseconds(status.st_ctim);
    return entry;
}

// Handles of folders Kestrin only files into need no right to list them.
#ifdef O_PATH
constexpr int kFilingFolder = O_PATH;
#else
constexpr int kFilingFolder = O_RDONLY;
#endif
#endif

} // namespace

OrderFolder::OrderFolder(OrderFolder&& other) noexcept
    : m_path(std::move(other.m_path))
    , m_problem(std::move(other.m_problem))
    , m_open(std::exchange(other.m_open, false))
    , m_fd(std::exchange(other.m_fd, -1))
{
}

OrderFolder& OrderFolder::operator=(OrderFolder&& other) noexcept
{
    OrderFolder gone(std::move(*this));
    m_path = std::move(other.m_path);
    m_problem = std::move(other.m_problem);
    m_open = std::exchange(other.m_open, false);
    m_fd = std::exchange(other.m_fd, -1);
    return *this;
}

OrderFolder::~OrderFolder()
{
#ifndef Q_OS_WIN
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

QString OrderFolder::filePath(const QString& name) const { return QDir(m_path).filePath(name); }

#ifndef Q_OS_WIN

OrderFolder OrderFolder::Open(const QString& path)
{
    OrderFolder folder;
    folder.m_path = path;
    folder.m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    folder.m_open = folder.m_fd >= 0;
    if (!folder.m_open)
        folder.m_problem = qt_error_string(errno);
    return folder;
}

OrderFolder OrderFolder::OpenOwn(const OrderFolder& parent, const QString& name, bool create)
{
    OrderFolder folder;
    folder.m_path = parent.filePath(name);
    if (!parent.m_open) {
        folder.m_problem = parent.m_problem;
        return folder;
    }
    const QByteArray bytes = QFile::encodeName(name);
    struct stat status { };
    if (::fstatat(parent.m_fd, bytes.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno != ENOENT || !create) {
            folder.m_problem = qt_error_string(errno);
            return folder;
        }
        if (::mkdirat(parent.m_fd, bytes.constData(), 0777) != 0 && errno != EEXIST) {
            folder.m_problem = u"it cannot be made: "_s + qt_error_string(errno);
            return folder;
        }
    } else if (!S_ISDIR(status.st_mode)) {
        folder.m_problem = notAFolder(entryOf(status).kind);
        return folder;
    }
    folder.m_fd = ::openat(parent.m_fd, bytes.constData(), kFilingFolder | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (folder.m_fd < 0) {
        // Replaced after the look: by a link, or by a file.
        folder.m_problem = errno == ENOTDIR || errno == ELOOP ? u"it is no folder"_s : qt_error_string(errno);
        return folder;
    }
    // A folder of another user (the sender's, put in place of Kestrin's) would hand the files to them.
    if (::fstat(folder.m_fd, &status) != 0) {
        folder.m_problem = qt_error_string(errno);
        return folder;
    }
    if (status.st_uid != ::geteuid()) {
        folder.m_problem = u"it belongs to the user with ID %1, not to Kestrin's user (ID %2)"_s.arg(
            QString::number(status.st_uid), QString::number(::geteuid()));
        return folder;
    }
    folder.m_open = true;
    return folder;
}

QString OrderFolder::forEachName(const std::function<void(const QString&, const QByteArray&)>& visit) const
{
    if (!m_open)
        return m_problem;
    // A listing of its own: the folder's handle keeps no position between listings.
    const int fd = ::openat(m_fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    DIR* dir = fd < 0 ? nullptr : ::fdopendir(fd);
    if (!dir) {
        const QString problem = qt_error_string(errno);
        if (fd >= 0)
            ::close(fd);
        return problem;
    }
    for (;;) {
        errno = 0;
        const dirent* found = ::readdir(dir);
        if (!found)
            break;
        const QByteArray bytes(found->d_name);
        if (bytes == "." || bytes == "..")
            continue;
        visit(ReadableFileName(bytes), bytes);
    }
    const int readError = errno;
    ::closedir(dir);
    return readError == 0 ? QString() : qt_error_string(readError);
}

std::optional<OrderFolder::Entry> OrderFolder::entry(const QByteArray& name) const
{
    struct stat status { };
    if (!m_open || ::fstatat(m_fd, name.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return std::nullopt;
    return entryOf(status);
}

MoveResult OrderFolder::move(const QByteArray& from, const OrderFolder& to, const QByteArray& toName,
                             QString* error) const
{
    if (!m_open || !to.m_open) {
        if (error)
            *error = m_open ? to.m_problem : m_problem;
        return MoveResult::Failed;
    }
    return MoveNoReplaceAt(m_fd, from, to.m_fd, toName, error);
}

BoundedRead OrderFolder::read(const QByteArray& name, qint64 limit) const
{
    if (!m_open) {
        BoundedRead read;
        read.problem = BoundedRead::Problem::Unreadable;
        read.error = m_problem;
        return read;
    }
    return ReadBoundedFileAt(m_fd, name, limit);
}

QString OrderFolder::tryClaim(const QByteArray& name, const QByteArray& renamed) const
{
    if (!m_open)
        return m_problem;
    const int fd = ::openat(m_fd, name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return qt_error_string(errno);
    ::close(fd);
    QString error;
    const MoveResult moved = MoveNoReplaceAt(m_fd, name, m_fd, renamed, &error);
    ::unlinkat(m_fd, (moved == MoveResult::Moved ? renamed : name).constData(), 0);
    if (moved == MoveResult::Moved)
        return {};
    return error.isEmpty() ? u"the file could not be renamed"_s : error;
}

bool OrderFolder::removeFolder(const QString& name) const
{
    return m_open && ::unlinkat(m_fd, QFile::encodeName(name).constData(), AT_REMOVEDIR) == 0;
}

#else // Windows: by path

namespace {

OrderFolder::Kind kindOf(const QFileInfo& info)
{
    if (info.isSymLink() || info.isJunction())
        return OrderFolder::Kind::Link;
    if (info.isDir())
        return OrderFolder::Kind::Folder;
    return info.isFile() ? OrderFolder::Kind::File : OrderFolder::Kind::Other;
}

} // namespace

OrderFolder OrderFolder::Open(const QString& path)
{
    OrderFolder folder;
    folder.m_path = path;
    folder.m_open = QFileInfo(path).isDir();
    if (!folder.m_open)
        folder.m_problem = u"it is no folder"_s;
    return folder;
}

OrderFolder OrderFolder::OpenOwn(const OrderFolder& parent, const QString& name, bool create)
{
    OrderFolder folder;
    folder.m_path = parent.filePath(name);
    QFileInfo info(folder.m_path);
    if (!info.exists() && !info.isSymLink() && create && !QDir(parent.m_path).mkdir(name)) {
        folder.m_problem = u"it cannot be made"_s;
        return folder;
    }
    info.refresh();
    if (const Kind kind = kindOf(info); kind != Kind::Folder) {
        folder.m_problem = info.exists() || info.isSymLink() ? notAFolder(kind) : u"it does not exist"_s;
        return folder;
    }
    folder.m_open = parent.m_open;
    folder.m_problem = parent.m_problem;
    return folder;
}

QString OrderFolder::forEachName(const std::function<void(const QString&, const QByteArray&)>& visit) const
{
    if (!m_open)
        return m_problem;
    QDirIterator names(m_path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (names.hasNext()) {
        names.next();
        visit(names.fileName(), QFile::encodeName(names.fileName()));
    }
    return {};
}

std::optional<OrderFolder::Entry> OrderFolder::entry(const QByteArray& name) const
{
    const QFileInfo info(filePath(QFile::decodeName(name)));
    if (!info.exists() && !info.isSymLink())
        return std::nullopt;
    return Entry{kindOf(info), 1, info.lastModified().toMSecsSinceEpoch(),
                 info.metadataChangeTime().toMSecsSinceEpoch()};
}

MoveResult OrderFolder::move(const QByteArray& from, const OrderFolder& to, const QByteArray& toName,
                             QString* error) const
{
    if (!m_open || !to.m_open) {
        if (error)
            *error = m_open ? to.m_problem : m_problem;
        return MoveResult::Failed;
    }
    return MoveNoReplace(filePath(QFile::decodeName(from)), to.filePath(QFile::decodeName(toName)), error);
}

BoundedRead OrderFolder::read(const QByteArray& name, qint64 limit) const
{
    const QString path = filePath(QFile::decodeName(name));
    if (QFileInfo(path).isSymLink()) {
        BoundedRead read;
        read.problem = BoundedRead::Problem::NotRegular;
        return read;
    }
    BoundedRead read = ReadBoundedFile(path, limit);
    read.links = 1;
    return read;
}

QString OrderFolder::tryClaim(const QByteArray& name, const QByteArray& renamed) const
{
    QFile probe(filePath(QFile::decodeName(name)));
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return probe.errorString();
    probe.close();
    const bool moved = probe.rename(filePath(QFile::decodeName(renamed)));
    const QString error = probe.errorString();
    probe.remove();
    return moved ? QString() : error;
}

bool OrderFolder::removeFolder(const QString& name) const { return QDir(m_path).rmdir(name); }

#endif

} // namespace kestrin
