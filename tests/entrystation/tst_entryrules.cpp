#include "TestMain.h"
#include "entrystation/EntryHistory.h"
#include "entrystation/EntryRecord.h"
#include "entrystation/EntryRules.h"
#include "labdb/Schema.h"

using namespace Qt::StringLiterals;
using namespace kestrin;

// The entry station's rules that need no database: the typed texts, the command words, the
// storing path, the history and its colours.
class TestEntryRules : public QObject {
    Q_OBJECT
private slots:
    void cleanResult_data();
    void cleanResult();
    void commandWords_data();
    void commandWords();
    void storagePath_data();
    void storagePath();
    void colours_data();
    void colours();
    void parameterLine_data();
    void parameterLine();
    void entryRecord();
    void entryProblems_data();
    void entryProblems();
    void historyKeepsEight();
    void blankedRowMovesDown();
};

void TestEntryRules::cleanResult_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("clean");
    QTest::newRow("number") << u"12"_s << true;
    QTest::newRow("decimal comma") << u"1,5"_s << true;
    QTest::newRow("plus alone") << u"+"_s << true;
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("star") << u"5*"_s << false;
    QTest::newRow("blank inside") << u"1 5"_s << false;
    QTest::newRow("quote") << u"5'"_s << false;
    QTest::newRow("backslash") << u"\\5"_s << false;
    QTest::newRow("dollar") << u"$"_s << false;
    QTest::newRow("paragraph") << u"\u00a75"_s << false;
}

void TestEntryRules::cleanResult()
{
    QFETCH(QString, text);
    QFETCH(bool, clean);
    QCOMPARE(IsCleanResult(text), clean);
}

void TestEntryRules::commandWords_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("word");
    QTest::addColumn<int>("row");
    const auto w = [](CommandWord word) { return int(word); };
    QTest::newRow("ESC") << u"ESC"_s << w(CommandWord::Esc) << -1;
    QTest::newRow("ESCAPE counts by its first three") << u"ESCAPE"_s << w(CommandWord::Esc) << -1;
    QTest::newRow("lower case is text") << u"esc"_s << w(CommandWord::None) << -1;
    QTest::newRow("CLS") << u"CLS"_s << w(CommandWord::Cls) << -1;
    QTest::newRow("END") << u"END"_s << w(CommandWord::End) << -1;
    QTest::newRow("PIC") << u"PIC"_s << w(CommandWord::Pic) << -1;
    QTest::newRow("DEL1 the top row") << u"DEL1"_s << w(CommandWord::Del) << 0;
    QTest::newRow("DEL3") << u"DEL3"_s << w(CommandWord::Del) << 2;
    QTest::newRow("DEL8 the last row") << u"DEL8"_s << w(CommandWord::Del) << 7;
    QTest::newRow("DEL9 no row") << u"DEL9"_s << w(CommandWord::Del) << -1;
    QTest::newRow("DEL0 no row") << u"DEL0"_s << w(CommandWord::Del) << -1;
    QTest::newRow("DELx no row") << u"DELx"_s << w(CommandWord::Del) << -1;
    QTest::newRow("DEL alone is text") << u"DEL"_s << w(CommandWord::None) << -1;
    QTest::newRow("DELETE is text") << u"DELETE"_s << w(CommandWord::None) << -1;
    QTest::newRow("del3 is text") << u"del3"_s << w(CommandWord::None) << -1;
    QTest::newRow("blank before") << u" CLS"_s << w(CommandWord::None) << -1;
    QTest::newRow("too short") << u"EN"_s << w(CommandWord::None) << -1;
    QTest::newRow("a sample ID") << u"4711"_s << w(CommandWord::None) << -1;
}

void TestEntryRules::commandWords()
{
    QFETCH(QString, text);
    QFETCH(int, word);
    QFETCH(int, row);
    const Command command = ParseCommandWord(text);
    QCOMPARE(int(command.word), word);
    QCOMPARE(command.row, row);
}

void TestEntryRules::storagePath_data()
{
    QTest::addColumn<QString>("sampleId");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QString>("autoVal");
    QTest::addColumn<int>("path");
    const int control = int(StoragePath::Control);
    const int validated = int(StoragePath::Validated);
    const int sessionTable = int(StoragePath::SessionTable);
    const QString masks = u"QC-?\?\?-1;QC-?\?\?\?-1"_s;
    QTest::newRow("no autovalidation") << u"4711"_s << QString() << QString() << sessionTable;
    QTest::newRow("autovalidation 0") << u"4711"_s << QString() << u"0"_s << sessionTable;
    QTest::newRow("autovalidation 1") << u"4711"_s << QString() << u"1"_s << validated;
    QTest::newRow("autovalidation -1") << u"4711"_s << QString() << u"-1"_s << validated;
    QTest::newRow("autovalidation 0.0") << u"4711"_s << QString() << u"0.0"_s << sessionTable;
    QTest::newRow("first mask") << u"QC-LOW-1"_s << masks << u"1"_s << control;
    QTest::newRow("second mask") << u"QC-HIGH-1"_s << masks << QString() << control;
    QTest::newRow("other length") << u"QC-HIGHER-1"_s << masks << u"1"_s << validated;
    QTest::newRow("no mask, no control") << u"QC-LOW-1"_s << QString() << u"1"_s << validated;
    QTest::newRow("empty ID is no control") << QString() << QString() << QString() << sessionTable;
}

void TestEntryRules::storagePath()
{
    QFETCH(QString, sampleId);
    QFETCH(QString, mask);
    QFETCH(QString, autoVal);
    QFETCH(int, path);
    QCOMPARE(int(ChooseStoragePath(sampleId, mask, AutovalidationOn(autoVal))), path);
}

void TestEntryRules::colours_data()
{
    QTest::addColumn<QString>("caption");
    QTest::addColumn<double>("cutoff"); // NaN: the parameter has no suspicious range
    QTest::addColumn<bool>("redBackground");
    QTest::addColumn<bool>("redText");
    const double none = std::numeric_limits<double>::quiet_NaN();
    QTest::newRow("below -1") << u"-5"_s << 20.0 << true << false;
    QTest::newRow("-1 itself") << u"-1"_s << 20.0 << false << true;
    QTest::newRow("decimal comma below -1") << u"-1,5"_s << none << true << false;
    QTest::newRow("below the cut-off") << u"12"_s << 20.0 << false << true;
    QTest::newRow("at the cut-off") << u"20"_s << 20.0 << false << false;
    QTest::newRow("above the cut-off") << u"74"_s << 20.0 << false << false;
    QTest::newRow("decimal comma below") << u"19,5"_s << 20.0 << false << true;
    QTest::newRow("no number counts as 0") << u"+"_s << 20.0 << false << true;
    QTest::newRow("no suspicious range") << u"12"_s << none << false << false;
}

void TestEntryRules::colours()
{
    QFETCH(QString, caption);
    QFETCH(double, cutoff);
    QFETCH(bool, redBackground);
    QFETCH(bool, redText);
    const auto lowCutoff = std::isnan(cutoff) ? std::nullopt : std::optional<double>(cutoff);
    QCOMPARE(ColourHistoryResult(caption, lowCutoff), (HistoryColour{redBackground, redText}));
}

void TestEntryRules::parameterLine_data()
{
    QTest::addColumn<int>("parameter");
    QTest::addColumn<QString>("line");
    QTest::newRow("two blanks before a positive number") << 12 << u"Parameter:  12 / Cannabinoids"_s;
    QTest::newRow("0 has its blank") << 0 << u"Parameter:  0 / Cannabinoids"_s;
    QTest::newRow("negative without") << -5 << u"Parameter: -5 / Cannabinoids"_s;
}

void TestEntryRules::parameterLine()
{
    QFETCH(int, parameter);
    QFETCH(QString, line);
    QCOMPARE(ParameterLogLine(qint16(parameter), u"Cannabinoids"_s), line);
}

void TestEntryRules::entryRecord()
{
    EntryRecord entry = FillEntryRecord(u" 4711 "_s, u" 1,5 "_s, 8, u"L1"_s, u" MB "_s);
    QCOMPARE(entry.SampleId, u"4711"_s);
    QCOMPARE(entry.ResultText, u"1.5"_s);
    QCOMPARE(entry.ParameterId, qint16(8));
    QCOMPARE(entry.AnalyzerId, u"L1"_s);
    QCOMPARE(entry.Validator, u"MB"_s);
    QCOMPARE(entry.AnalyzerUser, u"L1_MB"_s);
    ClearEntryRecord(entry);
    QCOMPARE(entry, EntryRecord());
}

void TestEntryRules::entryProblems_data()
{
    QTest::addColumn<QString>("sampleId");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("station");
    QTest::addColumn<int>("path");
    QTest::addColumn<QString>("problem"); // a word of the message; empty: none
    const int control = int(StoragePath::Control);
    const int validated = int(StoragePath::Validated);
    const int sessionTable = int(StoragePath::SessionTable);
    QTest::newRow("sound") << u"4711"_s << u"12"_s << u"L1"_s << validated << QString();
    QTest::newRow("no sample ID") << u"  "_s << u"12"_s << u"L1"_s << validated << u"sample ID first"_s;
    QTest::newRow("no control ID") << QString() << u"12"_s << u"L1"_s << control << u"sample ID first"_s;
    QTest::newRow("19 characters fit") << QString(19, u'4') << u"12"_s << u"L1"_s << validated << QString();
    QTest::newRow("20 characters do not") << QString(20, u'4') << u"12"_s << u"L1"_s << validated << u"at most 19"_s;
    QTest::newRow("a control ID of 20 fits") << QString(20, u'Q') << u"12"_s << u"L1"_s << control << QString();
    QTest::newRow("the work table takes 18")
        << QString(19, u'4') << u"12"_s << u"L1"_s << sessionTable << u"at most 18"_s;
    QTest::newRow("result too long") << u"4711"_s << QString(51, u'9') << u"L1"_s << validated << u"at most 50"_s;
    QTest::newRow("station and user too long")
        << u"4711"_s << u"12"_s << QString(18, u'S') << sessionTable << u"Station and user"_s;
}

void TestEntryRules::entryProblems()
{
    QFETCH(QString, sampleId);
    QFETCH(QString, result);
    QFETCH(QString, station);
    QFETCH(int, path);
    QFETCH(QString, problem);
    const EntryRecord entry = FillEntryRecord(sampleId, result, 8, station, u"MB"_s);
    // The sizes of Kestrin's own schema, the work table a copy of REQUEST.
    const ColumnRoom schema = [](const QString& table, const QString& column) -> std::optional<int> {
        return ColumnSize(table == u"INPUT_L1" ? u"REQUEST"_s : table, column);
    };
    const QString said = EntryProblem(entry, StoragePath(path), u"INPUT_L1"_s, schema);
    if (problem.isEmpty())
        QVERIFY2(said.isEmpty(), qPrintable(said));
    else
        QVERIFY2(said.contains(problem), qPrintable(said));
}

void TestEntryRules::historyKeepsEight()
{
    EntryHistory history;
    for (int i = 1; i <= 9; ++i)
        history.push(u"S%1"_s.arg(i), u"%1,5"_s.arg(i), u"S%1"_s.arg(i));
    history.recolour(5.0);
    for (int row = 0; row < EntryHistory::kRows; ++row) {
        QVERIFY(history.row(row).inUse);
        QVERIFY(history.row(row).markerShown);
        QCOMPARE(history.row(row).sampleId, u"S%1"_s.arg(9 - row));
    }
    QCOMPARE(history.row(0).result, u"9,5"_s);
    QVERIFY(history.row(7).colour.redText); // 2,5 is below the cut-off
    QVERIFY(!history.row(0).colour.redText);
    history.clear();
    for (int row = 0; row < EntryHistory::kRows; ++row)
        QVERIFY(!history.row(row).inUse);
}

void TestEntryRules::blankedRowMovesDown()
{
    EntryHistory history;
    for (int i = 1; i <= 3; ++i)
        history.push(u"S%1"_s.arg(i), u"-5"_s, u"S%1"_s.arg(i));
    history.recolour(std::nullopt);
    history.blank(1);
    QVERIFY(history.row(1).inUse);
    QVERIFY(!history.row(1).deletable());
    QVERIFY(!history.row(1).markerShown);
    QCOMPARE(history.row(1).colour, HistoryColour());
    history.push(u"S4"_s, u"7"_s, u"S4"_s);
    QCOMPARE(history.row(1).sampleId, u"S3"_s);
    QCOMPARE(history.row(2).sampleId, QString());
    QVERIFY(history.row(2).markerShown); // the blank row's marker shows again
    QCOMPARE(history.row(3).sampleId, u"S1"_s);
    QVERIFY(!history.row(4).inUse);
}

KESTRIN_TEST_MAIN(TestEntryRules)
#include "tst_entryrules.moc"
