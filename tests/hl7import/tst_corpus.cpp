#include "LabStation.h"
#include "TestMain.h"
#include "core/TextLines.h"
#include "hl7/FileDecoding.h"
#include "hl7import/ImportCycle.h"

#include <QDir>

using namespace Qt::StringLiterals;
using namespace kestrin;

// Real-world messages from public HL7 projects: orders, results, odd line ends, escapes,
// batch headers, broken ones. Each must end in "Done" or "EinleseFehler", one at a time.
class TestCorpus : public QObject {
    Q_OBJECT
private slots:
    void everyFileEndsFiled_data() { test::AddEngineRows(); }
    void everyFileEndsFiled();
};

void TestCorpus::everyFileEndsFiled()
{
    KESTRIN_CORPUS(files);
    const QDir corpus = test::CorpusDir();
    KESTRIN_STATION(station);
    int done = 0;
    for (const QString& name : files) {
        const QByteArray bytes = test::ReadFile(corpus.filePath(name));
        station.dropOrder(name, bytes);
        const CycleOutcome outcome = RunImportCycle(station.ctx());
        QCOMPARE(outcome.handled + outcome.failed, 1);
        QVERIFY2(station.importFiles().isEmpty(), qPrintable(name));
        const bool inDone = station.doneFiles().contains(name);
        QVERIFY2(inDone != station.errorFiles().contains(name), qPrintable(name));
        if (!inDone)
            continue;
        ++done;
        // What was archived is the line as read: parse, keep, and give back unchanged.
        const QStringList lines = SplitLines(DecodeOrderFile(bytes, station.config.Charset));
        const QStringList msh = lines.filter(QRegularExpression(u"^MSH"_s, QRegularExpression::CaseInsensitiveOption));
        QVERIFY(station.column(u"SELECT STRING_TEXT FROM HL7_STRINGS WHERE STRING_DEF = ?"_s, {u"MSH"_s})
                    .contains(msh.first()));
    }
    QCOMPARE(station.doneFiles().size() + station.errorFiles().size(), files.size());
    QVERIFY(done > 0);
}

KESTRIN_TEST_MAIN(TestCorpus)
#include "tst_corpus.moc"
