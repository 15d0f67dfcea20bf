#include "config/ConnectionSecurity.h"

#include "core/FolderCheck.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// The host of a server value: without "\instance" (SQL Server), ",port" or ":port".
QString hostOf(const QString& server)
{
    QString host = server.section(u'\\', 0, 0).section(u',', 0, 0);
    if (host.startsWith(u'['))
        return host.mid(1).section(u']', 0, 0);
    if (host.count(u':') == 1)
        host = host.section(u':', 0, 0);
    return host;
}

QString postgresWarning(const AppConfig& c)
{
    const QString mode = c.DbSslMode.isEmpty() ? u"prefer"_s : c.DbSslMode;
    const QString advice = u"set DbSslMode=verify-full and DbSslRootCert to the CA certificate of the server's"_s;
    if (mode == u"verify-full")
        return {};
    if (mode == u"verify-ca")
        return u"the database server \"%1\" is another machine and DbSslMode is verify-ca: its certificate is "
               u"verified, "
               u"not its host name, so another server with a certificate of the same CA may answer in its place; set "
               u"DbSslMode=verify-full."_s.arg(c.ServerName);
    if (mode == u"require")
        return u"the database server \"%1\" is another machine and DbSslMode is require: the connection is encrypted, "
               u"but whoever answers in the server's place is not noticed; %2."_s.arg(c.ServerName, advice);
    return u"the database server \"%1\" is another machine and DbSslMode is %2%3: patients' data may cross the "
           u"network unencrypted; %4."_s.arg(c.ServerName, mode,
                                             c.DbSslMode.isEmpty() ? u" (the driver's default)"_s : QString(), advice);
}

QString sqlServerWarning(const AppConfig& c)
{
    if (c.DbEncrypt != u"yes" && c.DbEncrypt != u"strict")
        return u"the database server \"%1\" is another machine and DbEncrypt is %2: patients' data may cross the "
               u"network unencrypted; set DbEncrypt=yes and DbTrustServerCertificate=no."_s.arg(
                   c.ServerName, c.DbEncrypt.isEmpty() ? u"not set (the driver's default)"_s : c.DbEncrypt);
    if (c.DbTrustServerCertificate == u"yes")
        return u"the database server \"%1\" is another machine and DbTrustServerCertificate is yes: the connection "
               u"is encrypted, but whoever answers in the server's place is not noticed; set "
               u"DbTrustServerCertificate=no."_s.arg(c.ServerName);
    return {};
}

} // namespace

bool ServerIsThisMachine(const QString& server)
{
    const QString host = hostOf(server.trimmed());
    if (host.isEmpty() || host.startsWith(u'/') || host == u"." ||
        host.compare(u"(local)"_s, Qt::CaseInsensitive) == 0 || host.compare(u"localhost"_s, Qt::CaseInsensitive) == 0)
        return true;
    static const QRegularExpression loopback(u"^(127(\\.\\d{1,3}){3}|::1|(0+:){7}0*1)$"_s);
    return loopback.match(host).hasMatch();
}

QStringList ConnectionSecurityWarnings(const AppConfig& c)
{
    QStringList warnings;
    if (c.Engine && c.Engine != Engine::Sqlite && !ServerIsThisMachine(c.ServerName)) {
        if (const QString warning = c.Engine == Engine::Postgres ? postgresWarning(c) : sqlServerWarning(c);
            !warning.isEmpty())
            warnings << warning;
    }
    if (!c.DbPassword.isEmpty() && c.DbPasswordFile.isEmpty() && EveryoneMayRead(c.IniFilePath))
        warnings << u"the INI file %1 holds DbPassword and every user of this machine may read it; allow its owner "
                    u"and group only (chmod o-rwx), or name a file of the password's own in DbPasswordFile."_s.arg(
                        c.IniFilePath);
    return warnings;
}

} // namespace kestrin
