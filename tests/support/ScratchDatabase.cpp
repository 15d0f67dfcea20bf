#include "ScratchDatabase.h"

#include "TestEnvironment.h"
#include "labdb/DbError.h"
#include "labdb/DialectFactory.h"
#include "labdb/Schema.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

using namespace Qt::StringLiterals;

namespace kestrin::test {

namespace {

struct PgServer {
    QString host, dbname, user, password;
    int port = 5432;
};

std::optional<PgServer> pgServer()
{
    const QString text = qEnvironmentVariable("KESTRIN_TEST_PG");
    if (text.trimmed().isEmpty())
        return std::nullopt;
    PgServer server;
    for (const QString& pair : text.split(u' ', Qt::SkipEmptyParts)) {
        const QString key = pair.section(u'=', 0, 0);
        const QString value = pair.section(u'=', 1);
        if (key == u"host")
            server.host = value;
        else if (key == u"port")
            server.port = value.toInt();
        else if (key == u"dbname")
            server.dbname = value;
        else if (key == u"user")
            server.user = value;
        else if (key == u"password")
            server.password = value;
    }
    return server;
}

ConnectionParameters pgParameters(const PgServer& server, const QString& database)
{
    ConnectionParameters p;
    p.host = server.host;
    p.port = server.port;
    p.databaseName = database;
    p.user = server.user;
    p.password = server.password;
    p.options = u"connect_timeout=5"_s;
    return p;
}

// The INI lines with which a Kestrin process reaches a database of that server.
QByteArray pgIniLines(const PgServer& server, const QString& database)
{
    return u"engine=postgres\nserver=%1:%2\ndatabase=%3\nDbUser=%4\nDbPassword=%5\n"_s
        .arg(server.host, QString::number(server.port), database, server.user, server.password)
        .toUtf8();
}

// Runs one statement on a short-lived administrative connection.
bool adminExec(const PgServer& server, const QString& sql, QString* error)
{
    const QString name = u"kestrin-test-admin-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces);
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(u"QPSQL"_s, name);
        db.setHostName(server.host);
        db.setPort(server.port);
        db.setDatabaseName(server.dbname);
        db.setUserName(server.user);
        db.setPassword(server.password);
        db.setConnectOptions(u"connect_timeout=5;options=-cclient_min_messages=warning"_s);
        if (db.open()) {
            QSqlQuery query(db);
            ok = query.exec(sql);
            if (!ok && error)
                *error = query.lastError().text();
        } else if (error) {
            *error = db.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return ok;
}

} // namespace

void AddEngineRows()
{
    QTest::addColumn<QString>("engine");
    QTest::newRow("sqlite") << u"sqlite"_s;
    QTest::newRow("postgres") << u"postgres"_s;
}

void RunSqlScript(Database& db, const QString& sourceFile)
{
    const QString script = QString::fromUtf8(ReadFile(SourceDir() + sourceFile));
    if (script.isEmpty())
        throw FileError(u"the script "_s + sourceFile + u" is missing or empty"_s);
    QString statement;
    for (const QString& line : script.split(u'\n')) {
        if (line.startsWith(u"--"))
            continue;
        statement += line + u'\n';
        if (line.trimmed().endsWith(u';')) {
            db.exec(statement.trimmed().chopped(1));
            statement.clear();
        }
    }
}

bool PostgresRequired() { return qEnvironmentVariable("KESTRIN_REQUIRE_PG") == u"1"; }

ScratchDatabase::ScratchDatabase(const QString& engine)
    : m_engine(engine)
{
    if (engine == u"postgres") {
        const auto server = pgServer();
        if (!server) {
            m_reason = u"PostgreSQL tests skipped: KESTRIN_TEST_PG names no server (scripts/test.sh starts one)"_s;
            return;
        }
        m_schema = u"kt_"_s + QUuid::createUuid().toString(QUuid::Id128).left(16);
        QString error;
        if (!adminExec(*server, u"CREATE SCHEMA "_s + m_schema, &error)) {
            m_reason = u"PostgreSQL tests skipped: the server does not answer: "_s + error;
            m_schema.clear();
            return;
        }
    }
    try {
        m_db = connect();
    } catch (const DbError& e) {
        m_reason = e.message();
        m_db.reset();
    }
}

ScratchDatabase::~ScratchDatabase()
{
    m_db.reset();
    if (!m_schema.isEmpty())
        adminExec(*pgServer(), u"DROP SCHEMA %1 CASCADE"_s.arg(m_schema), nullptr);
}

std::unique_ptr<Database> ScratchDatabase::connect() const
{
    ConnectionParameters p;
    if (m_engine == u"postgres") {
        const PgServer server = *pgServer();
        p = pgParameters(server, server.dbname);
        p.options += u";options=-csearch_path=%1"_s.arg(m_schema);
        p.description = u"the test schema %1"_s.arg(m_schema);
    } else if (m_engine == u"sqlserver") {
        p = SqlServerOnSqlite(m_dir.filePath(u"lab.sqlite"_s), m_sqlServerSent);
    } else {
        p.databaseName = m_dir.filePath(u"lab.sqlite"_s);
        p.description = u"the test file %1"_s.arg(p.databaseName);
        // Watched as the service's own file is: never made again once it is gone.
        p.file = p.databaseName;
        p.createsFile = true;
    }
    auto db = std::make_unique<Database>(MakeDialect(*EngineNamed(m_engine)), p);
    db->open();
    return db;
}

void ScratchDatabase::createSchema() { CreateMissingTables(*m_db); }

void ScratchDatabase::loadDemoData() { RunSqlScript(*m_db, u"/examples/demo-data.sql"_s); }

std::unique_ptr<Database> ScratchDatabase::connectAgain() const { return connect(); }

ServerDatabase::ServerDatabase()
{
    const auto server = pgServer();
    if (!server) {
        m_reason = u"PostgreSQL tests skipped: KESTRIN_TEST_PG names no server (scripts/test.sh starts one)"_s;
        return;
    }
    const QString name = u"kt_"_s + QUuid::createUuid().toString(QUuid::Id128).left(16);
    QString error;
    if (!adminExec(*server, u"CREATE DATABASE "_s + name, &error)) {
        m_reason = u"PostgreSQL tests skipped: no database can be made on the server: "_s + error;
        return;
    }
    m_name = name;
}

ServerDatabase::~ServerDatabase()
{
    if (!m_name.isEmpty())
        adminExec(*pgServer(), u"DROP DATABASE IF EXISTS %1"_s.arg(m_name), nullptr);
}

QByteArray ServerDatabase::iniLines() const { return pgIniLines(*pgServer(), m_name); }

std::unique_ptr<Database> ServerDatabase::connect() const
{
    ConnectionParameters p = pgParameters(*pgServer(), m_name);
    p.description = u"the test database %1"_s.arg(m_name);
    auto db = std::make_unique<Database>(MakeDialect(Engine::Postgres), p);
    db->open();
    return db;
}

AppConfig ScratchDatabase::sqliteConfig() const
{
    AppConfig config;
    config.Engine = Engine::Sqlite;
    config.DatabaseName = m_dir.filePath(u"lab.sqlite"_s);
    return config;
}

QByteArray ScratchDatabase::iniKeys() const
{
    if (m_engine != u"postgres")
        return "engine=sqlite\ndatabase=" + m_dir.filePath(u"lab.sqlite"_s).toUtf8() + '\n';
    return pgIniLines(*pgServer(), pgServer()->dbname);
}

QProcessEnvironment ScratchDatabase::processEnvironment() const
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    if (!m_schema.isEmpty())
        environment.insert(u"PGOPTIONS"_s, u"-csearch_path="_s + m_schema);
    return environment;
}

} // namespace kestrin::test
