#include "config/IniLocation.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace kestrin {

QString IniOverridePath()
{
#ifdef Q_OS_WIN
    return u"C:\\Dokumente und Einstellungen\\Xj\\Desktop\\quorix\\quorix.ini"_s;
#else
    return u"/etc/kestrin/quorix.ini"_s;
#endif
}

QString LocateIniFile(const QString& overridePath, const QString& programFolder,
                      const std::function<bool(const QString&)>& exists)
{
    if (exists(overridePath))
        return overridePath;
    return QDir(programFolder).filePath(u"HL7.ini"_s);
}

QString LocateIniFile()
{
    return LocateIniFile(IniOverridePath(), QCoreApplication::applicationDirPath(),
                         [](const QString& path) { return QFileInfo::exists(path); });
}

} // namespace kestrin
