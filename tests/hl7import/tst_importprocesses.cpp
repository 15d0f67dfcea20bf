#include "LabStation.h"
#include "OrderBuilder.h"
#include "TestMain.h"
#include "labdb/Database.h"
#include "labdb/DialectFactory.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTemporaryDir>

#ifdef Q_OS_LINUX
#include <pwd.h>
#include <unistd.h>
#endif

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

QByteArray order(const QString& sample)
{
    return test::OrderBuilder().controlId(u"M"_s + sample).sample(sample).text().toLatin1();
}

QByteArray brokenOrder() { return test::OrderBuilder().patient(u"P9"_s, u"Meier"_s).text().toLatin1(); }

QString iniText(const QString& importPath)
{
    return u"engine=sqlite\ndatabase=lab.sqlite\nImportPath=%1\nExportPath=out\nTempExportPath=tmp\nComLogPath=log\n"
           u"ImportExtension=hl7\nImportMinAge=0\nshiftlen=8\nfirstshift=01.01.2019 06:00:00\n"_s.arg(importPath);
}

// Runs a program to its end; its exit code, or -1 when it could not run.
int run(const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, arguments);
    if (!process.waitForFinished(60000) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (output)
        *output = QString::fromLocal8Bit(process.readAll());
    return process.exitCode();
}

#ifdef Q_OS_LINUX
// A user of this machine for a test, made when missing; empty when none can be had.
QString testUser(const QString& name)
{
    if (!::getpwnam(name.toLatin1().constData()))
        run(u"useradd"_s, {u"--system"_s, u"--no-create-home"_s, u"--shell"_s, u"/usr/sbin/nologin"_s, name});
    return ::getpwnam(name.toLatin1().constData()) ? name : QString();
}

// Runs a program as another user, without the test's groups.
int runAs(const QString& user, const QString& program, const QStringList& arguments, QString* output = nullptr)
{
    return run(u"setpriv"_s,
               QStringList{u"--reuid="_s + user, u"--regid="_s + user, u"--clear-groups"_s, program} + arguments,
               output);
}

void giveTo(const QString& user, const QString& path)
{
    const passwd* owner = ::getpwnam(user.toLatin1().constData());
    QVERIFY(owner && ::chown(QFile::encodeName(path).constData(), owner->pw_uid, owner->pw_gid) == 0);
}
#endif

} // namespace

class TestImportProcesses : public QObject {
    Q_OBJECT
private slots:
    void twoProcessesShareOneFolder();
    void killedProcessLosesNoFile();
    void killsAtRandomStoreEveryOrderOnce();
    void stationsShareOneServerDatabase_data();
    void stationsShareOneServerDatabase();
    void checkAgreesWithTheCycle_data();
    void checkAgreesWithTheCycle();
    void senderReachesNothingOfTheService_data();
    void senderReachesNothingOfTheService();
};

void TestImportProcesses::checkAgreesWithTheCycle_data()
{
    QTest::addColumn<int>("bytes"); // of the import folder's path
    QTest::newRow("4000 bytes") << 4000;
    QTest::newRow("4090 bytes") << 4090;
}

// An import folder whose path leaves no room for the names the cycle makes below it: "/check"
// says ready only where the cycle takes and files every order, and here both can.
void TestImportProcesses::checkAgreesWithTheCycle()
{
#ifdef Q_OS_WIN
    QSKIP("paths of thousands of bytes are tried on Unix");
#endif
    QFETCH(int, bytes);
    QTemporaryDir dir;
    QString in = dir.path();
    while (in.size() < bytes)
        in += u'/' + QString(qMin(200, bytes - qsizetype(in.size()) - 1), u'd');
    QVERIFY(QDir().mkpath(in));
    QVERIFY(QDir().mkpath(dir.filePath(u"out"_s)));
    test::WriteFile(dir.filePath(u"lab.ini"_s), iniText(in).toUtf8());
    QCOMPARE(run(test::KestrinProgram(), {u"/ini="_s + dir.filePath(u"lab.ini"_s), u"/initdb"_s}), 0);
    // Below the folder only relative names stay within the longest path the system takes.
    const QString home = QDir::currentPath();
    QVERIFY(QDir::setCurrent(in));
    const QString name = QString(116, u'a') + u".hl7"_s; // a sender's long name, its claim longer still
    test::WriteFile(name, order(u"S1"_s));
    test::WriteFile(u"b.hl7"_s, brokenOrder());
    QString said;
    const int check = run(test::KestrinProgram(), {u"/ini="_s + dir.filePath(u"lab.ini"_s), u"/check"_s}, &said);
    const int cycle = run(test::KestrinProgram(), {u"/ini="_s + dir.filePath(u"lab.ini"_s), u"/cycle=import"_s});
    const QStringList done = test::FileNames(u"Done"_s);
    const QStringList failed = test::FileNames(u"EinleseFehler"_s);
    const QStringList left = test::FileNames(u"."_s);
    // What lies beyond the longest path cannot be removed with the temporary folder.
    for (const QString& folder : {u"Done"_s, u"EinleseFehler"_s, u"."_s}) {
        for (const QString& file : test::FileNames(folder))
            QFile::remove(folder + u'/' + file);
        QDir().rmdir(folder);
    }
    QDir::setCurrent(home);
    QVERIFY2(check == 0, qPrintable(said));
    QCOMPARE(cycle, 1); // the broken order failed and is kept
    QCOMPARE(done, QStringList{name});
    QCOMPARE(failed, QStringList{u"b.hl7"_s});
    QCOMPARE(left, QStringList());
}

void TestImportProcesses::senderReachesNothingOfTheService_data()
{
    QTest::addColumn<QString>("attack");
    QTest::addColumn<int>("exitCode");
    QTest::newRow("an order file linked to a private file") << u"link"_s << 1;
    QTest::newRow("Done and EinleseFehler linked into a private folder") << u"folders"_s << 2;
}

// The service's user runs the import; the sender, another user, may write the import folder
// only. Whatever the sender puts there, no file of the service's own is read or written.
void TestImportProcesses::senderReachesNothingOfTheService()
{
#ifndef Q_OS_LINUX
    QSKIP("users and links are tried on Linux");
#else
    QFETCH(QString, attack);
    QFETCH(int, exitCode);
    if (::geteuid() != 0)
        QSKIP("two users are made and used only by root");
    if (QStandardPaths::findExecutable(u"setpriv"_s).isEmpty())
        QSKIP("setpriv is missing");
    const QString service = testUser(u"kestrintestsvc"_s);
    const QString sender = testUser(u"kestrintestsnd"_s);
    if (service.isEmpty() || sender.isEmpty())
        QSKIP("the test users cannot be made (useradd)");

    QTemporaryDir dir;
    QFile::setPermissions(dir.path(),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadOther | QFile::ExeOther |
                              QFile::ReadGroup | QFile::ExeGroup);
    const QString program = dir.filePath(u"kestrin"_s);
    QVERIFY(QFile::copy(test::KestrinProgram(), program));
    const QString station = dir.filePath(u"station"_s);
    const QString in = station + u"/in"_s;
    const QString secret = station + u"/private"_s;
    for (const QString& folder : {station, in, secret, QString(station + u"/out"_s)}) {
        QVERIFY(QDir().mkpath(folder));
        giveTo(service, folder);
    }
    QFile::setPermissions(in, QFile::Permissions(0x7777)); // the sender writes here
    QFile::setPermissions(secret, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    test::WriteFile(secret + u"/patient.hl7"_s, order(u"SECRET"_s));
    QFile::setPermissions(secret + u"/patient.hl7"_s, QFile::ReadOwner | QFile::WriteOwner);
    giveTo(service, secret + u"/patient.hl7"_s);
    test::WriteFile(station + u"/lab.ini"_s, iniText(u"in"_s).toUtf8());
    const QStringList ini{u"/ini="_s + station + u"/lab.ini"_s};
    QCOMPARE(runAs(service, program, ini + QStringList{u"/initdb"_s}), 0);
    // A first cycle makes Done and EinleseFehler, the service's own.
    test::WriteFile(dir.filePath(u"broken.hl7"_s), brokenOrder());
    test::WriteFile(dir.filePath(u"order.hl7"_s), order(u"S1"_s));
    QCOMPARE(runAs(sender, u"cp"_s, {dir.filePath(u"broken.hl7"_s), in + u"/first.hl7"_s}), 0);
    QCOMPARE(runAs(service, program, ini + QStringList{u"/cycle=import"_s}), 1);

    const auto asSender = [&](const QString& command) { return runAs(sender, u"sh"_s, {u"-c"_s, command}); };
    if (attack == u"link") {
        QCOMPARE(asSender(u"ln -s '%1/patient.hl7' '%2/stolen.hl7'"_s.arg(secret, in)), 0);
    } else {
        QCOMPARE(asSender(u"cd '%1' && mv Done Done.old && mv EinleseFehler Fehler.old && ln -s '%2' Done && "
                          u"ln -s '%2' EinleseFehler"_s.arg(in, secret)),
                 0);
        QCOMPARE(asSender(u"cp '%1' '%2/x.hl7' && cp '%3' '%2/y.hl7'"_s.arg(dir.filePath(u"order.hl7"_s), in,
                                                                            dir.filePath(u"broken.hl7"_s))),
                 0);
    }
    QString said;
    QCOMPARE(runAs(service, program, ini + QStringList{u"/cycle=import"_s}, &said), exitCode);

    QCOMPARE(test::FileNames(secret), QStringList{u"patient.hl7"_s});
    ConnectionParameters p;
    p.databaseName = station + u"/lab.sqlite"_s;
    Database db(MakeDialect(Engine::Sqlite), p);
    db.open();
    QVERIFY(db.query(u"SELECT SAMPLE_ID FROM SAMPLE_BASE WHERE SAMPLE_ID = ?"_s, {u"SECRET"_s}).isEmpty());
    if (attack == u"link") {
        QVERIFY(QFileInfo(in + u"/EinleseFehler/stolen.hl7"_s).isSymLink());
    } else {
        QCOMPARE(QDir(in).entryList({u"*.hl7"_s}, QDir::Files), (QStringList{u"x.hl7"_s, u"y.hl7"_s}));
        QVERIFY2(said.contains(u"it is a link, not a folder"_s), qPrintable(said));
    }
#endif
}

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
// and the same new patients (with samples of their own), and samples without patient ID, shared
// and their own, each with a patient of its own.
void TestImportProcesses::stationsShareOneServerDatabase()
{
    QFETCH(int, stations);
    constexpr int kShared = 100; // samples every station is given
    constexpr int kOwn = 50;     // samples of one station, for patients and customers all share
    constexpr int kUnnamed = 20; // samples without PID-3, shared, and again each station's own
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
        const auto unnamed = [&](const QString& name, const QString& sample) {
            drop(name,
                 test::OrderBuilder()
                     .controlId(u"M%1"_s.arg(k) + name)
                     .sample(sample)
                     .customer(u"SHARED0"_s)
                     .patient(u""_s));
        };
        for (int i = 0; i < kUnnamed; ++i) {
            unnamed(u"U%1"_s.arg(i), u"U%1"_s.arg(i));
            unnamed(u"V%1"_s.arg(i), u"V%1-%2"_s.arg(k).arg(i));
        }
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
        QCOMPARE(test::FileNames(in + u"/Done"_s).size(), kShared + kOwn + 2 * kUnnamed);
        QCOMPARE(test::FileNames(in + u"/EinleseFehler"_s), QStringList());
    }
    const auto count = [&](const QString& sql) { return lab.db().first(sql)->at(0).toInt(); };
    const int orders = stations * (kShared + kOwn + 2 * kUnnamed);
    QCOMPARE(count(u"SELECT COUNT(*) FROM HL7_STRINGS WHERE STRING_DEF = 'MSH'"_s), orders);
    QCOMPARE(count(u"SELECT COUNT(DISTINCT ORDER_ID) FROM HL7_STRINGS"_s), orders);
    QCOMPARE(count(u"SELECT COUNT(*) FROM REQUEST"_s), stations * (kShared + kOwn));
    const int unnamedSamples = kUnnamed + stations * kUnnamed;
    QCOMPARE(count(u"SELECT COUNT(*) FROM SAMPLE_BASE"_s), kShared + stations * kOwn + unnamedSamples);
    QCOMPARE(count(u"SELECT COUNT(*) FROM CUSTOMER"_s), stations * 10 + 10);
    QCOMPARE(count(u"SELECT COUNT(*) FROM SAMPLE_BASE s WHERE NOT EXISTS "
                   u"(SELECT 1 FROM CUSTOMER c WHERE c.CUST_ID = s.CUST_ID)"_s),
             0);
    QCOMPARE(count(u"SELECT COUNT(*) FROM SAMPLE_BASE s WHERE NOT EXISTS "
                   u"(SELECT 1 FROM PATIENTS p WHERE p.P_ID = s.P_ID AND p.SI_ID = s.SI_ID)"_s),
             0);
    QCOMPARE(count(u"SELECT COUNT(*) FROM PATIENTS WHERE SI_ID LIKE 'P%'"_s), kShared + kOwn);
    QCOMPARE(count(u"SELECT COUNT(DISTINCT SI_ID) FROM PATIENTS WHERE SI_ID LIKE 'P%'"_s), kShared + kOwn);
    QCOMPARE(count(u"SELECT COUNT(*) FROM PATIENTS WHERE SI_ID = ''"_s), unnamedSamples);
    QCOMPARE(count(u"SELECT COUNT(DISTINCT P_ID) FROM SAMPLE_BASE WHERE SI_ID = ''"_s), unnamedSamples);
}

KESTRIN_TEST_MAIN(TestImportProcesses)
#include "tst_importprocesses.moc"
