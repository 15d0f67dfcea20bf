#include "ScratchDatabase.h"
#include "TestMain.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

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

} // namespace

class TestExportProcesses : public QObject {
    Q_OBJECT
private slots:
    void exportersOnOneDatabaseSendEachSampleOnce();
};

// Several exporters (the service, MGC stations) on one database: each sample goes out once.
void TestExportProcesses::exportersOnOneDatabaseSendEachSampleOnce()
{
    test::ServerDatabase server;
    KESTRIN_REQUIRE(server);
    QTemporaryDir dir;
    const QString ini = dir.filePath(u"lab.ini"_s);
    test::WriteFile(ini,
                    server.iniLines() +
                        "ImportPath=in\nExportPath=out\nTempExportPath=tmp\nComLogPath=log\nImportExtension=hl7\n"
                        "ExportLeader=ORU_\nExportExtension=.hl7\nshiftlen=8\nfirstshift=01.01.2019 06:00:00\n");
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

KESTRIN_TEST_MAIN(TestExportProcesses)
#include "tst_exportprocesses.moc"
