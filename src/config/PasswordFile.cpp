#include "PasswordFile.h"

#include "core/FolderCheck.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// A password is a line; a larger file is not what the key should name.
constexpr qint64 kMaxPasswordFileBytes = 4096;

// Why the file at `path` gives no password; empty when `password` holds it.
QString readPassword(const QString& path, QString& password)
{
    const QFileInfo info(path);
    if (!info.exists())
        return u"a file that does not exist (looked for at %1)"_s.arg(path);
    // A pipe or device would hang the start.
    if (!info.isFile())
        return u"no regular file (%1)"_s.arg(path);
    // The service's group may read it: a file of root's, group kestrin, mode 0640 is how a
    // password reaches a service that must not be able to change it. Everyone else may not.
    if (EveryoneMayRead(path))
        return u"a file every user of this machine may read (%1); allow its owner and group only (chmod o-rwx)"_s.arg(
            path);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return u"a file Kestrin cannot read (%1): %2"_s.arg(path, file.errorString());
    const QByteArray bytes = file.read(kMaxPasswordFileBytes + 1);
    if (bytes.size() > kMaxPasswordFileBytes)
        return u"a file of more than %1 bytes (%2), not a password"_s.arg(QString::number(kMaxPasswordFileBytes), path);
    const qsizetype end = bytes.indexOf('\n');
    QByteArray line = end < 0 ? bytes : bytes.left(end);
    if (line.endsWith('\r'))
        line.chop(1);
    if (line.isEmpty())
        return u"a file without a password on its first line (%1)"_s.arg(path);
    password = QString::fromUtf8(line);
    return {};
}

} // namespace

void ReadPasswordFile(ParsedConfiguration& parsed, const QString& iniFolder, const QString& credentialsDirectory)
{
    IniSettings& s = parsed.settings;
    const QString written = s.DbPasswordFile;
    if (written.isEmpty())
        return;
    if (!s.DbPassword.isEmpty()) {
        parsed.errors.push_back(
            {u"DbPasswordFile"_s, written, u"set beside DbPassword; name the password in one of the two only"_s});
        return;
    }
    const QDir base(QDir::isRelativePath(written) && !credentialsDirectory.isEmpty() ? credentialsDirectory
                                                                                     : iniFolder);
    const QString path = QDir::cleanPath(base.absoluteFilePath(written));
    QString password;
    if (const QString problem = readPassword(path, password); !problem.isEmpty()) {
        parsed.errors.push_back({u"DbPasswordFile"_s, written, problem});
        return;
    }
    s.DbPasswordFile = path;
    s.DbPassword = password;
}

} // namespace kestrin
