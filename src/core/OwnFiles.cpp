#include "core/OwnFiles.h"

#ifndef Q_OS_WIN
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;

namespace kestrin {

#ifndef Q_OS_WIN

void RestrictNewFileModes()
{
    const mode_t was = ::umask(0);
    ::umask(was | 027);
}

OwnFile OpenOwnFile(const QString& path, int flags, int mode)
{
    // Not blocking: a pipe put in the file's place must not stop the program.
    const int fd = ::open(QFile::encodeName(path).constData(), flags | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, mode);
    if (fd < 0) {
        const int error = errno;
        return {-1,
                error == ELOOP ? u"it is a symbolic link, which Kestrin does not follow"_s : qt_error_string(error)};
    }
    struct stat status = {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode) || status.st_nlink > 1) {
        ::close(fd);
        return {-1, u"it is no plain file of Kestrin's own (a device, a pipe, or a file with a second name)"_s};
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return {fd, {}};
}

QString OpenOwnFileForAppending(QFile& file, const QString& path, int mode)
{
    const OwnFile own = OpenOwnFile(path, O_WRONLY | O_APPEND | O_CREAT, mode);
    if (own.descriptor < 0)
        return own.error;
    if (!file.open(own.descriptor, QIODevice::WriteOnly | QIODevice::Append, QFileDevice::AutoCloseHandle)) {
        ::close(own.descriptor);
        return file.errorString();
    }
    return {};
}

#else

void RestrictNewFileModes() { }

QString OpenOwnFileForAppending(QFile& file, const QString& path, int)
{
    file.setFileName(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Append) ? QString() : file.errorString();
}

#endif

} // namespace kestrin
