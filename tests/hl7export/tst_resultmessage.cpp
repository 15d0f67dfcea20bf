#include "LabStation.h"
#include "OrderBuilder.h"
#include "TestMain.h"
#include "hl7export/ExportCycle.h"
#include "hl7export/ResultFile.h"
#include "hl7export/ResultMessage.h"
#include "hl7import/MessageReader.h"

using namespace Qt::StringLiterals;
using namespace kestrin;
using test::OrderBuilder;

namespace {

void importOrder(test::LabStation& station, const OrderBuilder& order)
{
    OrderMessage message;
    ReadMessageText(station.ctx(), order.text(), message);
}

void addResult(test::LabStation& station, const QString& sample, int parameter, const QVariant& result,
               const QVariant& interpretation)
{
    station.db().exec(u"INSERT INTO RESULTS (SAMPLE_ID, PARAMETER_ID, RESULT, INTERPRETATION) VALUES (?, ?, ?, ?)"_s,
                      {sample, parameter, result, interpretation});
}

ResultMessage compose(test::LabStation& station, const QString& sample)
{
    return ComposeResultMessage(station.ctx(), sample, TestCatalogue::Load(station.db()));
}

const QVariant kNullText = QVariant(QMetaType(QMetaType::QString));

} // namespace

class TestResultMessage : public QObject {
    Q_OBJECT
private slots:
    void wholeMessageAsExpected_data() { test::AddEngineRows(); }
    void wholeMessageAsExpected();
    void finalWhenNothingIsOpen_data() { test::AddEngineRows(); }
    void finalWhenNothingIsOpen();
    void openRequestsOnly_data() { test::AddEngineRows(); }
    void openRequestsOnly();
    void noOrderLinesGiveEmptyLines_data() { test::AddEngineRows(); }
    void noOrderLinesGiveEmptyLines();
    void firstOfSeveralPidLines_data() { test::AddEngineRows(); }
    void firstOfSeveralPidLines();
    void orderWithoutPatientIdKeepsItsOwnPidLine_data() { test::AddEngineRows(); }
    void orderWithoutPatientIdKeepsItsOwnPidLine();
    void olderTenCharacterKeysAreFound_data() { test::AddEngineRows(); }
    void olderTenCharacterKeysAreFound();
    void emptyOrderKeyFindsNothing_data() { test::AddEngineRows(); }
    void emptyOrderKeyFindsNothing();
    void nullsGiveEmptyText_data() { test::AddEngineRows(); }
    void nullsGiveEmptyText();
    void commentsNumberedOverThosePresent_data() { test::AddEngineRows(); }
    void commentsNumberedOverThosePresent();
    void delimitersInDataAreEscaped_data() { test::AddEngineRows(); }
    void delimitersInDataAreEscaped();
    void moreThanNinetyNineResults_data() { test::AddEngineRows(); }
    void moreThanNinetyNineResults();
    void numericResultInRegionalFormat_data();
    void numericResultInRegionalFormat();
    void observationTime_data();
    void observationTime();
    void fileNames_data();
    void fileNames();
};

void TestResultMessage::wholeMessageAsExpected()
{
    KESTRIN_STATION(station);
    importOrder(station, OrderBuilder().test(u"AMP"_s).test(u"COC"_s).test(u"THC"_s).note(u"Abnahme unter Sicht"_s));
    station.db().exec(u"DELETE FROM REQUEST WHERE PARAMETER_ID IN (1, 8)"_s);
    addResult(station, u"4711"_s, 1, u"112"_s, u"negative"_s);
    addResult(station, u"4711"_s, 8, u"74"_s, u"positive"_s);
    const QByteArray expected = test::ReadFile(test::SourceDir() + u"/tests/hl7export/expected-4711.hl7"_s);
    QString written;
    for (const QString& line : compose(station, u"4711"_s).lines())
        written += line + u"\r\n"_s;
    QCOMPARE(written.toLatin1(), expected);
}

void TestResultMessage::finalWhenNothingIsOpen()
{
    KESTRIN_STATION(station);
    importOrder(station, OrderBuilder());
    addResult(station, u"4711"_s, 8, u"12"_s, u"negative"_s);
    const ResultMessage m = compose(station, u"4711"_s);
    QVERIFY(m.obr.endsWith(u"|F"_s));
    QCOMPARE(m.obx, QStringList{u"OBX|1|NM|THC^Cannabinoids||12|ng/mL|50|negative|||F"_s});
}

void TestResultMessage::openRequestsOnly()
{
    KESTRIN_STATION(station);
    importOrder(station, OrderBuilder().test(u"THC"_s).test(u"AMP"_s).test(u"THC"_s));
    const ResultMessage m = compose(station, u"4711"_s);
    QVERIFY(m.obr.endsWith(u"|P"_s));
    // Distinct parameters, by print position.
    QCOMPARE(m.obx,
             (QStringList{u"OBX|1|NM|THC^Cannabinoids||offen|ng/mL|50|offen|||O"_s,
                          u"OBX|2|NM|AMP^Amphetamines||offen|ng/mL|500|offen|||O"_s}));
}

void TestResultMessage::noOrderLinesGiveEmptyLines()
{
    KESTRIN_STATION(station);
    station.db().exec(u"INSERT INTO REQUEST (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s, {u"LOOSE"_s, 4});
    const ResultMessage m = compose(station, u"LOOSE"_s);
    QVERIFY(m.pid.isEmpty());
    QVERIFY(m.pv1.isEmpty());
    QCOMPARE(m.obr, u"OBR|1|LOOSE|DRUGSCREEN"_s + QString(22, u'|') + u"P"_s);
    QCOMPARE(m.lines().size(), 5);
}

void TestResultMessage::firstOfSeveralPidLines()
{
    KESTRIN_STATION(station);
    importOrder(station, OrderBuilder().patient(u"P100"_s, u"First^Line"_s));
    station.clock.advance(60);
    importOrder(station, OrderBuilder().patient(u"P100"_s, u"Second^Line"_s));
    QCOMPARE(compose(station, u"4711"_s).pid, u"PID|1||P100||First^Line||19800101|F"_s);
}

// Orders without PID-3 are many patients, not one: each result goes out with its own order's lines.
void TestResultMessage::orderWithoutPatientIdKeepsItsOwnPidLine()
{
    KESTRIN_STATION(station);
    importOrder(station, OrderBuilder().controlId(u"MSG0001"_s).patient(u""_s, u"^"_s, u""_s, u"M"_s).sample(u"A1"_s));
    importOrder(station, OrderBuilder().controlId(u"MSG0002"_s).patient(u""_s, u"Meier^Anna"_s).sample(u"A2"_s));
    importOrder(station, OrderBuilder().controlId(u"MSG0003"_s).patient(u"P100"_s).sample(u"4711"_s));
    const ResultMessage m = compose(station, u"A1"_s);
    QCOMPARE(m.pid, u"PID|1||||^|||M"_s);
    QCOMPARE(m.pv1, u"PV1|1|O|STAT^^^HOSP"_s);
    QCOMPARE(compose(station, u"A2"_s).pid, u"PID|1||||Meier^Anna||19800101|F"_s);
}

void TestResultMessage::olderTenCharacterKeysAreFound()
{
    KESTRIN_STATION(station);
    importOrder(station, OrderBuilder().controlId(u"ORDER-2019-0001234"_s));
    // Rows kept by older versions under the first ten characters only.
    station.db().exec(u"UPDATE HL7_STRINGS SET ORDER_ID = ?"_s, {u"ORDER-2019"_s});
    QCOMPARE(compose(station, u"4711"_s).pid, u"PID|1||P100||Meier^Anna||19800101|F"_s);
}

void TestResultMessage::emptyOrderKeyFindsNothing()
{
    KESTRIN_STATION(station);
    // A PID archived before any MSH has an empty order key; a sample without STATUS_1 must
    // not send that stranger's line.
    station.db().exec(u"INSERT INTO HL7_STRINGS (ORDER_ID, STRING_DEF, STRING_TEXT) VALUES (?, ?, ?)"_s,
                      {QString(), u"PID"_s, u"PID|1||STRANGER"_s});
    station.db().exec(u"INSERT INTO SAMPLE_BASE (SAMPLE_ID, STATUS_1) VALUES (?, ?)"_s, {u"S1"_s, QString()});
    QVERIFY(compose(station, u"S1"_s).pid.isEmpty());
}

void TestResultMessage::nullsGiveEmptyText()
{
    KESTRIN_STATION(station);
    station.db().exec(u"INSERT INTO SAMPLE_BASE (SAMPLE_ID) VALUES (?)"_s, {u"S1"_s});
    station.db().exec(u"INSERT INTO TEST_DEF (PARAMETER_ID, PRINT_POS) VALUES (?, ?)"_s, {70000, 9});
    addResult(station, u"S1"_s, 70000, kNullText, kNullText);
    const ResultMessage m = compose(station, u"S1"_s);
    QCOMPARE(m.obr, u"OBR|1|S1|DRUGSCREEN"_s + QString(22, u'|') + u"F"_s);
    QCOMPARE(m.obx, QStringList{u"OBX|1|NM|^||||||||F"_s});
    QVERIFY(m.nte.isEmpty());
}

void TestResultMessage::commentsNumberedOverThosePresent()
{
    KESTRIN_STATION(station);
    station.db().exec(
        u"INSERT INTO SAMPLE_BASE (SAMPLE_ID, COMMENT_COLL, COMMENT_COM, COMMENT_D_M) VALUES (?, ?, ?, ?)"_s,
        {u"S1"_s, u"   "_s, kNullText, u"  Nachkontrolle  "_s});
    QCOMPARE(compose(station, u"S1"_s).nte, QStringList{u"NTE|1|Nachkontrolle"_s});
}

void TestResultMessage::delimitersInDataAreEscaped()
{
    KESTRIN_STATION(station);
    importOrder(station, OrderBuilder().patient(u"P100"_s, u"Meier^Anna"_s));
    station.db().exec(u"UPDATE SAMPLE_BASE SET COMMENT_COM = ? WHERE SAMPLE_ID = ?"_s,
                      {u"pH 4|5 ^ R&D ~ C:\\ tr\u00fcb\nzweite Zeile"_s, u"4711"_s});
    addResult(station, u"4711"_s, 1, u"<50|x"_s, u"neg^ativ"_s);
    const ResultMessage m = compose(station, u"4711"_s);
    QCOMPARE(m.nte, QStringList{u"NTE|1|pH 4\\F\\5 \\S\\ R\\T\\D \\R\\ C:\\E\\ tr\u00fcb\\X0A\\zweite Zeile"_s});
    QCOMPARE(m.obx.first(), u"OBX|1|NM|AMP^Amphetamines||<50\\F\\x|ng/mL|500|neg\\S\\ativ|||F"_s);
    QCOMPARE(m.pid, u"PID|1||P100||Meier^Anna||19800101|F"_s); // sent as stored
    importOrder(station, OrderBuilder().sample(u"A|B"_s));
    QVERIFY(compose(station, u"A|B"_s).msh.endsWith(u"|ORU^R01|A\\F\\B|P|2.3"_s));
}

void TestResultMessage::moreThanNinetyNineResults()
{
    KESTRIN_STATION(station);
    importOrder(station, OrderBuilder());
    for (int p = 100; p < 220; ++p) {
        station.db().exec(u"INSERT INTO TEST_DEF (PARAMETER_ID, IMP_CODE_LDT, PRINT_POS) VALUES (?, ?, ?)"_s,
                          {p, u"T%1"_s.arg(p), p});
        addResult(station, u"4711"_s, p, u"1"_s, u"n"_s);
    }
    const ResultMessage m = compose(station, u"4711"_s);
    QCOMPARE(m.obx.size(), 120);
    QVERIFY(m.obx.last().startsWith(u"OBX|120|NM|T219^|"_s));
}

void TestResultMessage::numericResultInRegionalFormat_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("separator");
    QTest::addColumn<QVariant>("result");
    QTest::addColumn<QString>("value");
    for (const QString& engine : {u"sqlite"_s, u"postgres"_s}) {
        const auto row = [&](const char* name) -> QTestData& {
            return QTest::addRow("%s: %s", qPrintable(engine), name) << engine;
        };
        row("fraction") << u","_s << QVariant(12.5) << u"12,5"_s;
        row("whole number") << u","_s << QVariant(74) << u"74"_s;
        row("decimal point configured") << u"."_s << QVariant(0.25) << u"0.25"_s;
        row("text column unchanged") << u","_s << QVariant(u"12.5"_s) << u"12.5"_s;
    }
}

// An existing laboratory database may keep RESULTS.RESULT as a number.
void TestResultMessage::numericResultInRegionalFormat()
{
    QFETCH(QVariant, result);
    QFETCH(QString, separator);
    KESTRIN_STATION(station);
    station.config.DecimalSeparator = separator;
    if (result.metaType().id() != QMetaType::QString) {
        station.db().exec(u"DROP TABLE RESULTS"_s);
        station.db().exec(u"CREATE TABLE RESULTS (SAMPLE_ID VARCHAR(19), PARAMETER_ID INTEGER, RESULT NUMERIC(10, 2), "
                          u"INTERPRETATION VARCHAR(60))"_s);
    }
    importOrder(station, OrderBuilder());
    addResult(station, u"4711"_s, 1, result, u"negative"_s);
    QFETCH(QString, value);
    QCOMPARE(compose(station, u"4711"_s).obx.first().section(u'|', 5, 5), value);
}

void TestResultMessage::observationTime_data()
{
    QTest::addColumn<QDateTime>("lastChange");
    QTest::addColumn<QString>("field");
    QTest::newRow("afternoon") << QDateTime(QDate(2019, 1, 20), QTime(14, 5, 3)) << u"201901201405"_s;
    QTest::newRow("exactly midnight") << QDateTime(QDate(2019, 1, 20), QTime(0, 0)) << u"20190120"_s;
    QTest::newRow("half a minute past midnight") << QDateTime(QDate(2019, 1, 20), QTime(0, 0, 30)) << u"201901200000"_s;
    QTest::newRow("none") << QDateTime() << QString();
}

void TestResultMessage::observationTime()
{
    QFETCH(QDateTime, lastChange);
    QTEST(ObservationTime(lastChange), "field");
}

void TestResultMessage::fileNames_data()
{
    QTest::addColumn<QString>("leader");
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("name");
    QTest::newRow("leader and extension") << u"ORU_"_s << u"4711"_s << u".hl7"_s << u"ORU_4711.hl7"_s;
    QTest::newRow("neither") << QString() << u"4711"_s << QString() << u"4711"_s;
    QTest::newRow("extension without dot") << QString() << u"4711"_s << u"hl7"_s << u"4711hl7"_s;
    // A replaced character adds a suffix of the real ID, so that A/B and A:B keep two files.
    QTest::newRow("path characters") << QString() << u"../a/b\\c:d*e?f\"g<h>i|j"_s << QString()
                                     << u".._a_b_c_d_e_f_g_h_i_j~f2eed415"_s;
    QTest::newRow("slash") << u"ORU_"_s << u"A/B"_s << u".hl7"_s << u"ORU_A_B~239c020a.hl7"_s;
    QTest::newRow("colon") << u"ORU_"_s << u"A:B"_s << u".hl7"_s << u"ORU_A_B~7a424194.hl7"_s;
    QTest::newRow("control character") << u"ORU_"_s << u"a\u0001b"_s << u".hl7"_s << u"ORU_a_b~493640e3.hl7"_s;
    QTest::newRow("dots alone") << QString() << u".."_s << QString() << u"__~9d891e73"_s;
    QTest::newRow("trailing dot and blank") << QString() << u"A. "_s << QString() << u"A__~b87d17bc"_s;
    QTest::newRow("trailing dot before an extension") << QString() << u"A."_s << u".hl7"_s << u"A..hl7"_s;
    QTest::newRow("device name") << QString() << u"CON"_s << QString() << u"_ON~7679a072"_s;
    QTest::newRow("device name with extension") << QString() << u"con.x"_s << QString() << u"_on.x~3ba65b6a"_s;
    QTest::newRow("device name behind a leader") << u"ORU_"_s << u"CON"_s << u".hl7"_s << u"ORU_CON.hl7"_s;
    QTest::newRow("device name begun by the leader") << u"COM"_s << u"1"_s << u".hl7"_s << u"COM_~356a192b.hl7"_s;
}

void TestResultMessage::fileNames()
{
    QFETCH(QString, leader);
    QFETCH(QString, sample);
    QFETCH(QString, extension);
    QTEST(ResultFileName(leader, sample, extension), "name");
}

KESTRIN_TEST_MAIN(TestResultMessage)
#include "tst_resultmessage.moc"
