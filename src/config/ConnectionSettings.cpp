#include "config/ConnectionSettings.h"

#include <QDir>
#include <QFileInfo>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// A file named relative to the INI file's folder.
QString besideIniFile(const AppConfig& config, const QString& file)
{
    if (file.isEmpty() || !QDir::isRelativePath(file) || config.IniFilePath.isEmpty())
        return file;
    return QFileInfo(config.IniFilePath).absoluteDir().absoluteFilePath(file);
}

} // namespace

ConnectionSettings ConnectionSettingsOf(const AppConfig& config)
{
    ConnectionSettings s;
    s.engine = config.Engine;
    s.server = config.ServerName;
    s.database = s.engine == Engine::Sqlite ? besideIniFile(config, config.DatabaseName) : config.DatabaseName;
    s.user = config.DbUser;
    s.password = config.DbPassword;
    s.sslMode = config.DbSslMode;
    s.sslRootCert = besideIniFile(config, config.DbSslRootCert);
    s.odbcDriver = config.OdbcDriver;
    s.encrypt = config.DbEncrypt;
    s.trustServerCertificate = config.DbTrustServerCertificate;
    s.sqlServerKind = config.SqlServerKind;
    s.analyzerDatabase = besideIniFile(config, config.AccessPath);
    s.iniFilePath = config.IniFilePath;
    return s;
}

QString EmbeddedDatabaseFile(const ConnectionSettings& settings)
{
    return settings.engine == Engine::Sqlite ? settings.database : QString();
}

bool IsNewEmbeddedDatabase(const ConnectionSettings& settings)
{
    return settings.engine == Engine::Sqlite && !QFileInfo::exists(settings.database);
}

} // namespace kestrin
