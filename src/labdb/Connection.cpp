#include "labdb/Connection.h"

#include "Dialects.h"
#include "core/Error.h"
#include "labdb/DbError.h"
#include "labdb/DialectFactory.h"
#include "labdb/Schema.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// The program's own SQL Server login.
const QString kProgramUser = u"quorix"_s;
const QString kProgramPassword = u"plover"_s;

QString describe(const QString& engine, const QString& server, const QString& database)
{
    return u"the %1 database \"%2\" on server \"%3\""_s.arg(engine, database, server);
}

// The keys that name the login a server refused.
QString loginKeys(const ConnectionSettings& settings)
{
    return settings.engine == Engine::SqlServer ? u"the key SQLSVR"_s : u"the keys DbUser and DbPassword"_s;
}

// The keys that choose the encryption a server refused, or whose certificate was refused.
QString encryptionKeys(const ConnectionSettings& settings)
{
    return settings.engine == Engine::SqlServer ? u"the keys DbEncrypt and DbTrustServerCertificate"_s
                                                : u"the keys DbSslMode and DbSslRootCert"_s;
}

// A value in libpq's key=value form, which a blank would otherwise end.
QString libpqQuoted(QString value)
{
    value.replace(u"\\"_s, u"\\\\"_s).replace(u"'"_s, u"\\'"_s);
    return u'\'' + value + u'\'';
}

// The ODBC attributes of the encryption the settings ask for; FreeTDS before 1.4 knows only
// its own "Encryption", and ignores "Encrypt" without a word.
QString odbcEncryption(const ConnectionSettings& settings)
{
    QString text;
    if (!settings.encrypt.isEmpty()) {
        text += u"Encrypt=%1;"_s.arg(settings.encrypt);
        if (settings.odbcDriver.contains(u"FreeTDS"_s, Qt::CaseInsensitive))
            text += u"Encryption=%1;"_s.arg(settings.encrypt == u"yes"      ? u"require"_s
                                                : settings.encrypt == u"no" ? u"off"_s
                                                                            : settings.encrypt);
    }
    if (!settings.trustServerCertificate.isEmpty())
        text += u"TrustServerCertificate=%1;"_s.arg(settings.trustServerCertificate);
    return text;
}

// The database opened, with the whole schema where it is new. A login or an encryption the
// server refuses, or a server certificate Kestrin refuses, is the configuration's fault, and
// a start again would be refused again; a server that does not answer may answer after a restart.
std::unique_ptr<Database> opened(std::unique_ptr<Database> db, const ConnectionSettings* settings = nullptr,
                                 bool isNew = false)
{
    try {
        db->open();
        if (isNew)
            CreateMissingTables(*db);
    } catch (const DbError& e) {
        const QString opening = db->description() + u" cannot be opened: "_s;
        const QString said =
            (e.driverText().startsWith(opening) ? e.driverText().mid(opening.size()) : e.driverText()).simplified();
        if (settings && db->dialect().refusesEncryption(e.driverText()))
            throw ConfigurationError(
                u"The connection to %1 is refused for its encryption or the server's certificate: check %2 (INI file "
                u"%3). It says: %4"_s.arg(db->description(), encryptionKeys(*settings), settings->iniFilePath, said));
        if (settings && db->dialect().refusesLogin(e.driverText(), e.code()))
            throw ConfigurationError(u"%1 refuses the login of user \"%2\": check %3 (INI file %4). It says: %5"_s.arg(
                db->description(), settings->user, loginKeys(*settings), settings->iniFilePath, said));
        throw StartupError(u"Kestrin cannot connect to %1: %2"_s.arg(db->description(), e.message()));
    }
    return db;
}

} // namespace

QString OleDbConnectionString(const QString& sqlServerKind, const QString& databaseName, const QString& serverName)
{
    if (sqlServerKind == u"2000")
        return u"Provider=SQLOLEDB.1;Persist Security Info=True;Trusted_Connection=yes;"_s + u"Initial Catalog="_s +
            databaseName + u";"_s + u"Data Source="_s + serverName;
    if (sqlServerKind == u"quorix")
        return u"Provider=SQLOLEDB.1;Persist Security Info=False;"_s + u"Initial Catalog="_s + databaseName + u";"_s +
            u"User ID="_s + kProgramUser + u"; PWD="_s + kProgramPassword + u";"_s + u"Data Source="_s + serverName;
    return u"Provider=SQLOLEDB.1;Persist Security Info=true;"_s + u"Initial Catalog="_s + databaseName + u";"_s +
        u"User ID=sa;"_s + u"Data Source="_s + serverName;
}

QString OdbcConnectionString(const QString& sqlServerKind, const QString& databaseName, const QString& serverName,
                             const QString& driver)
{
    const bool freeTds = driver.contains(u"FreeTDS"_s, Qt::CaseInsensitive);
    // FreeTDS does not know the "(local)" of the Windows client.
    const QString server =
        freeTds && serverName.compare(u"(local)"_s, Qt::CaseInsensitive) == 0 ? u"localhost"_s : serverName;
    QString text = u"DRIVER={%1};SERVER=%2;DATABASE=%3;"_s.arg(driver, server, databaseName);
    if (freeTds)
        text += u"TDS_Version=7.4;ClientCharset=UTF-8;"_s;
    if (sqlServerKind == u"2000")
        text += u"Trusted_Connection=yes;"_s;
    else if (sqlServerKind == u"quorix")
        text += u"UID=%1;PWD=%2;"_s.arg(kProgramUser, kProgramPassword);
    else
        text += u"UID=sa;PWD=;"_s;
    return text;
}

QString MaskPassword(const QString& connectionString)
{
    static const QRegularExpression password(u"((?:PWD|Password)\\s*=)([^;]*)"_s,
                                             QRegularExpression::CaseInsensitiveOption);
    QString masked = connectionString;
    masked.replace(password, u"\\1****"_s);
    return masked;
}

ConnectionParameters LabConnectionParameters(const ConnectionSettings& settings)
{
    if (!settings.engine)
        throw ConfigurationError(
            u"The key \"engine\" names no engine Kestrin knows (INI file %1); Kestrin knows %2."_s.arg(
                settings.iniFilePath, KnownEngines().join(u", ")));
    ConnectionParameters p;
    switch (*settings.engine) {
    case Engine::Sqlite:
        p.databaseName = settings.database;
        p.file = settings.database;
        p.description = u"the sqlite database \"%1\""_s.arg(p.databaseName);
        break;
    case Engine::Postgres: {
        p.databaseName = settings.database;
        QString host = settings.server;
        if (host.compare(u"(local)"_s, Qt::CaseInsensitive) == 0)
            host = u"localhost"_s;
        if (const qsizetype colon = host.lastIndexOf(u':'); colon > 0) {
            bool ok = false;
            const int port = host.mid(colon + 1).toInt(&ok);
            if (ok) {
                p.port = port;
                host = host.left(colon);
            }
        }
        p.host = host;
        p.user = settings.user;
        p.password = settings.password;
        QStringList options{u"connect_timeout=10"_s};
        if (!settings.sslMode.isEmpty())
            options << u"sslmode="_s + settings.sslMode;
        if (!settings.sslRootCert.isEmpty())
            options << u"sslrootcert="_s + libpqQuoted(settings.sslRootCert);
        p.options = options.join(u';');
        break;
    }
    case Engine::SqlServer:
        p.databaseName =
            OdbcConnectionString(settings.sqlServerKind, settings.database, settings.server, settings.odbcDriver) +
            odbcEncryption(settings);
        p.options = u"SQL_ATTR_LOGIN_TIMEOUT=10"_s;
        break;
    }
    if (p.description.isEmpty())
        p.description = describe(EngineName(*settings.engine), settings.server, settings.database);
    return p;
}

std::unique_ptr<Database> ConnectDatabase(const ConnectionSettings& settings, MissingDatabase missing)
{
    ConnectionParameters parameters = LabConnectionParameters(settings);
    const bool newEmbeddedFile = IsNewEmbeddedDatabase(settings);
    if (settings.engine == Engine::Sqlite) {
        if (settings.database.isEmpty())
            throw ConfigurationError(u"The key \"database\" names no file for the sqlite database (INI file %1)."_s.arg(
                settings.iniFilePath));
        if (newEmbeddedFile && missing == MissingDatabase::Refused)
            throw ConfigurationError(MissingDatabaseText(settings));
        QDir().mkpath(QFileInfo(settings.database).absolutePath());
        parameters.createsFile = missing == MissingDatabase::Created;
    }
    return opened(std::make_unique<Database>(MakeDialect(*settings.engine), std::move(parameters)), &settings,
                  newEmbeddedFile);
}

QString MissingDatabaseText(const ConnectionSettings& settings)
{
    return u"The sqlite database file %1 does not exist (key \"database\", INI file %2); kestrin /initdb "
           u"creates it."_s.arg(settings.database, settings.iniFilePath);
}

std::unique_ptr<Database> ConnectAnalyzerDatabase(const ConnectionSettings& settings)
{
    ConnectionParameters p;
    const QString& path = settings.analyzerDatabase;
    p.description = u"the analyser database \"%1\""_s.arg(path);
    if (path.isEmpty())
        throw ConfigurationError(
            u"Run mode MGC writes into the analyser's database, but the key \"AccessPath\" names none "
            u"(INI file %1)."_s.arg(settings.iniFilePath));
    if (!QFileInfo::exists(path))
        throw ConfigurationError(u"The analyser database %1 does not exist (key \"AccessPath\", INI file %2)."_s.arg(
            path, settings.iniFilePath));
    const bool access =
        path.endsWith(u".mdb"_s, Qt::CaseInsensitive) || path.endsWith(u".accdb"_s, Qt::CaseInsensitive);
    std::unique_ptr<Dialect> dialect;
    if (access) {
#ifdef Q_OS_WIN
        p.databaseName = u"DRIVER={Microsoft Access Driver (*.mdb, *.accdb)};DBQ=%1;UID=admin;"_s.arg(
            QDir::toNativeSeparators(path));
        dialect = NewAccessDialect();
#else
        throw ConfigurationError(u"The analyser database %1 is an Access file, which only opens on Windows "
                                 u"(key \"AccessPath\", INI file %2)."_s.arg(path, settings.iniFilePath));
#endif
    } else {
        p.databaseName = path;
        p.file = path;
        dialect = MakeDialect(Engine::Sqlite);
    }
    return opened(std::make_unique<Database>(std::move(dialect), std::move(p)));
}

} // namespace kestrin
