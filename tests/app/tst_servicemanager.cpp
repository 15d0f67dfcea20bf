#include "NotifySocket.h"
#include "ServiceFolder.h"
#include "TestMain.h"

#include <QDeadlineTimer>
#include <QProcessEnvironment>
#include <QSqlDatabase>
#include <QSqlQuery>

#ifndef Q_OS_WIN
#include <csignal>
#endif

using namespace Qt::StringLiterals;
using namespace kestrin;

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
    test::NotifySocket manager(folder.path(u"notify"_s));
    QVERIFY(manager.bound());
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"NOTIFY_SOCKET"_s, folder.path(u"notify"_s));
    environment.insert(u"WATCHDOG_USEC"_s, u"2000000"_s);
    environment.remove(u"WATCHDOG_PID"_s); // one that the test's own starter may have left
    folder.service.setProcessEnvironment(environment);
    folder.startService();

    QCOMPARE(manager.waitFor("READY=1", 30000), "READY=1\nSTATUS=No import yet; no export yet");
    const QDeadlineTimer fewSeconds(10000);
    for (int told = 0; told < 3; ++told)
        QVERIFY(!manager.waitFor("WATCHDOG=1", int(fewSeconds.remainingTime())).isEmpty());

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
