#include "core/FolderCheck.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace kestrin {

FolderState CheckFolder(const QString& path, MissingFolder missing)
{
    if (path.isEmpty())
        return {false, u"no folder is set"_s};
    const QFileInfo info(path);
    if (info.exists()) {
        if (!info.isDir())
            return {false, u"a file, not a folder"_s};
        if (!info.isWritable())
            return {false, u"exists but cannot be written"_s};
        return {true, u"exists"_s};
    }
    if (missing == MissingFolder::Refused)
        return {false, u"does not exist; Kestrin does not create it"_s};
    QString ancestor = QDir::cleanPath(info.absoluteFilePath());
    while (!QFileInfo::exists(ancestor)) {
        const QString up = QFileInfo(ancestor).absolutePath();
        if (up == ancestor)
            break;
        ancestor = up;
    }
    const QFileInfo parent(ancestor);
    if (parent.isDir() && parent.isWritable())
        return {true, u"will be created"_s};
    return {false, u"is missing and cannot be created below %1"_s.arg(ancestor)};
}

} // namespace kestrin
