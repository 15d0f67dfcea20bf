#include "ServiceFolder.h"
#include "TestMain.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QSqlQuery>

#ifndef Q_OS_WIN
#include <csignal>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

#ifndef Q_OS_WIN
// Where systemd listens for a service's messages: a datagram socket named by NOTIFY_SOCKET.
class NotifySocket {
public:
    explicit NotifySocket(const QString& path)
        : m_fd(::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0))
    {
        sockaddr_un address = {};
        address.sun_family = AF_UNIX;
        const QByteArray name = path.toLocal8Bit();
        qstrncpy(address.sun_path, name.constData(), sizeof address.sun_path);
        m_bound = m_fd >= 0 && ::bind(m_fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    ~NotifySocket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    NotifySocket(const NotifySocket&) = delete;
    NotifySocket& operator=(const NotifySocket&) = delete;

    bool bound() const { return m_bound; }

    // The first message within `ms` that starts with `start`; empty when none came.
    QByteArray waitFor(const QByteArray& start, int ms)
    {
        const QDeadlineTimer deadline(ms);
        pollfd waiting = {m_fd, POLLIN, 0};
        while (::poll(&waiting, 1, int(deadline.remainingTime())) == 1) {
            char buffer[4096];
            const ssize_t size = ::recv(m_fd, buffer, sizeof buffer, 0);
            const QByteArray message(buffer, qMax<ssize_t>(size, 0));
            if (message.startsWith(start))
                return message;
        }
        return {};
    }

    // Whether `ms` pass without a "WATCHDOG=1"; waits no longer than `withinMs` for them.
    bool watchdogQuietFor(int ms, int withinMs)
    {
        const QDeadlineTimer deadline(withinMs);
        while (!deadline.hasExpired()) {
            if (waitFor("WATCHDOG=1", ms).isEmpty())
                return true;
        }
        return false;
    }

private:
    int m_fd;
    bool m_bound = false;
};
#endif

} // namespace

class TestServiceManager : public QObject {
    Q_OBJECT
private slots:
    void watchdogHearsTheCycles();
};

// Under systemd (Type=notify, WatchdogSec=2): ready with a status line, the watchdog told
// about every second while the cycles go on, nothing while an import cycle hangs on the
// embedded database's write lock (systemd would restart the service), and told again once
// the cycle goes on; the status follows the work, and a stop is said.
void TestServiceManager::watchdogHearsTheCycles()
{
#ifdef Q_OS_WIN
    QSKIP("no service manager's socket on Windows");
#else
    test::ServiceFolder folder;
    NotifySocket manager(folder.path(u"notify"_s));
    QVERIFY(manager.bound());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"NOTIFY_SOCKET"_s, folder.path(u"notify"_s));
    environment.insert(u"WATCHDOG_USEC"_s, u"2000000"_s);
    folder.service.setProcessEnvironment(environment);
    folder.startService();

    QCOMPARE(manager.waitFor("READY=1", 30000), "READY=1\nSTATUS=No import yet; no export yet");
    for (int told = 0; told < 3; ++told)
        QVERIFY(!manager.waitFor("WATCHDOG=1", 1500).isEmpty());

    // Another program holds the write lock: the import cycle waits for it up to 15 s.
    QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"other program"_s);
    other.setDatabaseName(folder.database());
    QVERIFY(other.open());
    QVERIFY(QSqlQuery(other).exec(u"BEGIN IMMEDIATE"_s));
    folder.dropOrder(u"S1"_s);
    QVERIFY(manager.watchdogQuietFor(3000, 12000));

    QVERIFY(QSqlQuery(other).exec(u"ROLLBACK"_s));
    QVERIFY(!manager.waitFor("WATCHDOG=1", 5000).isEmpty());
    const QByteArray status = manager.waitFor("STATUS=", 5000);
    QVERIFY2(status.startsWith("STATUS=Last import ") && status.endsWith(": 1 stored; no export yet"),
             status.constData());
    QVERIFY(folder.filed(u"S1"_s));

    ::kill(pid_t(folder.service.processId()), SIGTERM);
    QCOMPARE(manager.waitFor("STOPPING=1", 30000), "STOPPING=1");
    QVERIFY(folder.service.waitForFinished(30000));
    QCOMPARE(folder.service.exitCode(), 0);
    other.close();
#endif
}

KESTRIN_TEST_MAIN(TestServiceManager)
#include "tst_servicemanager.moc"
