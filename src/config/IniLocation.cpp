#include "config/IniLocation.h"

#include "core/Error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace kestrin {

QStringList IniFileCandidates(const QString& programFolder)
{
    const QString besideProgram = QDir(programFolder).filePath(u"HL7.ini"_s);
#ifdef Q_OS_WIN
    return {u"C:\\Dokumente und Einstellungen\\Xj\\Desktop\\quorix\\quorix.ini"_s, besideProgram};
#else
    return {u"/etc/kestrin/kestrin.ini"_s, u"/etc/kestrin/quorix.ini"_s, besideProgram};
#endif
}

QString LocateIniFile(const QStringList& candidates, MissingIni missing,
                      const std::function<bool(const QString&)>& exists)
{
    for (const QString& candidate : candidates) {
        if (exists(candidate))
            return candidate;
    }
    if (missing == MissingIni::TakeLast)
        return candidates.last();
    throw ConfigurationError(
        u"No INI file was found; Kestrin looked for %1. Name one with /ini=."_s.arg(candidates.join(u", "_s)));
}

QString LocateIniFile()
{
#ifdef Q_OS_WIN
    constexpr MissingIni missing = MissingIni::TakeLast;
#else
    // A program folder such as /usr/bin is no place for a configuration file Kestrin makes itself.
    constexpr MissingIni missing = MissingIni::Refuse;
#endif
    return LocateIniFile(IniFileCandidates(QCoreApplication::applicationDirPath()), missing,
                         [](const QString& path) { return QFileInfo::exists(path); });
}

} // namespace kestrin
