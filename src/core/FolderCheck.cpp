#include "core/FolderCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// Writes a file into the folder and removes it again: permission bits say nothing about a
// full disk, a read-only mount, an immutable folder or a share's access list. Empty when
// it worked, else why not.
QString writeProblem(const QString& folder)
{
    QTemporaryFile probe(QDir(folder).filePath(u".kestrin-check.XXXXXX"_s));
    constexpr char kText[] = "kestrin /check\n";
    const qint64 size = qint64(sizeof kText - 1);
    if (!probe.open() || probe.write(kText, size) != size || !probe.flush())
        return probe.errorString();
    probe.close();
    if (!probe.remove())
        return probe.errorString();
    return {};
}

} // namespace

FolderState CheckFolder(const QString& path, MissingFolder missing)
{
    if (path.isEmpty())
        return {false, u"no folder is set"_s};
    const QFileInfo info(path);
    if (info.exists()) {
        if (!info.isDir())
            return {false, u"a file, not a folder"_s};
        if (const QString problem = writeProblem(path); !problem.isEmpty())
            return {false, u"exists but cannot be written: %1"_s.arg(problem)};
        if (const QString problem = ListingProblem(path); !problem.isEmpty())
            return {false, u"exists but cannot be listed: %1"_s.arg(problem)};
        return {true, u"exists"_s};
    }
    if (missing == MissingFolder::Refused)
        return {false, u"does not exist; Kestrin does not create it"_s};

    // Made as a run would make it, tried, and taken away again.
    const QStringList made = MissingFolders(path);
    const QString ancestor = made.isEmpty() ? path : QFileInfo(made.first()).absolutePath();
    QString problem;
    if (!QDir().mkpath(path))
        problem = u"it cannot be made"_s;
    else
        problem = writeProblem(path);
    for (auto it = made.crbegin(); it != made.crend(); ++it)
        QDir().rmdir(*it);
    if (problem.isEmpty())
        return {true, u"will be created"_s};
    return {false, u"is missing and cannot be created below %1: %2"_s.arg(ancestor, problem)};
}

QString WritingProblem(const QString& folder)
{
#ifndef Q_OS_WIN
    // As the effective user and groups, with the capabilities in effect, not the real user's.
    if (::faccessat(AT_FDCWD, QFile::encodeName(folder).constData(), W_OK | X_OK, AT_EACCESS) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    return {};
#else
    return QFileInfo(folder).isWritable() ? QString() : u"the folder cannot be written"_s;
#endif
}

namespace {

// Whether the permission bits of users outside owner and group ("others") include `bits`.
bool othersMay(const QString& path, [[maybe_unused]] unsigned bits)
{
#ifndef Q_OS_WIN
    struct stat status = {};
    return ::stat(QFile::encodeName(path).constData(), &status) == 0 && (status.st_mode & bits) != 0;
#else
    Q_UNUSED(path);
    return false;
#endif
}

constexpr unsigned kOthersRead = 04;
constexpr unsigned kOthersWrite = 02;

} // namespace

bool EveryoneMayWrite(const QString& folder) { return othersMay(folder, kOthersWrite); }

bool EveryoneMayRead(const QString& file) { return othersMay(file, kOthersRead); }

QStringList MissingFolders(const QString& path)
{
    QStringList missing;
    QString folder = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo::exists(folder)) {
        missing.prepend(folder);
        const QString up = QFileInfo(folder).absolutePath();
        if (up == folder)
            break;
        folder = up;
    }
    return missing;
}

QString ListingProblem(const QString& folder)
{
#ifndef Q_OS_WIN
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return QString::fromLocal8Bit(std::strerror(errno));
    ::closedir(dir);
    return {};
#else
    return QFileInfo(folder).isReadable() ? QString() : u"the folder cannot be listed"_s;
#endif
}

} // namespace kestrin
