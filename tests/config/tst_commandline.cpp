#include "TestEnvironment.h"
#include "TestMain.h"
#include "config/CommandLine.h"

#include <QRegularExpression>

using namespace Qt::StringLiterals;
using namespace kestrin;

Q_DECLARE_METATYPE(kestrin::CycleChoice)

namespace {
QVariant port(const std::optional<double>& p) { return p ? QVariant(*p) : QVariant(); }
} // namespace

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void laboratorySwitches_data();
    void laboratorySwitches();
    void testParameter_data();
    void testParameter();
    void kestrinSwitches_data();
    void kestrinSwitches();
    void versionAndUnknownSwitches_data();
    void versionAndUnknownSwitches();
    void runMode_data();
    void runMode();
    void manualPageNamesTheSwitchesOfHelp();
};

void TestCommandLine::laboratorySwitches_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("stationId");
    QTest::addColumn<QString>("runType");
    QTest::addColumn<QVariant>("comPort");
    QTest::addColumn<QString>("outType");
    QTest::addColumn<QVariant>("outPort");
    QTest::addColumn<QString>("autoReq");
    QTest::addColumn<bool>("exportTimer");

    const QVariant unset;
    QTest::newRow("nothing") << QStringList() << u"HL7"_s << QString() << unset << QString() << unset << u"0"_s << true;
    QTest::newRow("INPUT on port 2") << QStringList{u"/type=INPUT"_s, u"/com=2"_s} << u"HL7"_s << u"INPUT"_s
                                     << QVariant(2.0) << QString() << unset << u"0"_s << false;
    QTest::newRow("type in lower case stops export, kept as written")
        << QStringList{u"/type=input"_s} << u"HL7"_s << u"input"_s << unset << QString() << unset << u"0"_s << false;
    QTest::newRow("MGC keeps export") << QStringList{u"/type=MGC"_s} << u"HL7"_s << u"MGC"_s << unset << QString()
                                      << unset << u"0"_s << true;
    QTest::newRow("mgc keeps export too")
        << QStringList{u"/type=mgc"_s} << u"HL7"_s << u"mgc"_s << unset << QString() << unset << u"0"_s << true;
    QTest::newRow("blanks removed from type")
        << QStringList{u"/type= A C T "_s} << u"HL7"_s << u"ACT"_s << unset << QString() << unset << u"0"_s << false;
    QTest::newRow("station id") << QStringList{u"/id=LAB2"_s} << u"LAB2"_s << QString() << unset << QString() << unset
                                << u"0"_s << true;
    QTest::newRow("upper-case key ignored")
        << QStringList{u"/ID=LAB2"_s} << u"HL7"_s << QString() << unset << QString() << unset << u"0"_s << true;
    QTest::newRow("blank before = makes another key")
        << QStringList{u"/id"_s, u"=LAB2"_s} << u"HL7"_s << QString() << unset << QString() << unset << u"0"_s << true;
    QTest::newRow("later = dropped") << QStringList{u"/id=a=b"_s} << u"ab"_s << QString() << unset << QString() << unset
                                     << u"0"_s << true;
    QTest::newRow("blanks removed from id")
        << QStringList{u"/id=L"_s, u"A B"_s} << u"LAB"_s << QString() << unset << QString() << unset << u"0"_s << true;
    QTest::newRow("switches in one argument") << QStringList{u"/id=A/type=INPUT/com=3"_s} << u"A"_s << u"INPUT"_s
                                              << QVariant(3.0) << QString() << unset << u"0"_s << false;
    QTest::newRow("repeated key overwrites")
        << QStringList{u"/id=A"_s, u"/id=B"_s} << u"B"_s << QString() << unset << QString() << unset << u"0"_s << true;
    QTest::newRow("text before the first / ignored") << QStringList{u"id=X"_s, u"/autoreq=1"_s} << u"HL7"_s << QString()
                                                     << unset << QString() << unset << u"1"_s << true;
    QTest::newRow("com without number is port 0, which is set")
        << QStringList{u"/com=abc"_s} << u"HL7"_s << QString() << QVariant(0.0) << QString() << unset << u"0"_s << true;
    QTest::newRow("com takes the leading number")
        << QStringList{u"/com=3x"_s} << u"HL7"_s << QString() << QVariant(3.0) << QString() << unset << u"0"_s << true;
    QTest::newRow("com ignores blanks") << QStringList{u"/com=1"_s, u"2"_s} << u"HL7"_s << QString() << QVariant(12.0)
                                        << QString() << unset << u"0"_s << true;
    QTest::newRow("empty com is port 0") << QStringList{u"/com"_s} << u"HL7"_s << QString() << QVariant(0.0)
                                         << QString() << unset << u"0"_s << true;
    QTest::newRow("second port") << QStringList{u"/outtype=LIS"_s, u"/outcom=4"_s} << u"HL7"_s << QString() << unset
                                 << u"LIS"_s << QVariant(4.0) << u"0"_s << true;
    QTest::newRow("unknown key ignored") << QStringList{u"/colour=red"_s} << u"HL7"_s << QString() << unset << QString()
                                         << unset << u"0"_s << true;
}

void TestCommandLine::laboratorySwitches()
{
    QFETCH(QStringList, arguments);
    const CommandLine parsed = ParseCommandLine(arguments);
    QVERIFY2(parsed.errors.isEmpty(), qPrintable(parsed.errors.join(u'\n')));
    QTEST(parsed.settings.StationId, "stationId");
    QTEST(parsed.settings.RunType, "runType");
    QTEST(port(parsed.settings.ComPort), "comPort");
    QTEST(parsed.settings.OutType, "outType");
    QTEST(port(parsed.settings.OutPort), "outPort");
    QTEST(parsed.settings.AutoReq, "autoReq");
    QTEST(parsed.settings.ExportTimerEnabled, "exportTimer");
}

void TestCommandLine::testParameter_data()
{
    QTest::addColumn<QString>("argument");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<int>("parameter");

    QTest::newRow("number") << u"/test=12"_s << true << 12;
    QTest::newRow("blanks removed") << u"/test= 1 2 "_s << true << 12;
    QTest::newRow("negative") << u"/test=-5"_s << true << -5;
    QTest::newRow("half to even down") << u"/test=2.5"_s << true << 2;
    QTest::newRow("half to even up") << u"/test=3.5"_s << true << 4;
    QTest::newRow("largest") << u"/test=32767"_s << true << 32767;
    QTest::newRow("too large") << u"/test=32768"_s << false << 0;
    QTest::newRow("too small") << u"/test=-32769"_s << false << 0;
    QTest::newRow("no number") << u"/test=abc"_s << false << 0;
    QTest::newRow("number and letters") << u"/test=12a"_s << false << 0;
    QTest::newRow("empty") << u"/test="_s << false << 0;
}

void TestCommandLine::testParameter()
{
    QFETCH(QString, argument);
    QFETCH(bool, valid);
    const CommandLine parsed = ParseCommandLine({argument});
    QCOMPARE(parsed.errors.isEmpty(), valid);
    QTEST(int(parsed.settings.TestParameter), "parameter");
    if (!valid)
        QVERIFY2(parsed.errors.first().contains(argument.mid(6)), qPrintable(parsed.errors.first()));
}

void TestCommandLine::kestrinSwitches_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("iniPath");
    QTest::addColumn<bool>("check");
    QTest::addColumn<bool>("help");
    QTest::addColumn<bool>("headless");
    QTest::addColumn<bool>("initDb");
    QTest::addColumn<kestrin::CycleChoice>("cycle");
    QTest::addColumn<bool>("windows");
    QTest::addColumn<bool>("valid");

    QTest::newRow("none") << QStringList() << QString() << false << false << false << false << CycleChoice::None << true
                          << true;
    QTest::newRow("ini path keeps its slashes")
        << QStringList{u"/ini=/etc/kestrin/lab=2.ini"_s, u"/id=X"_s} << u"/etc/kestrin/lab=2.ini"_s << false << false
        << false << false << CycleChoice::None << true << true;
    QTest::newRow("check") << QStringList{u"/check"_s} << QString() << true << false << false << false
                           << CycleChoice::None << false << true;
    QTest::newRow("flags followed by switches") << QStringList{u"/check"_s, u"/headless"_s, u"/id=X"_s} << QString()
                                                << true << false << true << false << CycleChoice::None << false << true;
    QTest::newRow("help") << QStringList{u"/help"_s} << QString() << false << true << false << false
                          << CycleChoice::None << false << true;
    QTest::newRow("-h") << QStringList{u"-h"_s} << QString() << false << true << false << false << CycleChoice::None
                        << false << true;
    QTest::newRow("-?") << QStringList{u"-?"_s} << QString() << false << true << false << false << CycleChoice::None
                        << false << true;
    QTest::newRow("/? after switches") << QStringList{u"/id=A"_s, u"/?"_s} << QString() << false << true << false
                                       << false << CycleChoice::None << false << true;
    QTest::newRow("--help after switches") << QStringList{u"/id=A"_s, u"--help"_s} << QString() << false << true
                                           << false << false << CycleChoice::None << false << true;
    QTest::newRow("headless") << QStringList{u"/headless"_s} << QString() << false << false << true << false
                              << CycleChoice::None << false << true;
    QTest::newRow("initdb") << QStringList{u"/initdb"_s} << QString() << false << false << false << true
                            << CycleChoice::None << false << true;
    QTest::newRow("cycle import") << QStringList{u"/cycle=import"_s} << QString() << false << false << false << false
                                  << CycleChoice::Import << false << true;
    QTest::newRow("cycle export") << QStringList{u"/cycle=export"_s} << QString() << false << false << false << false
                                  << CycleChoice::Export << false << true;
    QTest::newRow("cycle all") << QStringList{u"/cycle=all"_s} << QString() << false << false << false << false
                               << CycleChoice::All << false << true;
    // The export runs once only where the timers would run it.
    QTest::newRow("cycle export with type MGC") << QStringList{u"/cycle=export"_s, u"/type=mgc"_s} << QString() << false
                                                << false << false << false << CycleChoice::Export << false << true;
    QTest::newRow("cycle export with a type that switches it off")
        << QStringList{u"/cycle=export"_s, u"/type=ACT"_s} << QString() << false << false << false << false
        << CycleChoice::Export << false << false;
    QTest::newRow("cycle all with a type that switches the export off")
        << QStringList{u"/cycle=all"_s, u"/type=ACT"_s} << QString() << false << false << false << false
        << CycleChoice::All << false << true;
    QTest::newRow("cycle unknown") << QStringList{u"/cycle=both"_s} << QString() << false << false << false << false
                                   << CycleChoice::None << true << false;
}

void TestCommandLine::kestrinSwitches()
{
    QFETCH(QStringList, arguments);
    const CommandLine parsed = ParseCommandLine(arguments);
    QTEST(parsed.errors.isEmpty(), "valid");
    QTEST(parsed.run.IniPath, "iniPath");
    QTEST(parsed.run.Check, "check");
    QTEST(parsed.run.Help, "help");
    QTEST(parsed.run.Headless, "headless");
    QTEST(parsed.run.InitDb, "initDb");
    QTEST(parsed.run.Cycle, "cycle");
    QTEST(parsed.run.showsWindows(), "windows");
}

void TestCommandLine::versionAndUnknownSwitches_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<bool>("version");
    QTest::addColumn<QStringList>("unknown");
    QTest::addColumn<bool>("windows");
    QTest::newRow("--version") << QStringList{u"--version"_s} << true << QStringList() << false;
    QTest::newRow("/version") << QStringList{u"/id=X"_s, u"/version"_s} << true << QStringList() << false;
    QTest::newRow("-v") << QStringList{u"-v"_s} << true << QStringList() << false;
    QTest::newRow("-V") << QStringList{u"/id=X"_s, u"-V"_s} << true << QStringList() << false;
    // Said, not refused: a start-up script may carry another program's switches.
    QTest::newRow("typo") << QStringList{u"/chek"_s} << false << QStringList{u"/chek"_s} << true;
    QTest::newRow("typo with a value and a known switch")
        << QStringList{u"/ImportCylce=5"_s, u"/check"_s} << false << QStringList{u"/ImportCylce=5"_s} << false;
    QTest::newRow("no slash") << QStringList{u"--verbose"_s, u"/headless"_s} << false << QStringList{u"--verbose"_s}
                              << false;
}

void TestCommandLine::versionAndUnknownSwitches()
{
    QFETCH(QStringList, arguments);
    const CommandLine parsed = ParseCommandLine(arguments);
    QVERIFY(parsed.errors.isEmpty());
    QTEST(parsed.run.Version, "version");
    QTEST(parsed.settings.UnknownSwitches, "unknown");
    QTEST(parsed.run.showsWindows(), "windows");
}

void TestCommandLine::runMode_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("exportCycle");

    QTest::newRow("no type: the service") << QStringList{} << int(RunMode::Service) << true;
    QTest::newRow("MGC") << QStringList{u"/type=MGC"_s} << int(RunMode::QcLink) << true;
    QTest::newRow("mgc keeps the export, runs no QC link")
        << QStringList{u"/type=mgc"_s} << int(RunMode::OtherType) << true;
    QTest::newRow("INPUT") << QStringList{u"/type=INPUT"_s} << int(RunMode::EntryStation) << false;
    QTest::newRow("input shows no station") << QStringList{u"/type=input"_s} << int(RunMode::OtherType) << false;
    QTest::newRow("ACT with blanks") << QStringList{u"/type=A"_s, u"CT"_s} << int(RunMode::SampleIdStation) << false;
    QTest::newRow("empty type") << QStringList{u"/type="_s} << int(RunMode::OtherType) << false;
    QTest::newRow("the last type counts")
        << QStringList{u"/type=INPUT"_s, u"/type=MGC"_s} << int(RunMode::QcLink) << true;
}

void TestCommandLine::runMode()
{
    QFETCH(QStringList, arguments);
    const CommandLine parsed = ParseCommandLine(arguments);
    QTEST(int(parsed.settings.Mode), "mode");
    QTEST(parsed.settings.ExportTimerEnabled, "exportCycle");
}

KESTRIN_TEST_MAIN(TestCommandLine)
// kestrin(1) is written by hand: its entries must be the switches "/help" explains, and those
// the switches the program takes.
void TestCommandLine::manualPageNamesTheSwitchesOfHelp()
{
    const auto names = [](const QString& text, const QString& pattern) {
        QStringList found;
        for (const QRegularExpressionMatch& m :
             QRegularExpression(pattern, QRegularExpression::MultilineOption).globalMatch(text))
            found << m.captured(1);
        found.sort();
        return found;
    };
    const QStringList help = names(CommandLineHelp(), u"^  /(\\w+)"_s);
    const QString page = QString::fromUtf8(test::ReadFile(test::SourceDir() + u"/packaging/man/kestrin.1.in"_s));
    QCOMPARE(names(page, u"^\\.TP\n\\.B[IR]? /(\\w+)"_s), help);
    QVERIFY(help.size() > 10);
    for (const QString& name : help)
        QVERIFY2(ParseCommandLine({u"/"_s + name + u"=all"_s}).settings.UnknownSwitches.isEmpty(), qPrintable(name));
}

#include "tst_commandline.moc"
