#include "ScratchDatabase.h"
#include "TestMain.h"
#include "labdb/DialectFactory.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>

#ifdef Q_OS_LINUX
#include <csignal>
#include <sys/stat.h>
#include <unistd.h>
#endif

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

// Samples with two results each, queued for export.
void queueSamples(Database& db, int count)
{
    const QList<QVariantList> tests{{1, u"Amphetamines"_s, u"ng/mL"_s, u"500"_s, u"AMP"_s, 2},
                                    {8, u"Cannabinoids"_s, u"ng/mL"_s, u"50"_s, u"THC"_s, 1}};
    QList<QVariantList> samples, results, queue;
    for (int i = 0; i < count; ++i) {
        const QString id = u"S%1"_s.arg(i, 4, 10, QChar(u'0'));
        samples << QVariantList{id, QString(u"M"_s + id), QDateTime(QDate(2019, 1, 20), QTime(14, 5))};
        for (const int parameter : {1, 8}) {
            results << QVariantList{id, parameter, u"12"_s, u"negative"_s};
            queue << QVariantList{id, parameter};
        }
    }
    Transaction transaction(db);
    db.insertRows(u"TEST_DEF"_s,
                  {u"PARAMETER_ID"_s, u"LONG"_s, u"UNIT"_s, u"CUTOFF"_s, u"IMP_CODE_LDT"_s, u"PRINT_POS"_s}, tests);
    db.insertRows(u"SAMPLE_BASE"_s, {u"SAMPLE_ID"_s, u"STATUS_1"_s, u"LAST_CHANGE_DAT"_s}, samples);
    db.insertRows(u"RESULTS"_s, {u"SAMPLE_ID"_s, u"PARAMETER_ID"_s, u"RESULT"_s, u"INTERPRETATION"_s}, results);
    db.insertRows(u"REQ2SEND"_s, {u"SAMPLE_ID"_s, u"PARAMETER_ID"_s}, queue);
    transaction.commit();
}

const QByteArray kExportIni = "ImportPath=in\nExportPath=out\nTempExportPath=tmp\nComLogPath=log\nImportExtension=hl7\n"
                              "ExportLeader=ORU_\nExportExtension=.hl7\nshiftlen=8\nfirstshift=01.01.2019 06:00:00\n";

int run(const QString& program, const QStringList& arguments, QString* err = nullptr)
{
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForFinished(60000))
        return -1;
    if (err)
        *err = QString::fromLocal8Bit(process.readAllStandardError());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

// A laboratory table as an older program made it: its ID columns without a declared type.
void makeUntyped(Database& db, const QString& table, const QStringList& columns)
{
    db.exec(u"DROP TABLE "_s + table);
    db.exec(u"CREATE TABLE %1 (%2)"_s.arg(table, columns.join(u", ")));
}

#ifdef Q_OS_LINUX
// Runs a program as another user (setpriv execs it: its PID and exit status are the program's).
QStringList asUser(const QString& user, const QString& program, const QStringList& arguments)
{
    return QStringList{u"--reuid="_s + user, u"--regid="_s + user, u"--init-groups"_s, program} + arguments;
}
#endif

} // namespace

class TestExportProcesses : public QObject {
    Q_OBJECT
private slots:
    void exportersOnOneDatabaseSendEachSampleOnce();
    void sampleIdsInEveryStoredForm_data();
    void sampleIdsInEveryStoredForm();
    void linksPlantedInTheExportFolderAreNotFollowed();
};

// Several exporters (the service, MGC stations) on one database: each sample goes out once.
void TestExportProcesses::exportersOnOneDatabaseSendEachSampleOnce()
{
    test::ServerDatabase server;
    KESTRIN_REQUIRE(server);
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"lab.ini"_s);
    test::WriteFile(ini, server.iniLines() + kExportIni);
    QVERIFY(QDir(dir.path()).mkpath(u"out"_s));
    QProcess init;
    init.start(test::KestrinProgram(), {u"/ini="_s + ini, u"/initdb"_s});
    QVERIFY(init.waitForFinished(60000));
    QVERIFY2(init.exitCode() == 0, init.readAllStandardError().constData());
    constexpr int kSamples = 1000;
    {
        const auto db = server.connect();
        queueSamples(*db, kSamples);
    }

    std::vector<std::unique_ptr<QProcess>> exporters;
    for (int i = 0; i < 2; ++i) {
        exporters.push_back(std::make_unique<QProcess>());
        // Two stations of their own, as two machines beside two analysers would be.
        exporters.back()->start(test::KestrinProgram(),
                                {u"/ini="_s + ini, u"/cycle=export"_s, u"/id=E%1"_s.arg(i + 1)});
    }
    for (const auto& exporter : exporters) {
        QVERIFY(exporter->waitForFinished(60000));
        QVERIFY2(exporter->exitCode() == 0, exporter->readAllStandardError().constData());
    }

    QCOMPARE(test::FileNames(dir.filePath(u"out"_s)).size(), kSamples);
    QHash<QString, int> published;
    const QString mark = u"Export abgeschlossen f\u00fcr Probe: "_s;
    for (const QString& name : test::FileNames(dir.filePath(u"log"_s))) {
        const QString log = QString::fromLatin1(test::ReadFile(dir.filePath(u"log/"_s + name)));
        for (const QString& line : log.split(u"\r\n"_s).filter(mark))
            ++published[line.mid(line.indexOf(mark) + mark.size()).section(u'/', 0, 0)];
    }
    QCOMPARE(published.size(), kSamples);
    for (auto it = published.cbegin(); it != published.cend(); ++it)
        QVERIFY2(it.value() == 1, qPrintable(u"%1 published %2 times"_s.arg(it.key()).arg(it.value())));
    const auto db = server.connect();
    QVERIFY(db->query(u"SELECT SAMPLE_ID FROM REQ2SEND"_s).isEmpty());
    QVERIFY(db->query(u"SELECT SAMPLE_ID FROM KESTRIN_EXPORTS"_s).isEmpty());
}

void TestExportProcesses::sampleIdsInEveryStoredForm_data()
{
    QTest::addColumn<bool>("untyped");
    QTest::addColumn<QVariant>("queued");   // REQ2SEND.SAMPLE_ID
    QTest::addColumn<QVariant>("kept");     // SAMPLE_ID in SAMPLE_BASE, RESULTS, REQUEST
    QTest::addColumn<QVariant>("orderKey"); // SAMPLE_BASE.STATUS_1
    QTest::addColumn<QVariant>("archived"); // HL7_STRINGS.ORDER_ID
    const QVariant text = u"4711"_s, number = 4711LL, bytes = QByteArray("4711");
    const QVariant key = u"881"_s, keyNumber = 881LL, keyBytes = QByteArray("881");
    QTest::newRow("text in VARCHAR") << false << text << text << key << key;
    QTest::newRow("number in untyped columns") << true << number << number << keyNumber << keyNumber;
    QTest::newRow("text in untyped columns") << true << text << text << key << key;
    QTest::newRow("bytes in untyped columns") << true << bytes << bytes << keyBytes << keyBytes;
    QTest::newRow("queued as a number, kept as text") << true << number << text << key << key;
    QTest::newRow("queued as text, kept as a number") << true << text << number << key << key;
    QTest::newRow("queued as bytes, kept as text") << true << bytes << text << key << key;
    QTest::newRow("order key a number, archived as text") << true << text << text << keyNumber << key;
    QTest::newRow("order key text, archived as a number") << true << text << text << key << keyNumber;
}

// An older database may hold a sample's ID, and its order's key, as a number or as bytes in
// columns without a declared type, one table one way and the next another: each query of the
// sample finds its rows, and the file that goes out holds them all.
void TestExportProcesses::sampleIdsInEveryStoredForm()
{
    QFETCH(bool, untyped);
    QFETCH(QVariant, queued);
    QFETCH(QVariant, kept);
    QFETCH(QVariant, orderKey);
    QFETCH(QVariant, archived);
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"lab.ini"_s);
    test::WriteFile(ini, "engine=sqlite\ndatabase=lab.sqlite\n" + kExportIni);
    QVERIFY(QDir(dir.path()).mkpath(u"out"_s));
    QCOMPARE(run(test::KestrinProgram(), {u"/ini="_s + ini, u"/initdb"_s}), 0);
    {
        ConnectionParameters p;
        p.databaseName = dir.filePath(u"lab.sqlite"_s);
        Database db(MakeDialect(Engine::Sqlite), p);
        db.open();
        if (untyped) {
            makeUntyped(db, u"SAMPLE_BASE"_s,
                        {u"SAMPLE_ID"_s, u"STATUS_1"_s, u"LAST_CHANGE_DAT"_s, u"COMMENT_COLL"_s, u"COMMENT_COM"_s,
                         u"COMMENT_D_M"_s});
            makeUntyped(db, u"RESULTS"_s, {u"SAMPLE_ID"_s, u"PARAMETER_ID"_s, u"RESULT"_s, u"INTERPRETATION"_s});
            makeUntyped(db, u"REQUEST"_s, {u"SAMPLE_ID"_s, u"PARAMETER_ID"_s});
            makeUntyped(db, u"REQ2SEND"_s, {u"SAMPLE_ID"_s, u"PARAMETER_ID"_s});
            makeUntyped(db, u"HL7_STRINGS"_s, {u"ORDER_ID"_s, u"STRING_DEF"_s, u"STRING_TEXT"_s, u"TIME_STAMP"_s});
        }
        db.exec(u"INSERT INTO TEST_DEF (PARAMETER_ID, IMP_CODE_LDT, LONG, PRINT_POS) VALUES (1, 'AMP', 'Amphetamines', "
                u"2), (8, 'THC', 'Cannabinoids', 1)"_s);
        db.exec(u"INSERT INTO SAMPLE_BASE (SAMPLE_ID, STATUS_1, LAST_CHANGE_DAT, COMMENT_COM) VALUES (?, ?, ?, ?)"_s,
                {kept, orderKey, u"2019-01-20 14:05:00"_s, u"seen"_s});
        db.exec(u"INSERT INTO HL7_STRINGS (ORDER_ID, STRING_DEF, STRING_TEXT, TIME_STAMP) VALUES (?, 'PID', ?, ?)"_s,
                {archived, u"PID|1||P1||Meier^Anna"_s, u"2019-01-20 14:00:00"_s});
        db.exec(
            u"INSERT INTO RESULTS (SAMPLE_ID, PARAMETER_ID, RESULT, INTERPRETATION) VALUES (?, 8, '74', 'positive')"_s,
            {kept});
        db.exec(u"INSERT INTO REQUEST (SAMPLE_ID, PARAMETER_ID) VALUES (?, 1)"_s, {kept});
        db.exec(u"INSERT INTO REQ2SEND (SAMPLE_ID, PARAMETER_ID) VALUES (?, 8)"_s, {queued});
    }
    QString err;
    QCOMPARE(run(test::KestrinProgram(), {u"/ini="_s + ini, u"/cycle=export"_s}, &err), 0);
    QCOMPARE(test::FileNames(dir.filePath(u"out"_s)), QStringList{u"ORU_4711.hl7"_s});
    const QStringList lines = QString::fromLatin1(test::ReadFile(dir.filePath(u"out/ORU_4711.hl7"_s))).split(u"\r\n"_s);
    QCOMPARE(lines.mid(1),
             (QStringList{u"PID|1||P1||Meier^Anna"_s, QString(),
                          u"OBR|1|4711|||||201901201405"_s + QString(18, u'|') + u"P"_s,
                          u"OBX|1|NM|THC^Cannabinoids||74|||positive|||F"_s,
                          u"OBX|2|NM|AMP^Amphetamines||offen|||offen|||O"_s, u"NTE|1|seen"_s, QString()}));
    ConnectionParameters p;
    p.databaseName = dir.filePath(u"lab.sqlite"_s);
    Database db(MakeDialect(Engine::Sqlite), p);
    db.open();
    QVERIFY(db.query(u"SELECT SAMPLE_ID FROM REQ2SEND"_s).isEmpty());
}

// The export folder is a share others write: a link planted there at any name the export might
// use, a pipe or a folder at a result's name make the service write nothing outside the folder;
// what it cannot publish stays queued. Run as two users made for it: the service's and another.
void TestExportProcesses::linksPlantedInTheExportFolderAreNotFollowed()
{
#ifndef Q_OS_LINUX
    QSKIP("The users and links of this test are Linux's");
#else
    if (::geteuid() != 0)
        QSKIP("This test makes two users with useradd and runs the service as one of them: it needs root (CI runs "
              "as root)");
    test::ServerDatabase server;
    KESTRIN_REQUIRE(server);
    const QString tag = QString::number(QCoreApplication::applicationPid());
    const QString service = u"ktsvc"_s + tag;
    const QString intruder = u"ktint"_s + tag;
    for (const QString& user : {service, intruder}) {
        run(u"userdel"_s, {user}); // left by a run that was killed
        QCOMPARE(run(u"useradd"_s, {u"--system"_s, u"--no-create-home"_s, u"--shell"_s, u"/usr/sbin/nologin"_s, user}),
                 0);
    }
    const auto removeUsers = qScopeGuard([&] {
        for (const QString& user : {service, intruder})
            run(u"userdel"_s, {user});
    });
    QTemporaryDir dir;
    QTemporaryDir memory(u"/dev/shm/kestrin-XXXXXX"_s); // the work files on another file system
    QVERIFY(dir.isValid() && memory.isValid());
    const QString base = dir.path();
    for (const QString& folder : {u"in"_s, u"log"_s, u"out"_s, u"private"_s})
        QVERIFY(QDir(base).mkpath(folder));
    const QString secret = base + u"/private/secret"_s;
    test::WriteFile(secret, "the service's own\n");
    const QString ini = base + u"/lab.ini"_s;
    test::WriteFile(ini,
                    server.iniLines() +
                        QByteArray(kExportIni)
                            .replace("TempExportPath=tmp", QByteArray("TempExportPath=" + memory.path().toUtf8())) +
                        "ImportCycle=1\nExportCycle=0\n");
    QCOMPARE(run(u"chown"_s,
                 {u"-R"_s, service + u':' + service, base + u"/in"_s, base + u"/log"_s, base + u"/private"_s,
                  memory.path()}),
             0);
    QCOMPARE(::chmod(QFile::encodeName(base).constData(), 0755), 0);
    QCOMPARE(::chmod(QFile::encodeName(base + u"/private"_s).constData(), 0700), 0);
    QCOMPARE(::chmod(QFile::encodeName(secret).constData(), 0600), 0);
    QCOMPARE(::chmod(QFile::encodeName(base + u"/out"_s).constData(), 0777), 0);
    QCOMPARE(run(test::KestrinProgram(), {u"/ini="_s + ini, u"/initdb"_s}), 0);

    QProcess kestrin;
    kestrin.start(u"setpriv"_s, asUser(service, test::KestrinProgram(), {u"/ini="_s + ini, u"/headless"_s}));
    QVERIFY(kestrin.waitForStarted());
    const auto stop = qScopeGuard([&] {
        kestrin.kill();
        kestrin.waitForFinished();
    });
    // The names an older version used, of this process: predictable, and followed.
    QString host = QSysInfo::machineHostName();
    host.replace(QRegularExpression(u"[^A-Za-z0-9_-]"_s), u"_"_s);
    const QString work = u".hl7.kestrin.%1.%2.part"_s.arg(host).arg(kestrin.processId());
    const QString script = uR"(cd '%1/out' &&
ln -s '%2' '.ORU_S1%3' && ln -s '%1/private/made' '.ORU_S5%3' &&
ln -s '%2' ORU_S2.hl7 && mkfifo ORU_S3.hl7 && mkdir ORU_S4.hl7)"_s.arg(base, secret, work);
    QCOMPARE(run(u"setpriv"_s, asUser(intruder, u"sh"_s, {u"-c"_s, script})), 0);

    const auto db = server.connect();
    QList<QVariantList> results, queue;
    for (const QString& id : {u"S1"_s, u"S2"_s, u"S3"_s, u"S4"_s, u"S5"_s}) {
        results << QVariantList{id, 8, u"74"_s, u"positive"_s};
        queue << QVariantList{id, 8};
    }
    db->insertRows(u"RESULTS"_s, {u"SAMPLE_ID"_s, u"PARAMETER_ID"_s, u"RESULT"_s, u"INTERPRETATION"_s}, results);
    db->insertRows(u"REQ2SEND"_s, {u"SAMPLE_ID"_s, u"PARAMETER_ID"_s}, queue);
    const auto queued = [&] {
        QStringList ids;
        for (const Row& row : db->query(u"SELECT SAMPLE_ID FROM REQ2SEND"_s))
            ids << row.text(u"SAMPLE_ID");
        return ids;
    };
    QTRY_COMPARE_WITH_TIMEOUT(queued(), QStringList{u"S4"_s}, 30000);
    ::kill(pid_t(kestrin.processId()), SIGTERM);
    QVERIFY(kestrin.waitForFinished(30000));
    QCOMPARE(kestrin.exitCode(), 0);

    QCOMPARE(test::ReadFile(secret), QByteArray("the service's own\n"));
    QVERIFY(!QFileInfo::exists(base + u"/private/made"_s));
    for (const QString& id : {u"S1"_s, u"S2"_s, u"S3"_s, u"S5"_s}) {
        const QString path = base + u"/out/ORU_"_s + id + u".hl7"_s;
        QVERIFY2(QFileInfo(path).isFile() && !QFileInfo(path).isSymLink(), qPrintable(path));
        QVERIFY(test::ReadFile(path).contains(QByteArray("|ORU^R01|" + id.toLatin1() + '|')));
    }
    QVERIFY(QFileInfo(base + u"/out/ORU_S4.hl7"_s).isDir());
    QVERIFY(test::FileNames(memory.path()).isEmpty());
#endif
}

KESTRIN_TEST_MAIN(TestExportProcesses)
#include "tst_exportprocesses.moc"
