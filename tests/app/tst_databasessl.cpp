#include "ScratchDatabase.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#ifndef Q_OS_WIN
#include <netinet/in.h>
#include <pwd.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

const QString kPassword = u"S3cret-pw"_s;

#ifndef Q_OS_WIN
// A TCP port nobody listens on at this moment.
int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof(address);
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    ::close(fd);
    return port;
}
#endif

// A PostgreSQL cluster of the test's own that takes SSL connections only, with a certificate
// for 127.0.0.1 signed by a CA the test makes, and a second CA that signed nothing of it. The
// shared server stays untouched. Run as the user "postgres" where the test runs as root.
class SslServer {
public:
    SslServer()
    {
#ifdef Q_OS_WIN
        m_reason = u"the SSL cluster is made with POSIX tools"_s;
#else
        if (!start() && m_reason.isEmpty())
            m_reason = u"the SSL cluster did not start"_s;
#endif
    }
    ~SslServer()
    {
        if (m_started)
            asServerUser(m_pgCtl, {u"-D"_s, data(), u"-m"_s, u"immediate"_s, u"stop"_s});
    }
    SslServer(const SslServer&) = delete;
    SslServer& operator=(const SslServer&) = delete;

    bool available() const { return m_started; }
    QString unavailableReason() const { return m_reason; }
    int port() const { return m_port; }
    // A port nobody listened on once the server had started.
    int closedPort() const { return m_closedPort; }
    // The folder of the CA certificates (a blank in its name: the option is quoted).
    QString certificates() const { return m_dir.filePath(u"certs dir"_s); }

private:
    QString cluster() const { return m_dir.filePath(u"cluster"_s); }
    QString data() const { return cluster() + u"/data"_s; }

    bool run(const QString& program, const QStringList& arguments, const QString& folder = {})
    {
        QProcess process;
        process.setWorkingDirectory(folder.isEmpty() ? m_dir.path() : folder);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(program, arguments);
        if (process.waitForFinished(60000) && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
            return true;
        m_reason = u"%1 %2 failed: %3"_s.arg(program, arguments.join(u' '), QString::fromLocal8Bit(process.readAll()));
        return false;
    }

    bool asServerUser(const QString& program, const QStringList& arguments)
    {
        if (m_serverUser.isEmpty())
            return run(program, arguments, cluster());
        return run(u"runuser"_s, QStringList{u"-u"_s, m_serverUser, u"--"_s, program} + arguments, cluster());
    }

    bool openssl(const QStringList& arguments) { return run(m_openssl, arguments, certificates()); }

    bool makeCertificates()
    {
        const QStringList ec{u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:prime256v1"_s, u"-nodes"_s};
        test::WriteFile(certificates() + u"/san.ext"_s, "subjectAltName=IP:127.0.0.1\n");
        for (const QString& ca : {u"ca"_s, u"other-ca"_s}) {
            if (!openssl(QStringList{u"req"_s, u"-x509"_s} + ec +
                         QStringList{u"-keyout"_s, ca + u".key"_s, u"-out"_s, ca + u".pem"_s, u"-days"_s, u"2"_s,
                                     u"-subj"_s, u"/CN=Kestrin test "_s + ca}))
                return false;
        }
        return openssl(QStringList{u"req"_s} + ec +
                       QStringList{u"-keyout"_s, u"server.key"_s, u"-out"_s, u"server.csr"_s, u"-subj"_s,
                                   u"/CN=127.0.0.1"_s}) &&
            openssl({u"x509"_s, u"-req"_s, u"-in"_s, u"server.csr"_s, u"-CA"_s, u"ca.pem"_s, u"-CAkey"_s, u"ca.key"_s,
                     u"-set_serial"_s, u"1"_s, u"-days"_s, u"2"_s, u"-extfile"_s, u"san.ext"_s, u"-out"_s,
                     u"server.pem"_s});
    }

#ifndef Q_OS_WIN
    // The server's own files, for its user alone.
    bool handOver(const QString& path, QFile::Permissions permissions)
    {
        QFile::setPermissions(path, permissions);
        if (m_serverUser.isEmpty())
            return true;
        const passwd* user = ::getpwnam(qPrintable(m_serverUser));
        return user && ::chown(QFile::encodeName(path).constData(), user->pw_uid, user->pw_gid) == 0;
    }

    bool start()
    {
        QString bin;
        if (const QString initdb = QStandardPaths::findExecutable(u"initdb"_s); !initdb.isEmpty())
            bin = QFileInfo(initdb).absolutePath();
        const QStringList versions = QDir(u"/usr/lib/postgresql"_s).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
        if (bin.isEmpty() && !versions.isEmpty())
            bin = u"/usr/lib/postgresql/%1/bin"_s.arg(versions.last());
        m_openssl = QStandardPaths::findExecutable(u"openssl"_s);
        if (bin.isEmpty() || !QFileInfo::exists(bin + u"/pg_ctl"_s) || m_openssl.isEmpty()) {
            m_reason = u"PostgreSQL's initdb and pg_ctl, or openssl, are not installed"_s;
            return false;
        }
        m_pgCtl = bin + u"/pg_ctl"_s;
        if (::geteuid() == 0) {
            if (!::getpwnam("postgres")) {
                m_reason = u"no user \"postgres\" to run the SSL cluster as"_s;
                return false;
            }
            m_serverUser = u"postgres"_s;
        }
        QFile::setPermissions(m_dir.path(),
                              QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther |
                                  QFile::ExeOther | QFile::ReadGroup | QFile::ExeGroup);
        QDir(m_dir.path()).mkpath(u"cluster"_s);
        QDir(m_dir.path()).mkpath(u"certs dir"_s);
        if (!makeCertificates())
            return false;
        const QFile::Permissions own = QFile::ReadOwner | QFile::WriteOwner;
        for (const QString& file : {u"server.key"_s, u"server.pem"_s}) {
            QFile::copy(certificates() + u'/' + file, cluster() + u'/' + file);
            if (!handOver(cluster() + u'/' + file, own))
                return false;
        }
        test::WriteFile(cluster() + u"/password"_s, kPassword.toUtf8());
        if (!handOver(cluster() + u"/password"_s, own) || !handOver(cluster(), own | QFile::ExeOwner))
            return false;
        if (!asServerUser(bin + u"/initdb"_s,
                          {u"-D"_s, data(), u"-U"_s, u"kestrin"_s, u"--auth=scram-sha-256"_s,
                           u"--pwfile="_s + cluster() + u"/password"_s, u"--no-sync"_s}))
            return false;
        // Only SSL connections: a client without encryption finds no line that lets it in.
        test::WriteFile(data() + u"/pg_hba.conf"_s,
                        "hostssl all all 127.0.0.1/32 scram-sha-256\n"
                        "hostssl all all ::1/128 scram-sha-256\n");
        m_port = freePort();
        QFile conf(data() + u"/postgresql.conf"_s);
        if (!conf.open(QIODevice::Append))
            return false;
        conf.write(u"port = %1\nlisten_addresses = 'localhost'\nunix_socket_directories = '%2'\nssl = on\n"
                   u"ssl_cert_file = '%2/server.pem'\nssl_key_file = '%2/server.key'\nfsync = off\n"_s
                       .arg(QString::number(m_port), cluster())
                       .toUtf8());
        conf.close();
        m_started =
            asServerUser(m_pgCtl, {u"-D"_s, data(), u"-l"_s, cluster() + u"/server.log"_s, u"-w"_s, u"start"_s});
        m_closedPort = freePort();
        return m_started;
    }
#endif

    QTemporaryDir m_dir;
    QString m_openssl;
    QString m_pgCtl;
    QString m_serverUser; // empty: this process's user
    QString m_reason;
    int m_port = 0;
    int m_closedPort = 0;
    bool m_started = false;
};

} // namespace

// A server across the network is reached encrypted and verified: the right CA and host name
// connect; another CA, another host name or no encryption at all are refused with one line
// naming the keys and exit 78, for a restart will not mend them; a server away stays exit 2.
class TestDatabaseSsl : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void certificateChecked_data();
    void certificateChecked();

private:
    std::unique_ptr<SslServer> m_server;
};

void TestDatabaseSsl::initTestCase() { m_server = std::make_unique<SslServer>(); }

void TestDatabaseSsl::certificateChecked_data()
{
    QTest::addColumn<QString>("host");
    QTest::addColumn<QString>("mode");
    QTest::addColumn<QString>("ca");       // the file in the certificates' folder
    QTest::addColumn<QString>("password"); // "ini", "file" beside the INI file, or "credentials"
    QTest::addColumn<bool>("answers");     // else a port nobody listens on
    QTest::addColumn<int>("status");

    QTest::newRow("verify-full, the server's CA")
        << u"127.0.0.1"_s << u"verify-full"_s << u"ca.pem"_s << u"file"_s << true << 0;
    QTest::newRow("the password through systemd's credential directory")
        << u"127.0.0.1"_s << u"verify-full"_s << u"ca.pem"_s << u"credentials"_s << true << 0;
    QTest::newRow("another CA") << u"127.0.0.1"_s << u"verify-full"_s << u"other-ca.pem"_s << u"ini"_s << true << 78;
    QTest::newRow("another host name") << u"localhost"_s << u"verify-full"_s << u"ca.pem"_s << u"ini"_s << true << 78;
    QTest::newRow("no encryption, the server insists")
        << u"127.0.0.1"_s << u"disable"_s << QString() << u"ini"_s << true << 78;
    QTest::newRow("no server answers") << u"127.0.0.1"_s << u"verify-full"_s << u"ca.pem"_s << u"ini"_s << false << 2;
}

void TestDatabaseSsl::certificateChecked()
{
    QFETCH(QString, host);
    QFETCH(QString, mode);
    QFETCH(QString, ca);
    QFETCH(QString, password);
    QFETCH(bool, answers);
    KESTRIN_REQUIRE(*m_server);
    QTemporaryDir dir;
    QString ini = u"engine=postgres\nserver=%1:%2\ndatabase=postgres\nDbUser=kestrin\nDbSslMode=%3\n"_s.arg(
        host, QString::number(answers ? m_server->port() : m_server->closedPort()), mode);
    if (!ca.isEmpty())
        ini += u"DbSslRootCert=%1/%2\n"_s.arg(m_server->certificates(), ca);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const QString& name : {u"PGSSLMODE"_s, u"PGSSLROOTCERT"_s, u"PGPASSWORD"_s, u"CREDENTIALS_DIRECTORY"_s})
        environment.remove(name);
    if (password == u"ini") {
        ini += u"DbPassword="_s + kPassword + u'\n';
    } else {
        ini += u"DbPasswordFile=db-password\n"_s;
        const QString folder = password == u"credentials" ? dir.filePath(u"credentials"_s) : dir.path();
        test::WriteFile(folder + u"/db-password"_s, kPassword.toUtf8() + '\n');
        QFile::setPermissions(folder + u"/db-password"_s, QFile::ReadOwner);
        if (password == u"credentials")
            environment.insert(u"CREDENTIALS_DIRECTORY"_s, folder);
    }
    test::WriteFile(dir.filePath(u"lab.ini"_s), ini.toUtf8());
    QProcess process;
    process.setProcessEnvironment(environment);
    process.start(test::KestrinProgram(), {u"/ini="_s + dir.filePath(u"lab.ini"_s), u"/initdb"_s});
    QVERIFY(process.waitForFinished(60000));
    const QString said = QString::fromUtf8(process.readAllStandardError()).trimmed();
    QVERIFY2(!said.contains(kPassword), qPrintable(said));
    QTEST(process.exitCode(), "status");
    if (process.exitCode() == 78)
        QVERIFY2(!said.contains(u'\n') && said.contains(u"DbSslMode and DbSslRootCert"_s), qPrintable(said));
}

KESTRIN_TEST_MAIN(TestDatabaseSsl)
#include "tst_databasessl.moc"
