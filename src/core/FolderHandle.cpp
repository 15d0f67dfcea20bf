#include "core/FolderHandle.h"

#include <QDir>
#include <QFileInfo>

#include <utility>

#ifdef Q_OS_WIN
#include <QDirIterator>

#include <windows.h>
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

using Name = FolderHandle::Name;
using Kind = FolderHandle::Kind;

QString nameProblem(const Name& name)
{
    const QByteArray& bytes = name.bytes;
    const bool plain = !bytes.isEmpty() && bytes != "." && bytes != ".." && !bytes.contains('/')
#ifdef Q_OS_WIN
        && !bytes.contains('\\')
#endif
        ;
    return plain ? QString() : u"\"%1\" is no plain file name"_s.arg(QFile::decodeName(bytes));
}

// Why nothing can be done with the name there: the folder is not open, or it is no plain name.
QString refusal(const FolderHandle& folder, const Name& name)
{
    return folder.isOpen() ? nameProblem(name) : folder.problem();
}

QString refusal(const FolderHandle& from, const Name& name, const FolderHandle& to, const Name& newName)
{
    const QString problem = refusal(from, name);
    return problem.isEmpty() ? refusal(to, newName) : problem;
}

QString pathOf(const FolderHandle& folder, const Name& name) { return folder.filePath(QFile::decodeName(name.bytes)); }

QString notAFolder(Kind kind)
{
    switch (kind) {
    case Kind::Link:
        return u"it is a link, not a folder"_s;
    case Kind::File:
        return u"it is a file, not a folder"_s;
    case Kind::Folder:
    case Kind::Other:
        break;
    }
    return u"it is no folder"_s;
}

#ifdef Q_OS_WIN

Kind kindOf(const QFileInfo& info)
{
    if (info.isSymLink() || info.isJunction())
        return Kind::Link;
    if (info.isDir())
        return Kind::Folder;
    return info.isFile() ? Kind::File : Kind::Other;
}

const wchar_t* native(const QString& path) { return reinterpret_cast<const wchar_t*>(path.utf16()); }

#else

qint64 milliseconds(const timespec& time) { return qint64(time.tv_sec) * 1000 + time.tv_nsec / 1000000; }

FolderHandle::Entry entryOf(const struct stat& status)
{
    FolderHandle::Entry entry;
    if (S_ISREG(status.st_mode))
        entry.kind = Kind::File;
    else if (S_ISDIR(status.st_mode))
        entry.kind = Kind::Folder;
    else if (S_ISLNK(status.st_mode))
        entry.kind = Kind::Link;
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

// The name as text, every byte that is no text in the file-name encoding shown as "_".
QString readableName(const QByteArray& bytes)
{
    QString name = QFile::decodeName(bytes);
    name.replace(QChar(QChar::ReplacementCharacter), u'_');
    return name;
}

#endif

} // namespace

FolderHandle::FolderHandle(FolderHandle&& other) noexcept
    : m_path(std::move(other.m_path))
    , m_problem(std::move(other.m_problem))
    , m_open(std::exchange(other.m_open, false))
    , m_fd(std::exchange(other.m_fd, -1))
{
}

FolderHandle& FolderHandle::operator=(FolderHandle&& other) noexcept
{
    FolderHandle gone(std::move(*this));
    m_path = std::move(other.m_path);
    m_problem = std::move(other.m_problem);
    m_open = std::exchange(other.m_open, false);
    m_fd = std::exchange(other.m_fd, -1);
    return *this;
}

FolderHandle::~FolderHandle()
{
#ifndef Q_OS_WIN
    if (m_fd >= 0)
        ::close(m_fd);
#endif
}

QString FolderHandle::filePath(const QString& name) const { return QDir(m_path).filePath(name); }

FolderHandle FolderHandle::Open(const QString& path)
{
    FolderHandle folder;
    folder.m_path = path;
#ifdef Q_OS_WIN
    folder.m_open = QFileInfo(path).isDir();
    if (!folder.m_open)
        folder.m_problem = u"it is no folder"_s;
#else
    folder.m_fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    folder.m_open = folder.m_fd >= 0;
    if (!folder.m_open)
        folder.m_problem = qt_error_string(errno);
#endif
    return folder;
}

FolderHandle FolderHandle::OpenNoLink(const QString& path)
{
    FolderHandle folder;
    folder.m_path = path;
#ifdef Q_OS_WIN
    const QFileInfo info(path);
    if (kindOf(info) == Kind::Link)
        folder.m_problem = u"%1 is a link, not a folder"_s.arg(path);
    else if (!info.isDir())
        folder.m_problem = u"%1 is no folder"_s.arg(path);
    folder.m_open = folder.m_problem.isEmpty();
#else
    // Without a separator at the end, which would lead through a link.
    QString place = path;
    while (place.size() > 1 && place.endsWith(u'/'))
        place.chop(1);
    folder.m_fd = ::open(QFile::encodeName(place).constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    folder.m_open = folder.m_fd >= 0;
    if (!folder.m_open)
        folder.m_problem =
            errno == ELOOP ? u"%1 is a symbolic link, not a folder"_s.arg(place) : qt_error_string(errno);
#endif
    return folder;
}

FolderHandle FolderHandle::OpenOwn(const FolderHandle& parent, const QString& name, bool create)
{
    FolderHandle folder;
    folder.m_path = parent.filePath(name);
#ifdef Q_OS_WIN
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
#else
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
#endif
    return folder;
}

QString FolderHandle::forEachName(const std::function<void(const QString&, const QByteArray&)>& visit) const
{
    if (!m_open)
        return m_problem;
#ifdef Q_OS_WIN
    QDirIterator names(m_path, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (names.hasNext()) {
        names.next();
        visit(names.fileName(), QFile::encodeName(names.fileName()));
    }
    return {};
#else
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
        visit(readableName(bytes), bytes);
    }
    const int readError = errno;
    ::closedir(dir);
    return readError == 0 ? QString() : qt_error_string(readError);
#endif
}

std::optional<FolderHandle::Entry> FolderHandle::entry(const Name& name, QString* error) const
{
    if (const QString problem = refusal(*this, name); !problem.isEmpty()) {
        if (error)
            *error = problem;
        return std::nullopt;
    }
#ifdef Q_OS_WIN
    const QFileInfo info(pathOf(*this, name));
    if (!info.exists() && !info.isSymLink())
        return std::nullopt;
    return Entry{kindOf(info), 1, info.lastModified().toMSecsSinceEpoch(),
                 info.metadataChangeTime().toMSecsSinceEpoch()};
#else
    struct stat status { };
    if (::fstatat(m_fd, name.bytes.constData(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (error && errno != ENOENT)
            *error = qt_error_string(errno);
        return std::nullopt;
    }
    return entryOf(status);
#endif
}

BoundedRead FolderHandle::read(const Name& name, qint64 limit) const
{
    BoundedRead read;
    if (const QString problem = refusal(*this, name); !problem.isEmpty()) {
        read.problem = BoundedRead::Problem::Unreadable;
        read.error = problem;
        return read;
    }
#ifdef Q_OS_WIN
    const QString path = pathOf(*this, name);
    if (QFileInfo(path).isSymLink()) {
        read.problem = BoundedRead::Problem::NotRegular;
        return read;
    }
    read = ReadBoundedFile(path, limit);
    read.links = 1;
    return read;
#else
    return ReadBoundedFileAt(m_fd, name.bytes, limit);
#endif
}

std::optional<QByteArray> FolderHandle::readHead(const Name& name, qint64 limit) const
{
    if (!refusal(*this, name).isEmpty())
        return std::nullopt;
#ifdef Q_OS_WIN
    const std::optional<Entry> found = entry(name);
    QFile file(pathOf(*this, name));
    if (!found || found->kind != Kind::File || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    return file.read(limit);
#else
    // Not blocking: a pipe at the name must not stop the caller.
    const int fd = ::openat(m_fd, name.bytes.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
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
#endif
}

QString FolderHandle::createFile(const Name& name, const QByteArray& bytes, bool sync) const
{
    if (const QString problem = refusal(*this, name); !problem.isEmpty())
        return problem;
#ifdef Q_OS_WIN
    QFile file(pathOf(*this, name));
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
#else
    const char* n = name.bytes.constData();
    const int fd = ::openat(m_fd, n, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_NOCTTY | O_CLOEXEC, 0666);
    if (fd < 0)
        return qt_error_string(errno);
    QString error;
    struct stat created { };
    if (::fstat(fd, &created) != 0)
        error = qt_error_string(errno);
    else if (!S_ISREG(created.st_mode) || created.st_nlink != 1)
        error = u"the new file %1 is no plain file"_s.arg(pathOf(*this, name));
    else if (!writeAll(fd, bytes) || (sync && ::fsync(fd) != 0))
        error = qt_error_string(errno);
    if (::close(fd) != 0 && error.isEmpty())
        error = qt_error_string(errno);
    // A share may take the bytes and still keep fewer of them.
    struct stat after { };
    if (error.isEmpty() &&
        (::fstatat(m_fd, n, &after, AT_SYMLINK_NOFOLLOW) != 0 || after.st_ino != created.st_ino ||
         after.st_size != bytes.size()))
        error = u"the file was cut short"_s;
    if (!error.isEmpty() && ::fstatat(m_fd, n, &after, AT_SYMLINK_NOFOLLOW) == 0 && after.st_ino == created.st_ino &&
        after.st_dev == created.st_dev)
        ::unlinkat(m_fd, n, 0);
    return error;
#endif
}

QString FolderHandle::tryClaim(const Name& name, const Name& renamed) const
{
    if (const QString problem = refusal(*this, name, *this, renamed); !problem.isEmpty())
        return problem;
#ifdef Q_OS_WIN
    QFile probe(pathOf(*this, name));
    if (!probe.open(QIODevice::WriteOnly | QIODevice::NewOnly))
        return probe.errorString();
    probe.close();
    const bool moved = probe.rename(pathOf(*this, renamed));
    const QString error = probe.errorString();
    probe.remove();
    return moved ? QString() : error;
#else
    const int fd = ::openat(m_fd, name.bytes.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        return qt_error_string(errno);
    ::close(fd);
    QString error;
    const MoveResult moved = MoveNoReplaceAt(m_fd, name.bytes, m_fd, renamed.bytes, &error);
    ::unlinkat(m_fd, (moved == MoveResult::Moved ? renamed : name).bytes.constData(), 0);
    if (moved == MoveResult::Moved)
        return {};
    return error.isEmpty() ? u"the file could not be renamed"_s : error;
#endif
}

FolderHandle::Rename FolderHandle::renameReplacing(const Name& name, const FolderHandle& target, const Name& newName,
                                                   QString* error) const
{
    if (const QString problem = refusal(*this, name, target, newName); !problem.isEmpty()) {
        if (error)
            *error = problem;
        return Rename::Failed;
    }
#ifdef Q_OS_WIN
    const QString from = QDir::toNativeSeparators(pathOf(*this, name));
    const QString to = QDir::toNativeSeparators(pathOf(target, newName));
    if (MoveFileExW(native(from), native(to), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        return Rename::Done;
    const DWORD code = GetLastError();
    if (code == ERROR_NOT_SAME_DEVICE)
        return Rename::OtherFileSystem;
    if (error)
        *error = qt_error_string(int(code));
#else
    if (::renameat(m_fd, name.bytes.constData(), target.m_fd, newName.bytes.constData()) == 0)
        return Rename::Done;
    if (errno == EXDEV)
        return Rename::OtherFileSystem;
    if (error)
        *error = qt_error_string(errno);
#endif
    return Rename::Failed;
}

MoveResult FolderHandle::moveNoReplace(const Name& name, const FolderHandle& target, const Name& newName,
                                       QString* error) const
{
    if (const QString problem = refusal(*this, name, target, newName); !problem.isEmpty()) {
        if (error)
            *error = problem;
        return MoveResult::Failed;
    }
#ifdef Q_OS_WIN
    return MoveNoReplace(pathOf(*this, name), pathOf(target, newName), error);
#else
    return MoveNoReplaceAt(m_fd, name.bytes, target.m_fd, newName.bytes, error);
#endif
}

bool FolderHandle::remove(const Name& name) const
{
    if (!refusal(*this, name).isEmpty())
        return false;
#ifdef Q_OS_WIN
    return QFile::remove(pathOf(*this, name));
#else
    return ::unlinkat(m_fd, name.bytes.constData(), 0) == 0;
#endif
}

bool FolderHandle::removeFolder(const Name& name) const
{
    if (!refusal(*this, name).isEmpty())
        return false;
#ifdef Q_OS_WIN
    return QDir(m_path).rmdir(QFile::decodeName(name.bytes));
#else
    return ::unlinkat(m_fd, name.bytes.constData(), AT_REMOVEDIR) == 0;
#endif
}

bool FolderHandle::syncFiles(const QStringList& names) const
{
#ifdef Q_OS_WIN
    for (const QString& name : names) {
        const std::optional<Entry> found = entry(name);
        QFile file(filePath(name));
        if (!found || found->kind != Kind::File || !file.open(QIODevice::ReadWrite) || !SyncToDisk(file))
            return false;
    }
    return true;
#else
    if (names.isEmpty())
        return true;
#ifdef Q_OS_LINUX
    if (::syncfs(m_fd) == 0)
        return true;
#endif
    for (const QString& name : names) {
        const QByteArray bytes = QFile::encodeName(name);
        const int fd = refusal(*this, bytes).isEmpty()
            ? ::openat(m_fd, bytes.constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC)
            : -1;
        if (fd < 0)
            return false;
        const bool synced = ::fsync(fd) == 0;
        ::close(fd);
        if (!synced)
            return false;
    }
    return true;
#endif
}

bool FolderHandle::sync() const
{
#ifdef Q_OS_WIN
    return true;
#else
    return ::fsync(m_fd) == 0;
#endif
}

} // namespace kestrin
