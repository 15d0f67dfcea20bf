#include "OrderBuilder.h"
#include "ServiceFolder.h"
#include "TestEnvironment.h"
#include "TestMain.h"

#include <QDir>
#include <QFile>

#include <csignal>

#ifndef Q_OS_WIN
#include <sys/stat.h>
#include <utime.h>
#endif

using namespace Qt::StringLiterals;
using namespace kestrin;

// What older systems leave where they meet Kestrin, tried through the program on real files:
// names from a Windows share, sample IDs made for no file system, an error folder that is no folder.
class TestOlderSeams : public QObject {
    Q_OBJECT
private slots:
    void windows1252NameWaitsForItsAge();
    void longSampleIdStopsNoOtherSample();
    void failedFilesWaitingAreSaidOnceAndCounted();
};

// A name in windows-1252 bytes gets the checks of every name: still being written, it waits.
void TestOlderSeams::windows1252NameWaitsForItsAge()
{
#ifdef Q_OS_WIN
    QSKIP("Windows names are text");
#else
    test::ServiceFolder folder(u"ImportMinAge=600000\n"_s);
    QDir().mkpath(folder.path(u"in"_s));
    const QByteArray name = QFile::encodeName(folder.path(u"in/"_s)) + "Auftrag_M\xfcller.hl7";
    {
        FILE* file = ::fopen(name.constData(), "wb");
        QVERIFY(file);
        const QByteArray text = test::OrderBuilder().controlId(u"MS1"_s).sample(u"S1"_s).text().toLatin1();
        ::fwrite(text.constData(), 1, size_t(text.size()), file);
        ::fclose(file);
    }
    QCOMPARE(folder.run({u"/cycle=import"_s}), 0);
    QCOMPARE(folder.stored(u"S1"_s), 0);
    QVERIFY(test::FileNames(folder.path(u"in/Done"_s)).isEmpty());

    // Rested long enough, it is taken like any other.
    const utimbuf old{::time(nullptr) - 3600, ::time(nullptr) - 3600};
    QCOMPARE(::utime(name.constData(), &old), 0);
    QCOMPARE(folder.run({u"/cycle=import"_s}), 0);
    QCOMPARE(folder.stored(u"S1"_s), 1);
    QCOMPARE(test::FileNames(folder.path(u"in/Done"_s)).size(), 1);
#endif
}

// A queued ID too long for a file name is sent under a shortened name, and the samples sorted
// after it go out too.
void TestOlderSeams::longSampleIdStopsNoOtherSample()
{
    test::ServiceFolder folder;
    const QString longId(240, u'A');
    {
        const auto db = folder.connect();
        db->exec(u"INSERT INTO TEST_DEF (PARAMETER_ID, IMP_CODE_LDT, LONG, PRINT_POS) VALUES (8, 'THC', 'THC', 1)"_s);
        for (const QString& sample : {longId, u"Z1"_s}) {
            db->exec(u"INSERT INTO RESULTS (SAMPLE_ID, PARAMETER_ID, RESULT) VALUES (?, 8, '12')"_s, {sample});
            db->exec(u"INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) VALUES (?, 8)"_s, {sample});
        }
    }
    QCOMPARE(folder.run({u"/cycle=export"_s}), 0);
    const QStringList sent = test::FileNames(folder.path(u"out"_s));
    QCOMPARE(sent.size(), 2);
    for (const QString& name : sent)
        QVERIFY2(QFile::encodeName(name).size() <= 255, qPrintable(name));
    QVERIFY(sent.contains(u"ORU_Z1.hl7"_s));
    QVERIFY(folder.connect()->query(u"SELECT SAMPLE_ID FROM REQ2SEND"_s).isEmpty());
}

// Failed order files that EinleseFehler cannot take wait in the import folder: every cycle
// counts them (exit 1), /status counts them, and the service says it once and once mended.
void TestOlderSeams::failedFilesWaitingAreSaidOnceAndCounted()
{
    test::ServiceFolder folder(u"CancelSign=CA\n"_s); // so that a file without ORC-1 fails
    test::WriteFile(folder.path(u"in/EinleseFehler"_s), "not a folder");
    test::WriteFile(folder.path(u"in/broken.hl7"_s), "no message at all");
    for (int cycle = 1; cycle <= 3; ++cycle)
        QCOMPARE(folder.run({u"/cycle=import"_s}), 1);
    QByteArray status;
    QCOMPARE(folder.run({u"/status"_s}, &status), 1);
    QVERIFY2(status.contains("Failed order files waiting for EinleseFehler: 1"), status.constData());

    folder.startService();
    const QString said = u"Failed order files cannot be filed into"_s;
    // Three cycles of the service (one every five seconds): said once.
    QTest::qWait(11000);
    const qsizetype before = folder.log().filter(said).size();
    QVERIFY(QFile::remove(folder.path(u"in/EinleseFehler"_s)));
    const QString mended = u"takes failed order files again"_s;
    QTRY_VERIFY_WITH_TIMEOUT(!folder.log().filter(mended).isEmpty(), 30000);
    QCOMPARE(test::FileNames(folder.path(u"in/EinleseFehler"_s)), QStringList{u"broken.hl7"_s});
    QVERIFY(folder.stop(SIGTERM) >= 0);
    QCOMPARE(folder.log().filter(mended).size(), 1);
    // The three /cycle runs said it once each; the service once for all its cycles.
    QCOMPARE(before, 4);
}

KESTRIN_TEST_MAIN(TestOlderSeams)
#include "tst_olderseams.moc"
