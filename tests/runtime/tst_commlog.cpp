#include "FixedClock.h"
#include "TestMain.h"
#include "runtime/CommLog.h"
#include "runtime/Outages.h"

#include <QSignalSpy>
#include <QTemporaryDir>

#include <semaphore>
#include <thread>

using namespace Qt::StringLiterals;
using namespace kestrin;

class TestCommLog : public QObject {
    Q_OBJECT
private slots:
    void lines_data();
    void lines();
    void writtenInCharsetAndFlushedAtOnce();
    void reopeningAppends();
    void displayGetsTheDisplayLine();
    void closedLogDoesNotStopTheWork();
    void othersFilesAreNeverWrittenThrough_data();
    void othersFilesAreNeverWrittenThrough();
    void gatherAndSilenceBelongToTheirThread();
    void outageSaidOnceUntilMended();
};

void TestCommLog::lines_data()
{
    QTest::addColumn<int>("direction");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("file"); // empty: nothing at all
    QTest::addColumn<QString>("display");

    const QString now = u"20.01.2019 14:05:03"_s;
    const QString framed = u"\x02M\x03"_s;
    QTest::newRow("1 analyser to host") << 1 << framed << now + u"  A->H{STX}M{ETX}"_s << now + u"  A->H{STX}M{ETX}"_s;
    QTest::newRow("2 host to analyser") << 2 << u"\x06"_s << now + u"  H->A{ACK}"_s << now + u"  H->A{ACK}"_s;
    QTest::newRow("3 monitor, no time in the file") << 3 << u"X"_s << u"Monitor: X"_s << now + u" Monitor: X"_s;
    // A driver's message over several lines is still one entry: its breaks are named.
    QTest::newRow("3 monitor: one line, other control characters kept")
        << 3 << u"a\r\nb\x02"_s << u"Monitor: a{CR}{LF}b\x02"_s << now + u" Monitor: a{CR}{LF}b\x02"_s;
    QTest::newRow("4 order in") << 4 << framed << now + u" K->L {STX}M{ETX}"_s << now + u"     K->L {STX}M{ETX}"_s;
    QTest::newRow("5 result out") << 5 << u"MSH|^~\\&\r"_s << now + u" L->K MSH|^~\\&{CR}"_s
                                  << now + u" L->K MSH|^~\\&{CR}"_s;
    QTest::newRow("6 entry station keeps control characters")
        << 6 << u"S1\x02"_s << now + u" INPUT: S1\x02"_s << now + u"     L->HS1\x02"_s;
    QTest::newRow("6 entry station: one line")
        << 6 << u"S1\n"_s << now + u" INPUT: S1{LF}"_s << now + u"     L->HS1{LF}"_s;
    QTest::newRow("0 writes nothing") << 0 << u"X"_s << QString() << QString();
    QTest::newRow("7 writes nothing") << 7 << u"X"_s << QString() << QString();
}

void TestCommLog::lines()
{
    QFETCH(int, direction);
    QFETCH(QString, message);
    QFETCH(QString, file);
    QFETCH(QString, display);
    const auto lines = FormatLogLines(message, direction, u"20.01.2019 14:05:03"_s);
    QCOMPARE(lines.has_value(), !file.isEmpty());
    if (lines) {
        QCOMPARE(lines->file, file);
        QCOMPARE(lines->display, display);
    }
}

void TestCommLog::writtenInCharsetAndFlushedAtOnce()
{
    QTemporaryDir dir;
    test::FixedClock clock;
    CommLog log(clock, {}, u"windows-1252"_s);
    const QString path = dir.filePath(u"log/HL7_20190120_log.txt"_s);
    QVERIFY(log.open(path));
    log.logall(u"Patient M\u00fcller"_s, LogDirection::OrderIn);
    // Still open: what a killed program leaves behind.
    QCOMPARE(test::ReadFile(path), QByteArray("20.01.2019 14:05:03 K->L Patient M\xfcller\r\n"));
}

void TestCommLog::reopeningAppends()
{
    QTemporaryDir dir;
    test::FixedClock clock;
    const QString path = dir.filePath(u"a.txt"_s);
    {
        CommLog log(clock, {}, u"UTF-8"_s);
        QVERIFY(log.open(path));
        log.writeLine(u"first"_s);
    }
    CommLog log(clock, {}, u"UTF-8"_s);
    QVERIFY(log.open(path));
    log.writeLine(u"second"_s);
    QCOMPARE(test::ReadFile(path), QByteArray("first\r\nsecond\r\n"));
    // Patients' names: the owner and the group read, nobody else.
    QCOMPARE(QFile::permissions(path) & ~(QFileDevice::ReadUser | QFileDevice::WriteUser),
             QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup);
}

void TestCommLog::displayGetsTheDisplayLine()
{
    QTemporaryDir dir;
    test::FixedClock clock;
    CommLog log(clock, {}, u"UTF-8"_s);
    QVERIFY(log.open(dir.filePath(u"a.txt"_s)));
    QSignalSpy shown(&log, &CommLog::displayLine);
    log.logall(u"X"_s, 3);
    log.logall(u"ignored"_s, 9);
    QCOMPARE(shown.size(), 1);
    QCOMPARE(shown.first().first().toString(), u"20.01.2019 14:05:03 Monitor: X"_s);
}

void TestCommLog::closedLogDoesNotStopTheWork()
{
    test::FixedClock clock;
    CommLog log(clock, {}, u"UTF-8"_s);
    QSignalSpy shown(&log, &CommLog::displayLine);
    log.logall(u"X"_s, 4); // no file open: said on stderr, shown all the same
    QCOMPARE(shown.size(), 1);
    QTemporaryDir dir;
    QVERIFY(!log.open(dir.path())); // a folder is no file
}

// A log folder others may write: a link put where today's log will be leads nowhere.
void TestCommLog::othersFilesAreNeverWrittenThrough_data() { test::AddLinkRows(); }

void TestCommLog::othersFilesAreNeverWrittenThrough()
{
    QFETCH(bool, symbolic);
    QTemporaryDir dir;
    const QString secret = dir.filePath(u"secret"_s);
    const QString path = dir.filePath(u"HL7_20190120_log.txt"_s);
    test::WriteFile(secret, "private\n");
    if (!test::LinkInPlaceOf(secret, path, symbolic))
        QSKIP("links in a log folder are a Unix matter");
    test::FixedClock clock;
    CommLog log(clock, {}, u"UTF-8"_s);
    QVERIFY(!log.open(path, {u"Kestrin Module Started"_s}));
    QVERIFY(!log.errorString().isEmpty());
    QCOMPARE(test::ReadFile(secret), QByteArray("private\n"));
}

// The cycles' thread gathers a message's lines and is silent while it stores a batch again;
// the station's line written meanwhile goes to the file at once all the same.
void TestCommLog::gatherAndSilenceBelongToTheirThread()
{
    QTemporaryDir dir;
    test::FixedClock clock;
    CommLog log(clock, {}, u"UTF-8"_s);
    const QString path = dir.filePath(u"a.txt"_s);
    QVERIFY(log.open(path));
    std::binary_semaphore held{0};
    std::binary_semaphore written{0};
    std::thread cycle([&] {
        const CommLog::Gather gather(log);
        log.writeLine(u"cycle 1"_s);
        {
            const CommLog::Silence silence(log);
            log.logall(u"stored again"_s, LogDirection::Monitor);
            held.release();
            written.acquire();
        }
        log.writeLine(u"cycle 2"_s);
    });
    held.acquire();
    log.logall(u"station"_s, LogDirection::Monitor);
    const QByteArray meanwhile = test::ReadFile(path);
    written.release();
    cycle.join();
    QCOMPARE(meanwhile, QByteArray("Monitor: station\r\n"));
    QCOMPARE(test::ReadFile(path), QByteArray("Monitor: station\r\ncycle 1\r\ncycle 2\r\n"));
}

void TestCommLog::outageSaidOnceUntilMended()
{
    QTemporaryDir dir;
    test::FixedClock clock;
    CommLog log(clock, {}, u"UTF-8"_s);
    QVERIFY(log.open(dir.filePath(u"a.txt"_s)));
    QSignalSpy shown(&log, &CommLog::displayLine);
    Outages outages(log);
    QVERIFY(outages.report(u"share"_s, u"The share is gone."_s));
    QVERIFY(!outages.report(u"share"_s, u"The share is gone."_s));
    QVERIFY(outages.report(u"folder"_s, u"The folder is gone."_s)); // each kind on its own
    QVERIFY(outages.report(u"share"_s, u"The share is full."_s));   // it changed: said again
    QVERIFY(outages.isOpen(u"share"_s));
    QVERIFY(outages.mend(u"share"_s, u"The share is back."_s));
    QVERIFY(!outages.mend(u"share"_s, u"The share is back."_s));
    QVERIFY(!outages.isOpen(u"share"_s));
    QVERIFY(outages.mend(u"folder"_s)); // mended without a word
    QVERIFY(outages.report(u"share"_s, u"The share is gone."_s));
    QStringList lines;
    for (const QList<QVariant>& signal : shown)
        lines << signal.first().toString().section(u" Monitor: "_s, 1);
    QCOMPARE(lines,
             (QStringList{u"The share is gone."_s, u"The folder is gone."_s, u"The share is full."_s,
                          u"The share is back."_s, u"The share is gone."_s}));
}

KESTRIN_TEST_MAIN(TestCommLog)
#include "tst_commlog.moc"
