#include "LabStation.h"
#include "OrderBuilder.h"
#include "TestMain.h"
#include "core/DurableFiles.h"
#include "hl7export/ExportClaims.h"
#include "hl7export/ExportCycle.h"
#include "hl7export/ResultFile.h"
#include "hl7import/MessageReader.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>

#ifdef Q_OS_LINUX
#include <sys/mount.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;
using namespace kestrin;
using test::OrderBuilder;

namespace {

void queueSample(test::LabStation& station, const QString& sample, const QList<int>& parameters = {1})
{
    OrderMessage message;
    ReadMessageText(station.ctx(), OrderBuilder().sample(sample).test(u"AMP"_s).text(), message);
    station.db().exec(u"DELETE FROM REQUEST WHERE SAMPLE_ID = ?"_s, {sample}); // the work is done
    for (const int parameter : parameters) {
        station.db().exec(
            u"INSERT INTO RESULTS (SAMPLE_ID, PARAMETER_ID, RESULT, INTERPRETATION) VALUES (?, ?, ?, ?)"_s,
            {sample, parameter, u"12"_s, u"negative"_s});
        station.db().exec(u"INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s, {sample, parameter});
    }
}

QStringList exportFiles(const test::LabStation& station) { return test::FileNames(station.config.ExportPath); }

QStringList queueRows(test::LabStation& station)
{
    QStringList rows;
    for (const Row& row : station.db().query(u"SELECT SAMPLE_ID, PARAMETER_ID FROM REQ2SEND"_s))
        rows << row.text(u"SAMPLE_ID") + u'/' + row.text(u"PARAMETER_ID");
    rows.sort();
    return rows;
}

// Calls `act` when the log says that a sample's file was published.
void whenPublished(test::LabStation& station, const std::function<void(const QString& sampleId)>& act)
{
    QObject::connect(&station.log, &CommLog::displayLine, &station.log, [act](const QString& line) {
        const QString mark = u"Export abgeschlossen f\u00fcr Probe: "_s;
        const qsizetype at = line.indexOf(mark);
        if (at >= 0)
            act(line.mid(at + mark.size()).section(u"/Datei: "_s, 0, 0));
    });
}

QString exported(const test::LabStation& station, const QString& name)
{
    return QString::fromLatin1(test::ReadFile(station.config.ExportPath + name));
}

QStringList queueSamples(test::LabStation& station, int count)
{
    QStringList ids;
    for (int i = 0; i < count; ++i) {
        ids << u"S%1"_s.arg(i, 2, 10, QChar(u'0'));
        queueSample(station, ids.last());
    }
    return ids;
}

// How often the log says that each sample's file was published.
QHash<QString, int> sentCounts(const test::LabStation& station)
{
    QHash<QString, int> counts;
    const QString mark = u"Export abgeschlossen f\u00fcr Probe: "_s;
    for (const QString& line : station.logLines().filter(mark))
        ++counts[line.mid(line.indexOf(mark) + mark.size()).section(u"/Datei: "_s, 0, 0)];
    return counts;
}

// A file system of its own (a 1 MB tmpfs below `path`) that a test fills or makes read-only,
// and mends again. Mounting needs root, as CI runs; elsewhere it is not mounted.
class SmallDisk {
public:
    explicit SmallDisk(const QString& path)
        : m_path(path)
    {
        QDir().mkpath(path);
#ifdef Q_OS_LINUX
        m_mounted = ::geteuid() == 0 && ::mount("tmpfs", qPrintable(path), "tmpfs", 0, "size=1m") == 0;
#endif
    }
    ~SmallDisk()
    {
#ifdef Q_OS_LINUX
        if (m_mounted)
            ::umount2(qPrintable(m_path), MNT_DETACH);
#endif
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return m_mounted; }

    // Leaves 16 KiB free: room for a few result files, not for a group of ten.
    void fill()
    {
        QFile filler(m_path + u"/filler"_s);
        QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
        const QByteArray block(4096, 'x');
        while (filler.write(block) == block.size()) { }
        QVERIFY(filler.resize(filler.size() - 16 * 1024));
    }
    bool remount(bool readOnly, const char* options)
    {
#ifdef Q_OS_LINUX
        return ::mount("tmpfs", qPrintable(m_path), "tmpfs", MS_REMOUNT | (readOnly ? MS_RDONLY : 0), options) == 0;
#else
        Q_UNUSED(readOnly);
        Q_UNUSED(options);
        return false;
#endif
    }

private:
    QString m_path;
    bool m_mounted = false;
};

} // namespace

class TestExportCycle : public QObject {
    Q_OBJECT
private slots:
    void emptyQueueDoesNothing();
    void oneFilePerSampleAndQueueEmptied_data() { test::AddEngineRows(); }
    void oneFilePerSampleAndQueueEmptied();
    void logLines();
    void nameWithoutLeaderOrExtension();
    void earlierFileReplaced();
    void staleTemporaryFileNotAppended();
    void unsafeSampleIdStaysInsideTheFolder();
    void failingSampleDoesNotStopTheOthers_data() { test::AddEngineRows(); }
    void failingSampleDoesNotStopTheOthers();
    void apostropheInSampleId_data() { test::AddEngineRows(); }
    void apostropheInSampleId();
    void publishedAcrossFileSystems();
    void generalHl7ReaderAgrees();
    void missingExportFolderKeepsTheQueue();
    void onlyTheRowsReadAreDequeued_data();
    void onlyTheRowsReadAreDequeued();
    void unpublishedFileKeepsOnlyItsOwnRows_data() { test::AddEngineRows(); }
    void unpublishedFileKeepsOnlyItsOwnRows();
    void killSendsAtMostTenSamplesAgain();
    void idsThatShareAFileNameKeepTheirOwn();
    void anotherSamplesFileIsNotReplaced();
    void rowsWithoutSampleIdStay();
    void sampleIdsStoredAsNoText();
    void temporaryFilesDoNotLeak();
    void staleWorkFiles_data();
    void staleWorkFiles();
    void linesLoggedBeforeTheFileIsOut();
    void readOnlyDatabaseSendsNothingTwice_data();
    void readOnlyDatabaseSendsNothingTwice();
    void claimsOfOtherExporters_data();
    void claimsOfOtherExporters();
    void folderThatTakesNoFile_data();
    void folderThatTakesNoFile();
    void fullDeviceRefusesTheFile();
    void longSampleIdsGoOut_data();
    void longSampleIdsGoOut();
    void nothingPublishedThatCannotBeDequeued_data();
    void nothingPublishedThatCannotBeDequeued();
    void uncommittedDequeueSendsNothingAgain();
    void dequeueOfAnEarlierCycleKeepsWhatCameSince();
};

void TestExportCycle::emptyQueueDoesNothing()
{
    test::LabStation station(u"sqlite"_s);
    const qsizetype lines = station.logLines().size();
    QCOMPARE(ExportPendingResults(station.ctx()).handled, 0);
    QVERIFY(exportFiles(station).isEmpty());
    QCOMPARE(station.logLines().size(), lines);
}

void TestExportCycle::oneFilePerSampleAndQueueEmptied()
{
    KESTRIN_STATION(station);
    queueSample(station, u"4711"_s, {1, 4, 8});
    queueSample(station, u"4712"_s);
    QCOMPARE(ExportPendingResults(station.ctx()).handled, 2);
    QCOMPARE(exportFiles(station), (QStringList{u"ORU_4711.hl7"_s, u"ORU_4712.hl7"_s}));
    QCOMPARE(exported(station, u"ORU_4711.hl7"_s).count(u"MSH|"_s), 1);
    QVERIFY(exported(station, u"ORU_4711.hl7"_s).endsWith(u"|||F\r\n"_s));
    QVERIFY(station.column(u"SELECT SAMPLE_ID FROM REQ2SEND"_s).isEmpty());
    QVERIFY(test::FileNames(station.config.TempExportPath).isEmpty());
}

void TestExportCycle::logLines()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    queueSample(station, u"4711"_s);
    const qsizetype before = station.logLines().size();
    ExportPendingResults(station.ctx());
    const QStringList lines = station.logLines().mid(before);
    const QString now = u"20.01.2019 14:05:03"_s;
    QCOMPARE(lines.first(), u"Monitor: Start Export f\u00fcr Probe: 4711"_s);
    QCOMPARE(lines.at(1), now + u" L->K MSH|^~\\&|KESTRIN||KIS||20.01.2019 14:05:03||ORU^R01|4711|P|2.3"_s);
    QCOMPARE(lines.at(2), now + u" L->K PID|1||P100||Meier^Anna||19800101|F"_s);
    QCOMPARE(lines.last(),
             u"Monitor: Export abgeschlossen f\u00fcr Probe: 4711/Datei: "_s + station.config.ExportPath +
                 u"ORU_4711.hl7"_s);
    QCOMPARE(lines.size(), 2 + 5);
}

void TestExportCycle::nameWithoutLeaderOrExtension()
{
    test::LabStation station(u"sqlite"_s);
    station.config.ExportLeader.clear();
    station.config.ExportExtension.clear();
    queueSample(station, u"4711"_s);
    ExportPendingResults(station.ctx());
    QCOMPARE(exportFiles(station), QStringList{u"4711"_s});
}

void TestExportCycle::earlierFileReplaced()
{
    test::LabStation station(u"sqlite"_s);
    test::WriteFile(station.config.ExportPath + u"ORU_4711.hl7"_s, "an earlier export");
    queueSample(station, u"4711"_s);
    ExportPendingResults(station.ctx());
    QVERIFY(exported(station, u"ORU_4711.hl7"_s).startsWith(u"MSH|"_s));
    QCOMPARE(exportFiles(station), QStringList{u"ORU_4711.hl7"_s});
}

void TestExportCycle::staleTemporaryFileNotAppended()
{
    test::LabStation station(u"sqlite"_s);
    // What an interrupted attempt of this process (same name) or an older version left.
    const QString pid = QString::number(QCoreApplication::applicationPid());
    test::WriteFile(station.config.TempExportPath + u"ORU_4711.hl7.kestrin.LABPC."_s + pid + u".tmp"_s,
                    "MSH|half a message\r\n");
    queueSample(station, u"4711"_s);
    ExportPendingResults(station.ctx());
    const QString file = exported(station, u"ORU_4711.hl7"_s);
    QCOMPARE(file.count(u"MSH|"_s), 1);
    QVERIFY(!file.contains(u"half"_s));
}

void TestExportCycle::unsafeSampleIdStaysInsideTheFolder()
{
    test::LabStation station(u"sqlite"_s);
    queueSample(station, u"../x/4711"_s);
    QCOMPARE(ExportPendingResults(station.ctx()).handled, 1);
    QCOMPARE(exportFiles(station), QStringList{u"ORU_.._x_4711~4137aafb.hl7"_s});
    QVERIFY(exported(station, u"ORU_.._x_4711~4137aafb.hl7"_s).contains(u"|ORU^R01|../x/4711|P|2.3"_s));
}

void TestExportCycle::failingSampleDoesNotStopTheOthers()
{
    KESTRIN_STATION(station);
    queueSample(station, u"A1"_s);
    queueSample(station, u"B2"_s, {1, 8});
    queueSample(station, u"C3"_s);
    // A folder where B2's file belongs: it cannot be published.
    QDir().mkpath(station.config.ExportPath + u"ORU_B2.hl7/blocked"_s);
    const CycleOutcome outcome = ExportPendingResults(station.ctx());
    QCOMPARE(outcome.handled, 2);
    QCOMPARE(outcome.failed, 1);
    QCOMPARE(station.column(u"SELECT SAMPLE_ID FROM REQ2SEND ORDER BY PARAMETER_ID"_s),
             (QStringList{u"B2"_s, u"B2"_s}));
    QVERIFY(QFileInfo(station.config.ExportPath + u"ORU_A1.hl7"_s).isFile());
    QVERIFY(QFileInfo(station.config.ExportPath + u"ORU_C3.hl7"_s).isFile());
    QVERIFY(!station.logLines()
                 .filter(u"Monitor: Export fehlgeschlagen f\u00fcr Probe: B2 Fehlerbeschreibung: "_s)
                 .isEmpty());
    // Once the way is clear, the next cycle sends it.
    QDir(station.config.ExportPath + u"ORU_B2.hl7"_s).removeRecursively();
    QCOMPARE(ExportPendingResults(station.ctx()).handled, 1);
    QVERIFY(station.column(u"SELECT SAMPLE_ID FROM REQ2SEND"_s).isEmpty());
}

void TestExportCycle::apostropheInSampleId()
{
    KESTRIN_STATION(station);
    queueSample(station, u"O'4711"_s);
    QCOMPARE(ExportPendingResults(station.ctx()).handled, 1);
    QVERIFY(exported(station, u"ORU_O'4711.hl7"_s).contains(u"OBX|1|NM|AMP^Amphetamines||12|"_s));
    QVERIFY(station.column(u"SELECT SAMPLE_ID FROM REQ2SEND"_s).isEmpty());
}

// The temporary folder on another file system: copied under a temporary name, then renamed.
void TestExportCycle::publishedAcrossFileSystems()
{
    QTemporaryDir memory(u"/dev/shm/kestrin-XXXXXX"_s);
    if (!memory.isValid())
        QSKIP("No /dev/shm for a second file system");
    test::LabStation station(u"sqlite"_s);
    station.config.TempExportPath = memory.path() + u"/"_s;
    queueSample(station, u"4711"_s);
    QCOMPARE(ExportPendingResults(station.ctx()).handled, 1);
    QCOMPARE(exportFiles(station), QStringList{u"ORU_4711.hl7"_s});
    QVERIFY(QDir(memory.path()).isEmpty());
}

// A general HL7 reader (python-hl7, Debian's python3-hl7) finds every field where it belongs.
void TestExportCycle::generalHl7ReaderAgrees()
{
    const QString python = QStandardPaths::findExecutable(u"python3"_s, {u"/usr/bin"_s});
    QProcess probe;
    probe.start(python.isEmpty() ? u"python3"_s : python, {u"-c"_s, u"import hl7"_s});
    if (!probe.waitForFinished(30000) || probe.exitCode() != 0)
        QSKIP("python3 with the hl7 module (Debian package python3-hl7) is not installed");
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    queueSample(station, u"4711"_s, {1, 8});
    station.db().exec(u"UPDATE SAMPLE_BASE SET COMMENT_COM = ? WHERE SAMPLE_ID = ?"_s, {u"a|b^c"_s, u"4711"_s});
    ExportPendingResults(station.ctx());
    const QString script = uR"(
import sys, hl7
text = open(sys.argv[1], encoding='cp1252', newline='').read().replace('\r\n', '\r')
m = hl7.parse(text)
msh, obr, obx, nte = m.segment('MSH'), m.segment('OBR'), m.segments('OBX'), m.segment('NTE')
print(msh[3], msh[5], msh[9], msh[10], msh[11], msh[12], sep=';')
print(m.segment('PID')[3], m.segment('PID')[5][0][0], m.segment('PID')[5][0][1], sep=';')
print(obr[1], obr[2], obr[3], obr[7], obr[25], len(obr) - 1, sep=';')
for o in obx:
    print(o[1], o[2], o[3][0][0], o[3][0][1], o[5], o[6], o[7], o[8], o[11], sep=';')
print(nte[1], m.unescape(str(nte[2])), sep=';')
)"_s;
    QProcess reader;
    reader.start(python.isEmpty() ? u"python3"_s : python,
                 {u"-c"_s, script, station.config.ExportPath + u"ORU_4711.hl7"_s});
    QVERIFY(reader.waitForFinished(30000));
    QVERIFY2(reader.exitCode() == 0, reader.readAllStandardError().constData());
    const QStringList lines = QString::fromUtf8(reader.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
    QCOMPARE(lines,
             (QStringList{u"KESTRIN;KIS;ORU^R01;4711;P;2.3"_s, u"P100;Meier;Anna"_s,
                          u"1;4711;DRUGSCREEN;201901201405;F;25"_s, u"1;NM;THC;Cannabinoids;12;ng/mL;50;negative;F"_s,
                          u"2;NM;AMP;Amphetamines;12;ng/mL;500;negative;F"_s, u"1;a|b^c"_s}));
}

// The export folder is the receiving system's share: when it is not mounted, nothing is
// made in its place, the results stay queued, and the log says so once.
void TestExportCycle::missingExportFolderKeepsTheQueue()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    queueSample(station, u"4711"_s);
    QDir(station.config.ExportPath).removeRecursively();
    const qsizetype before = station.logLines().size();
    for (int cycle = 0; cycle < 3; ++cycle) {
        const CycleOutcome outcome = ExportPendingResults(station.ctx());
        QCOMPARE(outcome.handled, 0);
        QCOMPARE(outcome.failed, 1);
    }
    QVERIFY(!QFileInfo::exists(station.config.ExportPath));
    QCOMPARE(queueRows(station), QStringList{u"4711/1"_s});
    const QStringList said = station.logLines().mid(before);
    QCOMPARE(said.size(), 1);
    QVERIFY(said.first().startsWith(u"Monitor: "_s));
    QVERIFY(said.first().contains(station.config.ExportPath));

    QDir().mkpath(station.config.ExportPath);
    QCOMPARE(ExportPendingResults(station.ctx()).handled, 1);
    QCOMPARE(ExportPendingResults(station.ctx()).handled, 0);
    QCOMPARE(exportFiles(station), QStringList{u"ORU_4711.hl7"_s});
    QVERIFY(queueRows(station).isEmpty());
}

void TestExportCycle::onlyTheRowsReadAreDequeued_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<int>("parameter");
    QTest::addColumn<QStringList>("left");
    // A server, where another writer can queue a row right before the deletion. On the embedded
    // database its moment is the staging of the files, which nothing here can reach; while the
    // files are published, the export holds the write lock.
    QTest::newRow("another parameter") << u"postgres"_s << 4 << QStringList{u"4711/4"_s};
    // Two equal rows cannot be told apart: both stay and the sample goes out again.
    QTest::newRow("the same parameter again")
        << u"postgres"_s << 1 << QStringList{u"4711/1"_s, u"4711/1"_s, u"4711/8"_s};
}

// Other laboratory software queues a row for a sample whose message is already composed.
void TestExportCycle::onlyTheRowsReadAreDequeued()
{
    QFETCH(int, parameter);
    KESTRIN_STATION(station);
    queueSample(station, u"4711"_s, {1, 8});
    queueSample(station, u"4712"_s);
    const auto other = station.scratch.connectAgain();
    bool queuedAgain = false;
    station.db().setStatementObserver([&](const QString& sql, qsizetype) {
        if (sql.startsWith(u"DELETE FROM REQ2SEND") && !std::exchange(queuedAgain, true))
            other->exec(u"INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s, {u"4711"_s, parameter});
    });
    QCOMPARE(ExportPendingResults(station.ctx()).handled, 2);
    QTEST(queueRows(station), "left");
    QCOMPARE(ExportPendingResults(station.ctx()).handled, 1);
    QVERIFY(queueRows(station).isEmpty());
}

// A file that cannot be published after the group's rows were deleted gets its own rows back,
// and only those: the samples published before it in the group stay dequeued.
void TestExportCycle::unpublishedFileKeepsOnlyItsOwnRows()
{
    KESTRIN_STATION(station);
    for (const QString& sample : {u"4711"_s, u"4712"_s, u"4713"_s})
        queueSample(station, sample);
    // A folder appears at the second sample's name once its file is staged.
    station.db().setStatementObserver([&](const QString& sql, qsizetype) {
        if (sql.startsWith(u"DELETE FROM REQ2SEND"))
            QDir().mkpath(station.config.ExportPath + u"ORU_4712.hl7/inside"_s);
    });
    QCOMPARE(ExportPendingResults(station.ctx()).handled, 2);
    QCOMPARE(queueRows(station), QStringList{u"4712/1"_s});
}

// The process dies (here: its database goes) right after a file was published: what it
// published since its last commit goes out again, never more than ten samples.
void TestExportCycle::killSendsAtMostTenSamplesAgain()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    for (int i = 0; i < 30; ++i)
        queueSample(station, u"S%1"_s.arg(i, 2, 10, QChar(u'0')));
    int published = 0;
    whenPublished(station, [&](const QString&) {
        if (++published == 29)
            station.db().close();
    });
    try {
        ExportPendingResults(station.ctx());
    } catch (const std::exception&) {
    }
    station.db().reopen();
    // The database is gone while the last group is published: all of it is out, none dequeued.
    const QStringList sent = exportFiles(station);
    QCOMPARE(sent.size(), 30);
    int sentAgain = 0;
    for (const QString& row : queueRows(station))
        sentAgain += sent.contains(u"ORU_"_s + row.section(u'/', 0, 0) + u".hl7"_s) ? 1 : 0;
    QVERIFY2(sentAgain >= 1 && sentAgain <= 10, qPrintable(QString::number(sentAgain)));
}

void TestExportCycle::idsThatShareAFileNameKeepTheirOwn()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    const QStringList ids{u"A/B"_s, u"A:B"_s, u"A*B"_s, u"A_B"_s};
    for (const QString& id : ids)
        queueSample(station, id);
    QCOMPARE(ExportPendingResults(station.ctx()).handled, 4);
    const QStringList files = exportFiles(station);
    QCOMPARE(files.size(), 4);
    QStringList controlIds;
    for (const QString& file : files)
        controlIds << exported(station, file).section(u'|', 9, 9);
    controlIds.sort();
    QCOMPARE(controlIds, (QStringList{u"A*B"_s, u"A/B"_s, u"A:B"_s, u"A_B"_s}));
    QVERIFY(queueRows(station).isEmpty());
}

// Names can still meet (a file system blind to case): another sample's file is never
// replaced; this sample waits until the receiving system has taken that one.
void TestExportCycle::anotherSamplesFileIsNotReplaced()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    const QByteArray theirs = "MSH|^~\\&|KESTRIN||KIS||20.01.2019 14:00:00||ORU^R01|a4711|P|2.3\r\n";
    test::WriteFile(station.config.ExportPath + u"ORU_4711.hl7"_s, theirs);
    queueSample(station, u"4711"_s);
    QCOMPARE(ExportPendingResults(station.ctx()).failed, 1);
    QCOMPARE(test::ReadFile(station.config.ExportPath + u"ORU_4711.hl7"_s), theirs);
    QCOMPARE(queueRows(station), QStringList{u"4711/1"_s});
    QFile::remove(station.config.ExportPath + u"ORU_4711.hl7"_s);
    QCOMPARE(ExportPendingResults(station.ctx()).handled, 1);
    QVERIFY(exported(station, u"ORU_4711.hl7"_s).contains(u"|ORU^R01|4711|"_s));
}

void TestExportCycle::rowsWithoutSampleIdStay()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    queueSample(station, u"4711"_s);
    station.db().exec(u"INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s,
                      {QVariant(QMetaType(QMetaType::QString)), 1});
    station.db().exec(u"INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s, {u""_s, 8});
    const qsizetype before = station.logLines().size();
    for (int cycle = 0; cycle < 3; ++cycle)
        QVERIFY(ExportPendingResults(station.ctx()).failed > 0);
    QCOMPARE(exportFiles(station), QStringList{u"ORU_4711.hl7"_s});
    QCOMPARE(queueRows(station), (QStringList{u"/1"_s, u"/8"_s}));
    QCOMPARE(station.logLines().mid(before).filter(u"without a sample ID"_s).size(), 1);
}

// An older laboratory database's untyped REQ2SEND may hold an ID as a number or as bytes: it
// goes out under its text and its rows go, instead of waiting unseen for ever.
void TestExportCycle::sampleIdsStoredAsNoText()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    station.db().exec(u"DROP TABLE REQ2SEND"_s);
    station.db().exec(u"CREATE TABLE REQ2SEND (SAMPLE_ID, PARAMETER_ID)"_s);
    for (const QVariant& id : {QVariant(123), QVariant(4.5), QVariant(QByteArray("AB"))})
        station.db().exec(u"INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s, {id, 1});
    QCOMPARE(ExportPendingResults(station.ctx()).handled, 3);
    QCOMPARE(exportFiles(station), (QStringList{u"ORU_123.hl7"_s, u"ORU_4.5.hl7"_s, u"ORU_AB.hl7"_s}));
    QCOMPARE(queueRows(station), QStringList());
}

void TestExportCycle::temporaryFilesDoNotLeak()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    // What a killed process (one that cannot be running) left, beside what is not Kestrin's.
    const QString dead = u"2147480000"_s;
    const QString tmp = station.config.TempExportPath;
    const QString out = station.config.ExportPath;
    test::WriteFile(tmp + u"ORU_9.hl7.kestrin.LABPC."_s + dead + u".tmp"_s, "MSH|half");
    test::WriteFile(out + u".ORU_9.hl7.kestrin.LABPC."_s + dead + u".part"_s, "MSH|half");
    test::WriteFile(out + u".ORU_9.hl7.kestrin.OTHERPC."_s + dead + u".part"_s, "MSH|being copied");
    test::WriteFile(tmp + u"notes.tmp"_s, "not ours");
    // B2's file cannot be published: a folder holds its name.
    queueSample(station, u"B2"_s);
    QDir().mkpath(out + u"ORU_B2.hl7/blocked"_s);
    for (int cycle = 0; cycle < 2; ++cycle)
        QCOMPARE(ExportPendingResults(station.ctx()).failed, 1);
    QCOMPARE(test::FileNames(tmp), QStringList{u"notes.tmp"_s});
    QCOMPARE(exportFiles(station), QStringList{u".ORU_9.hl7.kestrin.OTHERPC."_s + dead + u".part"_s});
}

void TestExportCycle::staleWorkFiles_data()
{
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("ageMinutes");
    QTest::addColumn<bool>("removed");
    // This process is 111; of this machine's others, 222 runs.
    QTest::newRow("process gone") << u"tmp"_s << u"ORU_1.hl7.kestrin.LABPC.333.tmp"_s << 0 << true;
    QTest::newRow("process running") << u"tmp"_s << u"ORU_1.hl7.kestrin.LABPC.222.tmp"_s << 30 << false;
    QTest::newRow("this process, between samples") << u"tmp"_s << u"ORU_1.hl7.kestrin.LABPC.111.tmp"_s << 0 << true;
    QTest::newRow("copy of a process gone") << u"out"_s << u".ORU_1.hl7.kestrin.LABPC.333.part"_s << 0 << true;
    QTest::newRow("copy of a process running") << u"out"_s << u".ORU_1.hl7.kestrin.LABPC.222.part"_s << 0 << false;
    QTest::newRow("another machine, lately") << u"out"_s << u".ORU_1.hl7.kestrin.OTHERPC.333.part"_s << 1 << false;
    QTest::newRow("another machine, long ago") << u"out"_s << u".ORU_1.hl7.kestrin.OTHERPC.333.part"_s << 11 << true;
    QTest::newRow("work folder, process gone")
        << u"out/.kestrin"_s << u"00a1b2c3d4e5f607.kestrin.LABPC.333.part"_s << 0 << true;
    QTest::newRow("work folder, process running")
        << u"out/.kestrin"_s << u"00a1b2c3d4e5f607.kestrin.LABPC.222.part"_s << 0 << false;
    QTest::newRow("not Kestrin's") << u"tmp"_s << u"ORU_1.hl7.333.tmp"_s << 60 << false;
    QTest::newRow("a published result") << u"out"_s << u"ORU_1.hl7"_s << 60 << false;
    QTest::newRow("not hidden") << u"out"_s << u"ORU_1.hl7.kestrin.LABPC.333.part"_s << 60 << false;
    QTest::newRow("temporary name in the export folder")
        << u"out"_s << u".ORU_1.hl7.kestrin.LABPC.333.tmp"_s << 60 << false;
}

void TestExportCycle::staleWorkFiles()
{
    QFETCH(QString, folder);
    QFETCH(QString, name);
    QFETCH(int, ageMinutes);
    QTemporaryDir dir;
    AppConfig config;
    config.ComputerName = u"LABPC"_s;
    config.TempExportPath = dir.filePath(u"tmp/"_s);
    config.ExportPath = dir.filePath(u"out/"_s);
    const QString path = dir.filePath(folder + u'/' + name);
    test::WriteFile(path, "MSH|");
    const QDateTime now = QDateTime::currentDateTime();
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(now.addSecs(-60 * ageMinutes), QFileDevice::FileModificationTime));
    file.close();
    const QStringList gone = RemoveStaleResultFiles(config, 111, now, [](qint64 pid) { return pid == 222; });
    QFETCH(bool, removed);
    QCOMPARE(!QFileInfo::exists(path), removed);
    QCOMPARE(gone.contains(name), removed);
}

// A kill right after a file is published loses no delivery from the log: its lines are there.
void TestExportCycle::linesLoggedBeforeTheFileIsOut()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    const QStringList ids = queueSamples(station, 3);
    QStringList missing;
    whenPublished(station, [&](const QString& sampleId) {
        const QStringList logged = station.logLines();
        if (logged.filter(u"Start Export f\u00fcr Probe: "_s + sampleId).isEmpty() ||
            logged.filter(u"|ORU^R01|"_s + sampleId + u'|').isEmpty())
            missing << sampleId;
    });
    QCOMPARE(ExportPendingResults(station.ctx()).handled, 3);
    QCOMPARE(missing, QStringList());
    // Each sample's end line follows its own lines.
    const QStringList logged = station.logLines();
    for (const QString& id : ids) {
        const qsizetype start = logged.indexOf(u"Monitor: Start Export f\u00fcr Probe: "_s + id);
        const qsizetype end = logged.indexOf(u"Monitor: Export abgeschlossen f\u00fcr Probe: "_s + id + u"/Datei: "_s +
                                             station.config.ExportPath + u"ORU_"_s + id + u".hl7"_s);
        QVERIFY(start >= 0 && end > start);
        QVERIFY(logged.mid(start + 1, end - start - 1).filter(u"Monitor: "_s).isEmpty());
    }
}

void TestExportCycle::readOnlyDatabaseSendsNothingTwice_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<bool>("whilePublishing"); // else before the cycle
    QTest::newRow("before the cycle") << u"postgres"_s << false;
    QTest::newRow("while publishing") << u"postgres"_s << true;
}

// The database reads but takes no writes: nothing is published while the queue rows cannot be
// deleted, and each sample goes out once (a group being published as the outage begins is
// dequeued in the transaction it holds already).
void TestExportCycle::readOnlyDatabaseSendsNothingTwice()
{
    QFETCH(bool, whilePublishing);
    const QString readOnly = u"SET default_transaction_read_only = on"_s;
    KESTRIN_STATION(station);
    const int group = ExportOptions{}.samplesPerCommit;
    const QStringList ids = queueSamples(station, group + 15);
    bool done = false; // lives as long as the connection to the log
    if (whilePublishing) {
        whenPublished(station, [&](const QString&) {
            if (!std::exchange(done, true))
                station.db().exec(readOnly);
        });
    } else {
        station.db().exec(readOnly);
    }
    for (int cycle = 0; cycle < 3; ++cycle) {
        const qsizetype before = exportFiles(station).size();
        QVERIFY_THROWS_EXCEPTION(DbError, ExportPendingResults(station.ctx()));
        if (cycle > 0)
            QCOMPARE(exportFiles(station).size(), before); // nothing again while it lasts
    }
    const QHash<QString, int> duringOutage = sentCounts(station);
    QVERIFY(duringOutage.size() <= (whilePublishing ? group : 0));
    QCOMPARE(queueRows(station).size(), ids.size() - duringOutage.size());

    station.db().exec(u"SET default_transaction_read_only = off"_s);
    QCOMPARE(ExportPendingResults(station.ctx()).handled, ids.size() - duringOutage.size());
    const QHash<QString, int> sent = sentCounts(station);
    for (const QString& id : ids)
        QCOMPARE(sent.value(id), 1);
    QVERIFY(queueRows(station).isEmpty());
    QVERIFY(station.column(u"SELECT SAMPLE_ID FROM KESTRIN_EXPORTS"_s).isEmpty());
}

void TestExportCycle::claimsOfOtherExporters_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("host");
    QTest::addColumn<qint64>("pid");
    QTest::addColumn<int>("ageMinutes");
    QTest::addColumn<bool>("sent");
    const qint64 running = 1; // init runs on every machine
    const qint64 gone = 2147480000;
    const qint64 self = QCoreApplication::applicationPid();
    for (const QString& engine : {u"sqlite"_s, u"postgres"_s}) {
        const QByteArray e = engine.toLatin1();
        QTest::addRow("%s: this machine, running", e.data()) << engine << u"LABPC"_s << running << 30 << false;
        QTest::addRow("%s: this machine, gone", e.data()) << engine << u"LABPC"_s << gone << 0 << true;
        QTest::addRow("%s: this process, an earlier cycle", e.data()) << engine << u"LABPC"_s << self << 0 << true;
        QTest::addRow("%s: another machine, lately", e.data()) << engine << u"OTHERPC"_s << running << 1 << false;
        QTest::addRow("%s: another machine, long ago", e.data()) << engine << u"OTHERPC"_s << running << 11 << true;
    }
}

// A sample another exporter holds is left to it, unless that exporter is gone.
void TestExportCycle::claimsOfOtherExporters()
{
    QFETCH(QString, host);
    QFETCH(qint64, pid);
    QFETCH(int, ageMinutes);
    QFETCH(bool, sent);
    KESTRIN_STATION(station);
    queueSample(station, u"4711"_s);
    queueSample(station, u"4712"_s);
    station.db().exec(u"INSERT INTO KESTRIN_EXPORTS (SAMPLE_ID, HOST, PID, CLAIMED_AT) VALUES (?, ?, ?, ?)"_s,
                      {u"4711"_s, host, pid, QDateTime::currentDateTime().addSecs(-60 * ageMinutes)});
    QCOMPARE(ExportPendingResults(station.ctx()).handled, sent ? 2 : 1);
    QCOMPARE(exportFiles(station).contains(u"ORU_4711.hl7"_s), sent);
    QCOMPARE(queueRows(station), sent ? QStringList() : QStringList{u"4711/1"_s});
    QCOMPARE(station.column(u"SELECT SAMPLE_ID FROM KESTRIN_EXPORTS"_s), sent ? QStringList() : QStringList{u"4711"_s});
}

void TestExportCycle::folderThatTakesNoFile_data()
{
    QTest::addColumn<bool>("temporaryOnDisk");
    QTest::addColumn<bool>("exportOnDisk");
    QTest::addColumn<bool>("readOnly"); // else full
    QTest::newRow("temporary folder full") << true << false << false;
    QTest::newRow("export folder full") << false << true << false;
    QTest::newRow("both on one full disk") << true << true << false;
    QTest::newRow("temporary folder read-only") << true << false << true;
    QTest::newRow("export folder read-only") << false << true << true;
}

// A full or read-only folder publishes nothing (no empty file), keeps every sample queued and
// says so once; when it takes files again, that is said once and every result goes out once.
void TestExportCycle::folderThatTakesNoFile()
{
    QFETCH(bool, temporaryOnDisk);
    QFETCH(bool, exportOnDisk);
    QFETCH(bool, readOnly);
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    SmallDisk disk(station.scratch.folder() + u"/disk"_s);
    if (!disk.mounted())
        QSKIP("Mounting a small tmpfs needs root (CI runs as root); fullDeviceRefusesTheFile tries the writer");
    if (temporaryOnDisk)
        station.config.TempExportPath = station.scratch.folder() + u"/disk/tmp/"_s;
    if (exportOnDisk)
        station.config.ExportPath = station.scratch.folder() + u"/disk/out/"_s;
    QVERIFY(QDir().mkpath(station.config.TempExportPath) && QDir().mkpath(station.config.ExportPath));
    const QStringList ids = queueSamples(station, 30);
    if (readOnly)
        QVERIFY(disk.remount(true, nullptr));
    else
        disk.fill();

    const qsizetype before = station.logLines().size();
    for (int cycle = 0; cycle < 3; ++cycle) {
        const CycleOutcome outcome = ExportPendingResults(station.ctx());
        QCOMPARE(outcome.handled, 0);
        QCOMPARE(outcome.failed, ids.size());
    }
    QVERIFY(exportFiles(station).isEmpty());
    QVERIFY(test::FileNames(station.config.TempExportPath).isEmpty());
    QCOMPARE(queueRows(station).size(), ids.size());
    const QStringList said = station.logLines().mid(before);
    QCOMPARE(said.size(), 1);
    QVERIFY(said.first().startsWith(u"Monitor: "_s));
    QVERIFY(said.first().contains(temporaryOnDisk ? station.config.TempExportPath : station.config.ExportPath));

    QVERIFY(disk.remount(false, "size=4m"));
    const qsizetype mended = station.logLines().size();
    QCOMPARE(ExportPendingResults(station.ctx()).handled, ids.size());
    QCOMPARE(station.logLines().mid(mended).filter(u"takes result files again"_s).size(), 1);
    QCOMPARE(exportFiles(station).size(), ids.size());
    for (const QString& id : ids) {
        const QString file = exported(station, u"ORU_"_s + id + u".hl7"_s);
        QVERIFY2(file.startsWith(u"MSH|"_s) && file.endsWith(u"|||F\r\n"_s), qPrintable(id));
    }
    QVERIFY(queueRows(station).isEmpty());
    QCOMPARE(sentCounts(station).size(), ids.size());
}

// What a full disk does to the writer, on any machine: nothing is left, the reason is said.
void TestExportCycle::fullDeviceRefusesTheFile()
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"ORU_4711.hl7"_s);
    if (!QFileInfo::exists(u"/dev/full"_s) || !QFile::link(u"/dev/full"_s, path))
        QSKIP("No /dev/full on this machine");
    for (const bool sync : {false, true}) {
        QVERIFY2(!WriteWholeFile(path, QByteArray(300, 'x'), sync).isEmpty(), "a full device took the file");
        QVERIFY(!QFileInfo(path).isSymLink()); // what could not be written is gone
        QVERIFY(QFile::link(u"/dev/full"_s, path));
    }
}

void TestExportCycle::longSampleIdsGoOut_data()
{
    QTest::addColumn<QString>("sampleId");
    QTest::addColumn<bool>("cut");
    QTest::newRow("240 characters, work names longer") << QString(240, u'7') << false;
    QTest::newRow("300 characters") << QString(300, u'7') << true;
    QTest::newRow("200 characters of 400 bytes") << QString(200, u'\u00e4') << true;
}

// An ID too long for a file name is no folder's trouble: its name is cut short with the suffix
// of the real ID, and the samples after it go out too.
void TestExportCycle::longSampleIdsGoOut()
{
    QFETCH(QString, sampleId);
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    for (const QString& id : {sampleId, u"~Z"_s}) {
        station.db().exec(
            u"INSERT INTO RESULTS (SAMPLE_ID, PARAMETER_ID, RESULT, INTERPRETATION) VALUES (?, 1, '12', '')"_s, {id});
        station.db().exec(u"INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) VALUES (?, 1)"_s, {id});
    }
    QCOMPARE(ExportPendingResults(station.ctx()).handled, 2);
    QVERIFY(queueRows(station).isEmpty());
    QStringList files = exportFiles(station);
    QVERIFY(files.removeOne(u"ORU_~Z.hl7"_s));
    QCOMPARE(files.size(), 1);
    const QString name = files.first();
    QVERIFY(QFile::encodeName(name).size() <= 255);
    QFETCH(bool, cut);
    QCOMPARE(name.contains(u'~'), cut);
    QVERIFY(name.startsWith(u"ORU_"_s + sampleId.left(100)) && name.endsWith(u".hl7"_s));
    QCOMPARE(exported(station, name).section(u'|', 9, 9), sampleId);
}

void TestExportCycle::nothingPublishedThatCannotBeDequeued_data()
{
    QTest::addColumn<QString>("engine");
    // As a file the database cannot write (full, read-only, gone) would.
    QTest::newRow("sqlite: the deletion refused") << u"sqlite"_s;
    QTest::newRow("postgres: the rows locked by another program") << u"postgres"_s;
}

// The queue rows of a group are deleted before its files are published: when that cannot be
// done, no file goes out, no work file stays, and every sample stays queued and goes out once.
void TestExportCycle::nothingPublishedThatCannotBeDequeued()
{
    KESTRIN_STATION(station);
    const QStringList ids = queueSamples(station, 3);
    const auto other = station.scratch.connectAgain();
    if (station.scratch.engine() == u"sqlite") {
        station.db().exec(u"CREATE TRIGGER KEEP BEFORE DELETE ON REQ2SEND BEGIN SELECT RAISE(ABORT, 'kept'); END"_s);
    } else {
        other->begin();
        other->query(u"SELECT SAMPLE_ID FROM REQ2SEND FOR UPDATE"_s);
        station.db().exec(station.db().dialect().lockWait(100));
    }
    QVERIFY_THROWS_EXCEPTION(DbError, ExportPendingResults(station.ctx()));
    QVERIFY(exportFiles(station).isEmpty());
    QVERIFY(test::FileNames(station.config.TempExportPath).isEmpty());
    QCOMPARE(queueRows(station).size(), ids.size());

    if (station.scratch.engine() == u"sqlite")
        station.db().exec(u"DROP TRIGGER KEEP"_s);
    else
        other->rollback();
    QCOMPARE(ExportPendingResults(station.ctx()).handled, ids.size());
    QVERIFY(queueRows(station).isEmpty());
    for (const int times : sentCounts(station))
        QCOMPARE(times, 1);
}

// The embedded database takes the queue's deletions but not their commit (a full disk; here a
// reference that holds only once a gate is open): the group published is not published again
// while that lasts, and afterwards every other sample goes out, each once.
void TestExportCycle::uncommittedDequeueSendsNothingAgain()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    const QStringList ids = queueSamples(station, 30);
    Database& db = station.db();
    db.exec(u"PRAGMA foreign_keys = ON"_s);
    db.exec(u"CREATE TABLE GATE (OPEN TEXT PRIMARY KEY)"_s);
    db.exec(u"CREATE TABLE PASSED (OPEN TEXT REFERENCES GATE (OPEN) DEFERRABLE INITIALLY DEFERRED)"_s);
    db.exec(u"CREATE TRIGGER THROUGH_GATE AFTER DELETE ON REQ2SEND BEGIN INSERT INTO PASSED VALUES ('yes'); END"_s);
    ExportState state;
    for (int cycle = 0; cycle < 3; ++cycle)
        QVERIFY_THROWS_EXCEPTION(DbError, ExportPendingResults(station.ctx(), state));
    const QHash<QString, int> whileFull = sentCounts(station);
    QCOMPARE(whileFull.size(), ExportOptions{}.samplesPerCommit);

    db.exec(u"INSERT INTO GATE VALUES ('yes')"_s);
    QCOMPARE(ExportPendingResults(station.ctx(), state).handled, ids.size() - whileFull.size());
    const QHash<QString, int> sent = sentCounts(station);
    for (const QString& id : ids)
        QCOMPARE(sent.value(id), 1);
    QVERIFY(queueRows(station).isEmpty());
    QVERIFY(station.column(u"SELECT SAMPLE_ID FROM KESTRIN_EXPORTS"_s).isEmpty());
}

// A commit whose answer was lost may have gone through: of a sample published in an earlier
// cycle, only the very rows read are deleted, and a row queued since goes out.
void TestExportCycle::dequeueOfAnEarlierCycleKeepsWhatCameSince()
{
    test::LabStation station(u"sqlite"_s);
    station.seedTests();
    queueSample(station, u"4711"_s, {1});
    ExportState state{{QueuedSample{StoredKey(station.db(), u"4711"_s), {1, 8}}}};
    QCOMPARE(ExportPendingResults(station.ctx(), state).handled, 1);
    QVERIFY(queueRows(station).isEmpty());
    QVERIFY(state.publishedNotDequeued.isEmpty());
}

KESTRIN_TEST_MAIN(TestExportCycle)
#include "tst_exportcycle.moc"
