#include "LabStation.h"
#include "OrderBuilder.h"
#include "TestMain.h"
#include "labdb/Database.h"
#include "labdb/DialectFactory.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

// A folder shared by several Kestrin processes: one INI file, one database, one import folder.
struct SharedFolder {
    SharedFolder()
    {
        test::WriteFile(ini(),
                        "engine=sqlite\ndatabase=lab.sqlite\nImportPath=in\nExportPath=out\n"
                        "TempExportPath=tmp\nComLogPath=log\nImportExtension=hl7\nImportMinAge=0\n"
                        "shiftlen=8\nfirstshift=01.01.2019 06:00:00\nCancelSign=CA\n");
        QProcess init;
        init.start(test::KestrinProgram(), {u"/ini="_s + ini(), u"/initdb"_s});
        init.waitForFinished(60000);
    }
    QString ini() const { return dir.filePath(u"lab.ini"_s); }
    QString in() const { return dir.filePath(u"in"_s); }

    void drop(int count, int first = 0)
    {
        for (int i = first; i < first + count; ++i) {
            const QString sample = u"S%1"_s.arg(i, 5, 10, QChar(u'0'));
            const QString text = test::OrderBuilder().controlId(u"M"_s + sample).sample(sample).text();
            test::WriteFile(in() + u'/' + sample + u".hl7"_s, text.toLatin1());
        }
    }

    QProcess* start(const QStringList& extra = {})
    {
        auto* process = new QProcess;
        process->start(test::KestrinProgram(), QStringList{u"/ini="_s + ini(), u"/cycle=import"_s} + extra);
        return process;
    }

    QStringList orderFilesLeft() const { return QDir(in()).entryList(QDir::Files | QDir::Hidden); }
    QStringList done() const { return QDir(in() + u"/Done"_s).entryList(QDir::Files); }
    QStringList failed() const { return QDir(in() + u"/EinleseFehler"_s).entryList(QDir::Files); }

    QTemporaryDir dir;
};

} // namespace

class TestImportProcesses : public QObject {
    Q_OBJECT
private slots:
    void twoProcessesShareOneFolder();
    void killedProcessLosesNoFile();
    void killsAtRandomStoreEveryOrderOnce();
    void stationsShareOneServerDatabase_data();
    void stationsShareOneServerDatabase();
};

void TestImportProcesses::twoProcessesShareOneFolder()
{
    SharedFolder shared;
    constexpr int kFiles = 1000;
    shared.drop(kFiles);
    // Two stations: one station starts once per log folder.
    std::unique_ptr<QProcess> a(shared.start({u"/id=A"_s}));
    std::unique_ptr<QProcess> b(shared.start({u"/id=B"_s}));
    QVERIFY(a->waitForFinished(120000));
    QVERIFY(b->waitForFinished(120000));
    QVERIFY2(a->exitCode() == 0, a->readAllStandardError().constData());
    QVERIFY2(b->exitCode() == 0, b->readAllStandardError().constData());
    QVERIFY(shared.orderFilesLeft().isEmpty());
    QCOMPARE(shared.done().size(), kFiles);
    for (const QString& name : shared.done())
        QVERIFY2(name.startsWith(u'S'), qPrintable(name)); // no duplicate got a prefix

    ConnectionParameters p;
    p.databaseName = shared.dir.filePath(u"lab.sqlite"_s);
    Database db(MakeDialect(Engine::Sqlite), p);
    db.open();
    // Each message was read by exactly one of the two.
    QCOMPARE(db.query(u"SELECT ORDER_ID FROM HL7_STRINGS WHERE STRING_DEF = ?"_s, {u"MSH"_s}).size(), kFiles);
    QCOMPARE(db.query(u"SELECT DISTINCT ORDER_ID FROM HL7_STRINGS"_s).size(), kFiles);
}

void TestImportProcesses::killedProcessLosesNoFile()
{
    SharedFolder shared;
    constexpr int kFiles = 1500;
    shared.drop(kFiles);
    std::unique_ptr<QProcess> victim(shared.start());
    QTRY_VERIFY_WITH_TIMEOUT(shared.done().size() > 50, 60000);
    victim->kill();
    victim->waitForFinished();
    const qsizetype doneAtKill = shared.done().size();
    QVERIFY2(doneAtKill < kFiles, "the process finished before it could be killed");

    std::unique_ptr<QProcess> survivor(shared.start());
    QVERIFY(survivor->waitForFinished(120000));
    QVERIFY2(survivor->exitCode() == 0, survivor->readAllStandardError().constData());
    QVERIFY2(shared.orderFilesLeft().isEmpty(), qPrintable(shared.orderFilesLeft().join(u", ")));
    QCOMPARE(shared.done().size() + shared.failed().size(), kFiles);
}

// Kills at random moments (while claiming, storing, committing, filing): afterwards every
// order is stored exactly once and every file is in "Done" or "EinleseFehler".
void TestImportProcesses::killsAtRandomStoreEveryOrderOnce()
{
    SharedFolder shared;
    constexpr int kBatch = 600;
    constexpr int kKills = 50;
    int dropped = 0;
    const quint32 seed = qEnvironmentVariableIsSet("KESTRIN_KILL_SEED")
        ? quint32(qEnvironmentVariableIntValue("KESTRIN_KILL_SEED"))
        : QRandomGenerator::global()->generate();
    qInfo("kill seed %u (KESTRIN_KILL_SEED repeats it)", seed);
    QRandomGenerator random(seed);
    for (int kills = 0; kills < kKills;) {
        // Always work left to interrupt.
        if (shared.orderFilesLeft().size() < kBatch / 3) {
            shared.drop(kBatch, dropped);
            dropped += kBatch;
        }
        std::unique_ptr<QProcess> victim(shared.start());
        QVERIFY(victim->waitForStarted());
        QTest::qWait(int(random.bounded(30, 300)));
        if (victim->state() == QProcess::Running) {
            victim->kill();
            ++kills;
        }
        victim->waitForFinished();
    }
    std::unique_ptr<QProcess> survivor(shared.start());
    QVERIFY(survivor->waitForFinished(120000));
    QVERIFY2(survivor->exitCode() == 0, survivor->readAllStandardError().constData());
    QVERIFY2(shared.orderFilesLeft().isEmpty(), qPrintable(shared.orderFilesLeft().join(u", ")));
    QCOMPARE(shared.done().size(), dropped);
    QVERIFY(shared.failed().isEmpty());

    ConnectionParameters p;
    p.databaseName = shared.dir.filePath(u"lab.sqlite"_s);
    Database db(MakeDialect(Engine::Sqlite), p);
    db.open();
    // Each order stored exactly once, however the kills fell.
    QCOMPARE(db.query(u"SELECT ORDER_ID FROM HL7_STRINGS WHERE STRING_DEF = ?"_s, {u"MSH"_s}).size(), dropped);
    QCOMPARE(db.query(u"SELECT DISTINCT ORDER_ID FROM HL7_STRINGS"_s).size(), dropped);
}

void TestImportProcesses::stationsShareOneServerDatabase_data()
{
    QTest::addColumn<int>("stations");
    QTest::newRow("two") << 2;
    QTest::newRow("three") << 3;
}

// Import stations with folders of their own on one PostgreSQL database, handed at the same
// moment the same samples (each station with customers of its own), the same new customers
// and the same new patients (with samples of their own).
void TestImportProcesses::stationsShareOneServerDatabase()
{
    QFETCH(int, stations);
    constexpr int kShared = 100; // samples every station is given
    constexpr int kOwn = 50;     // samples of one station, for patients and customers all share
    test::LabStation lab(u"postgres"_s);
    KESTRIN_REQUIRE(lab.scratch);
    lab.seedTests();
    QTemporaryDir dir;
    std::vector<std::unique_ptr<QProcess>> running;
    for (int k = 0; k < stations; ++k) {
        const QString folder = dir.filePath(u"station%1"_s.arg(k));
        const QString ini = folder + u"/lab.ini"_s;
        test::WriteFile(ini,
                        lab.scratch.iniKeys() +
                            "ImportPath=in\nExportPath=out\nTempExportPath=tmp\nComLogPath=log\n"
                            "ImportExtension=hl7\nImportMinAge=0\nshiftlen=8\nfirstshift=01.01.2019 06:00:00\n");
        const auto drop = [&](const QString& name, const test::OrderBuilder& order) {
            test::WriteFile(folder + u"/in/"_s + name + u".hl7"_s, order.text().toLatin1());
        };
        for (int i = 0; i < kShared; ++i)
            drop(u"S%1"_s.arg(i),
                 test::OrderBuilder()
                     .controlId(u"M%1S%2"_s.arg(k).arg(i))
                     .sample(u"S%1"_s.arg(i))
                     .customer(u"C%1-%2"_s.arg(k).arg(i % 10))
                     .patient(u"PS%1"_s.arg(i))
                     .test(u"AMP"_s));
        for (int i = 0; i < kOwn; ++i)
            drop(u"K%1"_s.arg(i),
                 test::OrderBuilder()
                     .controlId(u"M%1K%2"_s.arg(k).arg(i))
                     .sample(u"K%1-%2"_s.arg(k).arg(i))
                     .customer(u"SHARED%1"_s.arg(i % 10))
                     .patient(u"PN%1"_s.arg(i))
                     .test(u"AMP"_s));
        auto& process = running.emplace_back(std::make_unique<QProcess>());
        process->setProcessEnvironment(lab.scratch.processEnvironment());
        process->start(test::KestrinProgram(), {u"/ini="_s + ini, u"/cycle=import"_s});
    }
    for (int k = 0; k < stations; ++k) {
        QProcess& process = *running[k];
        QVERIFY(process.waitForFinished(120000));
        QVERIFY2(process.exitCode() == 0, process.readAllStandardError().constData());
        const QString in = dir.filePath(u"station%1/in"_s.arg(k));
        QCOMPARE(QDir(in).entryList(QDir::Files | QDir::Hidden), QStringList());
        QCOMPARE(test::FileNames(in + u"/Done"_s).size(), kShared + kOwn);
        QCOMPARE(test::FileNames(in + u"/EinleseFehler"_s), QStringList());
    }
    const auto count = [&](const QString& sql) { return lab.db().first(sql)->at(0).toInt(); };
    const int orders = stations * (kShared + kOwn);
    QCOMPARE(count(u"SELECT COUNT(*) FROM HL7_STRINGS WHERE STRING_DEF = 'MSH'"_s), orders);
    QCOMPARE(count(u"SELECT COUNT(DISTINCT ORDER_ID) FROM HL7_STRINGS"_s), orders);
    QCOMPARE(count(u"SELECT COUNT(*) FROM REQUEST"_s), orders);
    QCOMPARE(count(u"SELECT COUNT(*) FROM SAMPLE_BASE"_s), kShared + stations * kOwn);
    QCOMPARE(count(u"SELECT COUNT(*) FROM CUSTOMER"_s), stations * 10 + 10);
    QCOMPARE(count(u"SELECT COUNT(*) FROM SAMPLE_BASE s WHERE NOT EXISTS "
                   u"(SELECT 1 FROM CUSTOMER c WHERE c.CUST_ID = s.CUST_ID)"_s),
             0);
    QCOMPARE(count(u"SELECT COUNT(*) FROM SAMPLE_BASE s WHERE NOT EXISTS "
                   u"(SELECT 1 FROM PATIENTS p WHERE p.P_ID = s.P_ID AND p.SI_ID = s.SI_ID)"_s),
             0);
    QCOMPARE(count(u"SELECT COUNT(*) FROM PATIENTS WHERE SI_ID LIKE 'P%'"_s), kShared + kOwn);
    QCOMPARE(count(u"SELECT COUNT(DISTINCT SI_ID) FROM PATIENTS WHERE SI_ID LIKE 'P%'"_s), kShared + kOwn);
}

KESTRIN_TEST_MAIN(TestImportProcesses)
#include "tst_importprocesses.moc"
