#include "ScratchDatabase.h"
#include "TestMain.h"
#include "core/Error.h"
#include "labdb/Connection.h"
#include "labdb/DbError.h"
#include "labdb/DialectFactory.h"
#include "labdb/Schema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

using namespace Qt::StringLiterals;
using namespace kestrin;

Q_DECLARE_METATYPE(kestrin::Engine)

class TestConnection : public QObject {
    Q_OBJECT
private slots:
    void oleDbStrings_data();
    void oleDbStrings();
    void odbcStrings_data();
    void odbcStrings();
    void passwordsMasked_data();
    void passwordsMasked();
    void postgresServer_data();
    void postgresServer();
    void encryptionOptions_data();
    void encryptionOptions();
    void unknownEngineNamesItself();
    void missingEmbeddedFile_data();
    void missingEmbeddedFile();
    void unopenableEmbeddedFile();
    void postgresLoginFailureHidesThePassword();
    void analyzerDatabase();
    void odbcSmoke();

private:
    QTemporaryDir m_dir;
};

void TestConnection::oleDbStrings_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("expected");
    QTest::newRow("2000: integrated login")
        << u"2000"_s
        << u"Provider=SQLOLEDB.1;Persist Security Info=True;Trusted_Connection=yes;Initial Catalog=LAB;Data Source=(local)"_s;
    QTest::newRow("quorix: program login")
        << u"quorix"_s
        << u"Provider=SQLOLEDB.1;Persist Security Info=False;Initial Catalog=LAB;User ID=quorix; PWD=plover;Data Source=(local)"_s;
    QTest::newRow("empty: administrator")
        << QString()
        << u"Provider=SQLOLEDB.1;Persist Security Info=true;Initial Catalog=LAB;User ID=sa;Data Source=(local)"_s;
    QTest::newRow("2000 with a blank: administrator")
        << u"2000 "_s
        << u"Provider=SQLOLEDB.1;Persist Security Info=true;Initial Catalog=LAB;User ID=sa;Data Source=(local)"_s;
    QTest::newRow("QUORIX in capitals: administrator")
        << u"QUORIX"_s
        << u"Provider=SQLOLEDB.1;Persist Security Info=true;Initial Catalog=LAB;User ID=sa;Data Source=(local)"_s;
}

void TestConnection::oleDbStrings()
{
    QFETCH(QString, kind);
    QTEST(OleDbConnectionString(kind, u"LAB"_s, u"(local)"_s), "expected");
}

void TestConnection::odbcStrings_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("driver");
    QTest::addColumn<QString>("expected");
    QTest::newRow("FreeTDS, integrated, local")
        << u"2000"_s << u"(local)"_s << u"FreeTDS"_s
        << u"DRIVER={FreeTDS};SERVER=localhost;DATABASE=LAB;TDS_Version=7.4;ClientCharset=UTF-8;Trusted_Connection=yes;"_s;
    QTest::newRow("FreeTDS, program login")
        << u"quorix"_s << u"LABSRV\\SQL"_s << u"FreeTDS"_s
        << u"DRIVER={FreeTDS};SERVER=LABSRV\\SQL;DATABASE=LAB;TDS_Version=7.4;ClientCharset=UTF-8;UID=quorix;PWD=plover;"_s;
    QTest::newRow("Microsoft driver, administrator")
        << QString() << u"(local)"_s << u"ODBC Driver 17 for SQL Server"_s
        << u"DRIVER={ODBC Driver 17 for SQL Server};SERVER=(local);DATABASE=LAB;UID=sa;PWD=;"_s;
}

void TestConnection::odbcStrings()
{
    QFETCH(QString, kind);
    QFETCH(QString, server);
    QFETCH(QString, driver);
    QTEST(OdbcConnectionString(kind, u"LAB"_s, server, driver), "expected");
}

void TestConnection::passwordsMasked_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("OLE DB") << u"User ID=quorix; PWD=plover;Data Source=x"_s
                            << u"User ID=quorix; PWD=****;Data Source=x"_s;
    QTest::newRow("ODBC") << u"UID=quorix;PWD=plover;"_s << u"UID=quorix;PWD=****;"_s;
    QTest::newRow("Password key") << u"Password=secret"_s << u"Password=****"_s;
    QTest::newRow("nothing to mask") << u"Trusted_Connection=yes;"_s << u"Trusted_Connection=yes;"_s;
}

void TestConnection::passwordsMasked()
{
    QFETCH(QString, text);
    QTEST(MaskPassword(text), "expected");
}

void TestConnection::postgresServer_data()
{
    QTest::addColumn<QString>("server");
    QTest::addColumn<QString>("host");
    QTest::addColumn<int>("port");
    QTest::newRow("local") << u"(local)"_s << u"localhost"_s << -1;
    QTest::newRow("host") << u"labdb"_s << u"labdb"_s << -1;
    QTest::newRow("host and port") << u"labdb:5433"_s << u"labdb"_s << 5433;
}

void TestConnection::postgresServer()
{
    QFETCH(QString, server);
    AppConfig config;
    config.Engine = Engine::Postgres;
    config.ServerName = server;
    config.DatabaseName = u"lab"_s;
    config.DbUser = u"kestrin"_s;
    const ConnectionParameters p = LabConnectionParameters(ConnectionSettingsOf(config));
    QTEST(p.host, "host");
    QTEST(p.port, "port");
    QCOMPARE(p.databaseName, u"lab"_s);
    QCOMPARE(p.user, u"kestrin"_s);
}

void TestConnection::encryptionOptions_data()
{
    QTest::addColumn<Engine>("engine");
    QTest::addColumn<QStringList>(
        "values");                         // DbSslMode, DbSslRootCert, DbEncrypt, DbTrustServerCertificate, OdbcDriver
    QTest::addColumn<QString>("expected"); // the options (postgres), the connection string's end (sqlserver)

    QTest::newRow("postgres, the driver's default")
        << Engine::Postgres << QStringList{QString(), QString(), QString(), QString(), QString()}
        << u"connect_timeout=10"_s;
    QTest::newRow("postgres, a CA file beside the INI file, with a blank")
        << Engine::Postgres << QStringList{u"verify-full"_s, u"certs/lab ca.pem"_s, QString(), QString(), QString()}
        << u"connect_timeout=10;sslmode=verify-full;sslrootcert='/etc/kestrin/certs/lab ca.pem'"_s;
    QTest::newRow("postgres, quote and backslash")
        << Engine::Postgres << QStringList{u"require"_s, u"/ca/o'k\\x.pem"_s, QString(), QString(), QString()}
        << u"connect_timeout=10;sslmode=require;sslrootcert='/ca/o\\'k\\\\x.pem'"_s;
    QTest::newRow("sqlserver, the driver's default")
        << Engine::SqlServer
        << QStringList{QString(), QString(), QString(), QString(), u"ODBC Driver 18 for SQL Server"_s}
        << u"UID=sa;PWD=;"_s;
    QTest::newRow("sqlserver, Microsoft's driver")
        << Engine::SqlServer << QStringList{QString(), QString(), u"yes"_s, u"no"_s, u"ODBC Driver 18 for SQL Server"_s}
        << u"PWD=;Encrypt=yes;TrustServerCertificate=no;"_s;
    // FreeTDS before 1.4 ignores Encrypt: its own Encryption says the same.
    QTest::newRow("sqlserver, FreeTDS") << Engine::SqlServer
                                        << QStringList{QString(), QString(), u"yes"_s, QString(), u"FreeTDS"_s}
                                        << u"PWD=;Encrypt=yes;Encryption=require;"_s;
}

void TestConnection::encryptionOptions()
{
    QFETCH(Engine, engine);
    QFETCH(QStringList, values);
    QFETCH(QString, expected);
    AppConfig config;
    config.Engine = engine;
    config.IniFilePath = u"/etc/kestrin/kestrin.ini"_s;
    config.DbSslMode = values.at(0);
    config.DbSslRootCert = values.at(1);
    config.DbEncrypt = values.at(2);
    config.DbTrustServerCertificate = values.at(3);
    config.OdbcDriver = values.at(4);
    const ConnectionParameters p = LabConnectionParameters(ConnectionSettingsOf(config));
    if (engine == Engine::Postgres)
        QCOMPARE(p.options, expected);
    else
        QVERIFY2(p.databaseName.endsWith(expected), qPrintable(p.databaseName));
}

void TestConnection::unknownEngineNamesItself()
{
    AppConfig config;
    config.Engine = std::nullopt; // the INI file named one Kestrin does not know
    config.IniFilePath = u"/etc/kestrin/quorix.ini"_s;
    try {
        ConnectDatabase(ConnectionSettingsOf(config));
        QFAIL("no error");
    } catch (const StartupError& e) {
        QVERIFY(e.message().contains(u"engine"_s));
        QVERIFY(e.message().contains(u"/etc/kestrin/quorix.ini"_s));
    }
}

void TestConnection::missingEmbeddedFile_data()
{
    QTest::addColumn<bool>("created");
    QTest::newRow("refused: a mistyped path") << false;
    QTest::newRow("created by /initdb") << true;
}

void TestConnection::missingEmbeddedFile()
{
    QFETCH(bool, created);
    AppConfig config;
    config.Engine = Engine::Sqlite;
    config.IniFilePath = m_dir.filePath(u"lab/HL7.ini"_s);
    // Relative to the INI file's folder.
    config.DatabaseName = created ? u"data/lab.sqlite"_s : u"data/lab.sqlit"_s;
    const QString file = m_dir.filePath(u"lab/"_s + config.DatabaseName);
    if (!created) {
        try {
            ConnectDatabase(ConnectionSettingsOf(config));
            QFAIL("a missing database file was opened");
        } catch (const StartupError& e) {
            QVERIFY2(e.message().contains(file) && e.message().contains(u"/initdb"_s), qPrintable(e.message()));
        }
        QVERIFY(!QFileInfo::exists(file));
        return;
    }
    const auto db = ConnectDatabase(ConnectionSettingsOf(config), MissingDatabase::Created);
    QVERIFY(QFile::exists(file));
    QVERIFY(MissingTables(*db).isEmpty());
    QCOMPARE(db->first(u"PRAGMA journal_mode"_s)->at(0).toString(), u"wal"_s);
    // Another process's lock is waited for in short tries, so that a stop cuts the wait short.
    QCOMPARE(db->first(u"PRAGMA busy_timeout"_s)->at(0).toInt(), 200);
}

void TestConnection::unopenableEmbeddedFile()
{
    const QString folder = m_dir.filePath(u"not-a-file.sqlite"_s);
    QDir().mkpath(folder);
    AppConfig config;
    config.Engine = Engine::Sqlite;
    config.DatabaseName = folder;
    try {
        ConnectDatabase(ConnectionSettingsOf(config));
        QFAIL("no error");
    } catch (const StartupError& e) {
        QVERIFY2(e.message().contains(u"sqlite"_s), qPrintable(e.message()));
        QVERIFY(e.message().contains(folder));
    }
}

void TestConnection::postgresLoginFailureHidesThePassword()
{
    test::ScratchDatabase probe(u"postgres"_s);
    KESTRIN_REQUIRE(probe);
    AppConfig config;
    config.Engine = Engine::Postgres;
    config.ServerName = u"127.0.0.1"_s;
    config.DatabaseName = u"kestrin_no_such_db"_s;
    config.DbUser = u"kestrin_test"_s;
    config.DbPassword = u"Wr0ngSecret"_s;
    try {
        ConnectDatabase(ConnectionSettingsOf(config));
        QFAIL("no error");
    } catch (const StartupError& e) {
        QVERIFY2(e.message().contains(u"postgres"_s), qPrintable(e.message()));
        QVERIFY(e.message().contains(u"127.0.0.1"_s));
        QVERIFY(e.message().contains(u"kestrin_no_such_db"_s));
        QVERIFY(!e.message().contains(u"Wr0ngSecret"_s));
    }
}

void TestConnection::analyzerDatabase()
{
    AppConfig config;
    config.RunType = u"MGC"_s;
    QVERIFY_THROWS_EXCEPTION(StartupError, ConnectAnalyzerDatabase(ConnectionSettingsOf(config)));
#ifndef Q_OS_WIN
    config.AccessPath = m_dir.filePath(u"analyser.mdb"_s);
    test::WriteFile(config.AccessPath, QByteArray());
    try {
        ConnectAnalyzerDatabase(ConnectionSettingsOf(config));
        QFAIL("An Access file opened without its Windows driver.");
    } catch (const StartupError& e) {
        QVERIFY2(e.message().contains(u"Windows"_s), qPrintable(e.message()));
    }
#endif
    config.AccessPath = m_dir.filePath(u"missing.db"_s);
    QVERIFY_THROWS_EXCEPTION(StartupError, ConnectAnalyzerDatabase(ConnectionSettingsOf(config)));
    {
        ConnectionParameters seedFile;
        seedFile.databaseName = m_dir.filePath(u"analyser.db"_s);
        Database seed(MakeDialect(Engine::Sqlite), seedFile);
        seed.open();
        seed.exec(u"CREATE TABLE samp_odr (samp_id VARCHAR(20))"_s);
    }
    config.AccessPath = m_dir.filePath(u"analyser.db"_s);
    const auto analyser = ConnectAnalyzerDatabase(ConnectionSettingsOf(config));
    QVERIFY(analyser->tableExists(u"samp_odr"_s));
}

// One statement through Qt's ODBC driver, with Debian's SQLite ODBC driver standing in
// for the SQL Server driver of the laboratory.
void TestConnection::odbcSmoke()
{
    ConnectionParameters p;
    p.databaseName = u"DRIVER={SQLite3};Database=%1;"_s.arg(m_dir.filePath(u"odbc.sqlite"_s));
    p.description = u"an ODBC test database"_s;
    Database db(MakeDialect(Engine::SqlServer), p);
    try {
        db.open();
    } catch (const DbError& e) {
        QSKIP(qPrintable(u"No SQLite ODBC driver (Debian package libsqliteodbc): "_s + e.message()));
    }
    db.exec(u"CREATE TABLE t (id INTEGER, name VARCHAR(20))"_s);
    db.exec(u"INSERT INTO t (id, name) VALUES (?, ?)"_s, {1, u"O'Neil"_s});
    QCOMPARE(db.first(u"SELECT name FROM t WHERE id = ?"_s, {1})->text(u"name"), u"O'Neil"_s);
}

KESTRIN_TEST_MAIN(TestConnection)
#include "tst_connection.moc"
