#include "labdb/DatabaseFile.h"

#include <QFile>
#include <QFileInfo>
#include <QUrl>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;

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

QString EmbeddedDatabaseUri(const QString& path, bool create)
{
    // Percent-encoded, so that a "?", "#" or "%" in a folder's name stays part of the path.
    return QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded) +
        (create ? u"?mode=rwc"_s : u"?mode=rw"_s);
}

} // namespace kestrin
