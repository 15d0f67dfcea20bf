#include "core/ProcessLock.h"

#include <QCoreApplication>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace kestrin;

class TestProcessLock : public QObject {
    Q_OBJECT
private slots:
    void leftoversNeverHold_data();
    void leftoversNeverHold();
    void heldUntilTheHolderEnds();
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

QTEST_GUILESS_MAIN(TestProcessLock)
#include "tst_processlock.moc"
