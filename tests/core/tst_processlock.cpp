#include "TestEnvironment.h"
#include "core/ProcessLock.h"

#include <QCoreApplication>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#endif

using namespace Qt::StringLiterals;
using namespace kestrin;

class TestProcessLock : public QObject {
    Q_OBJECT
private slots:
    void leftoversNeverHold_data();
    void leftoversNeverHold();
    void heldUntilTheHolderEnds();
    void othersFilesAreNeverWrittenThrough_data();
    void othersFilesAreNeverWrittenThrough();
};

// What a holder that was killed, or a start killed while clearing a lock, leaves behind.
void TestProcessLock::leftoversNeverHold_data()
{
    QTest::addColumn<QByteArray>("left");
    QTest::addColumn<bool>("removalMark");
    const QByteArray host = QSysInfo::machineHostName().toUtf8();
    QTest::newRow("no file") << QByteArray() << false;
    QTest::newRow("empty file") << QByteArray("") << false;
    // Process 1 runs: an id used again must not read as the holder.
    QTest::newRow("names a running process") << "1\nkestrin\n" + host + '\n' << false;
    QTest::newRow("names a gone process, half cleared") << "2147483646\nkestrin\n" + host + '\n' << true;
}

void TestProcessLock::leftoversNeverHold()
{
    QFETCH(QByteArray, left);
    QFETCH(bool, removalMark);
    QTemporaryDir dir;
    const QString path = dir.filePath(u"HL7.kestrin-lock"_s);
    if (!left.isNull()) {
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(left);
    }
    if (removalMark) {
        QFile mark(path + u".rmlock"_s);
        QVERIFY(mark.open(QIODevice::WriteOnly));
    }
    QVERIFY(!IsLockHeld(path));
    ProcessLock lock(path);
    QCOMPARE(lock.tryLock(), ProcessLock::Outcome::Taken);
    QVERIFY(IsLockHeld(path));
    const std::optional<LockHolder> holder = ReadLockHolder(path);
    QVERIFY(holder);
    QCOMPARE(holder->pid, QCoreApplication::applicationPid());
    QCOMPARE(holder->host, QSysInfo::machineHostName());
}

void TestProcessLock::heldUntilTheHolderEnds()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"HL7.kestrin-lock"_s);
    auto first = std::make_unique<ProcessLock>(path);
    QCOMPARE(first->tryLock(), ProcessLock::Outcome::Taken);
    ProcessLock second(path);
    QCOMPARE(second.tryLock(), ProcessLock::Outcome::Held);
    first.reset();
    QVERIFY(!IsLockHeld(path));
    QVERIFY(!QFile::exists(path)); // a holder that ended leaves nothing
    QCOMPARE(second.tryLock(), ProcessLock::Outcome::Taken);
    QCOMPARE(ProcessLock(dir.filePath(u"no folder/x.kestrin-lock"_s)).tryLock(), ProcessLock::Outcome::Unwritable);
}

// A log folder others may write: a link put where the lock will be leads nowhere, and the
// lock file the owner and the group read.
void TestProcessLock::othersFilesAreNeverWrittenThrough_data() { test::AddLinkRows(); }

void TestProcessLock::othersFilesAreNeverWrittenThrough()
{
    QFETCH(bool, symbolic);
    QTemporaryDir dir;
    const QString secret = dir.filePath(u"secret"_s);
    const QString path = dir.filePath(u"HL7.kestrin-lock"_s);
    test::WriteFile(secret, "private\n");
    if (!test::LinkInPlaceOf(secret, path, symbolic))
        QSKIP("links in a log folder are a Unix matter");
    ProcessLock lock(path);
    QCOMPARE(lock.tryLock(), ProcessLock::Outcome::Unwritable);
    QVERIFY(!lock.errorString().isEmpty());
    QCOMPARE(test::ReadFile(secret), QByteArray("private\n"));
    QVERIFY(!ReadLockHolder(path));

#ifndef Q_OS_WIN
    QVERIFY(QFile::remove(path));
    const mode_t shell = ::umask(022);
    QCOMPARE(lock.tryLock(), ProcessLock::Outcome::Taken);
    ::umask(shell);
    QCOMPARE(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
#endif
}

QTEST_GUILESS_MAIN(TestProcessLock)
#include "tst_processlock.moc"
