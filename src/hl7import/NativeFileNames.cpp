#include "hl7import/NativeFileNames.h"

#include "core/FolderCheck.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#ifndef Q_OS_WIN
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#endif

using namespace Qt::StringLiterals;

namespace kestrin {

QString ForEachFileName(const QString& folder, const std::function<void(const QString&, const QByteArray&)>& visit)
{
#ifndef Q_OS_WIN
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return QString::fromLocal8Bit(std::strerror(errno));
    for (;;) {
        errno = 0;
        const dirent* entry = ::readdir(dir);
        if (!entry)
            break;
        const QByteArray native(entry->d_name);
        if (native == "." || native == "..")
            continue;
        const QString name = QFile::decodeName(native);
        if (QFile::encodeName(name) == native)
            visit(name, {});
        else
            visit(ReadableFileName(native), native);
    }
    const int readError = errno;
    ::closedir(dir);
    return readError == 0 ? QString() : QString::fromLocal8Bit(std::strerror(readError));
#else
    if (const QString trouble = ListingProblem(folder); !trouble.isEmpty())
        return trouble;
    QDirIterator entries(folder, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    while (entries.hasNext()) {
        entries.next();
        visit(entries.fileName(), {});
    }
    return {};
#endif
}

QString ReadableFileName(const QByteArray& nativeName)
{
    QString name = QFile::decodeName(nativeName);
    name.replace(QChar(QChar::ReplacementCharacter), u'_');
    return name;
}

bool RenameNativeName(const QString& folder, const QByteArray& from, const QString& to, QString* error)
{
#ifndef Q_OS_WIN
    const QByteArray dir = QFile::encodeName(QDir(folder).absolutePath()) + '/';
    const QByteArray target = dir + QFile::encodeName(to);
    const QByteArray source = dir + from;
    if (::rename(source.constData(), target.constData()) == 0)
        return true;
    // A name that is gone was taken by another station: no error.
    if (error && errno != ENOENT)
        *error = QString::fromLocal8Bit(std::strerror(errno));
    return false;
#else
    Q_UNUSED(folder);
    Q_UNUSED(from);
    Q_UNUSED(to);
    if (error)
        *error = u"not supported"_s;
    return false;
#endif
}

} // namespace kestrin
