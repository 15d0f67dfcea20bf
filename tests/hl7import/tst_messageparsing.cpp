#include "TestMain.h"
#include "hl7import/ImportFolder.h"
#include "hl7import/MessageError.h"
#include "hl7import/MessageParsing.h"

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

QString fields(int count) // "|1|2|...|count"
{
    QString line;
    for (int i = 1; i <= count; ++i)
        line += u'|' + QString::number(i);
    return line;
}

} // namespace

class TestMessageParsing : public QObject {
    Q_OBJECT
private slots:
    void fieldPositions_data();
    void fieldPositions();
    void fieldBounds_data();
    void fieldBounds();
    void laterSegmentOverwritesOnlyItsFields();
    void orderSegments_data();
    void orderSegments();
    void patientName_data();
    void patientName();
    void notes_data();
    void notes();
    void extensionRule_data();
    void extensionRule();
};

void TestMessageParsing::fieldPositions_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("segment");
    QTest::addColumn<int>("column"); // element or column of the buffer
    QTest::addColumn<QString>("value");

    const QString msh = u"MSH|^~\\&|A|B|C|D|||ORM^O01|X1|P|2.3"_s;
    QTest::newRow("MSH-2 encoding characters") << msh << u"MSH"_s << 2 << u"^~\\&"_s;
    QTest::newRow("MSH-3") << msh << u"MSH"_s << 3 << u"A"_s;
    QTest::newRow("MSH-9") << msh << u"MSH"_s << 9 << u"ORM^O01"_s;
    QTest::newRow("MSH-10") << msh << u"MSH"_s << 10 << u"X1"_s;
    QTest::newRow("MSH-1 stays empty") << msh << u"MSH"_s << 1 << QString();
    QTest::newRow("PID-3") << u"PID|1||P100||Meier^Anna"_s << u"PID"_s << 3 << u"P100"_s;
    QTest::newRow("blanks around removed") << u"PID|1||  P 100  |"_s << u"PID"_s << 3 << u"P 100"_s;
    QTest::newRow("tabs are no blanks") << u"PID|1||\tP100|"_s << u"PID"_s << 3 << u"\tP100"_s;
    QTest::newRow("ORC-21") << u"ORC|NW|4711"_s + QString(u"|"_s).repeated(19) + u"KIS1"_s << u"ORC"_s << 21
                            << u"KIS1"_s;
    QTest::newRow("OBR-4") << u"OBR|1|4711||AMP^Amphetamines"_s << u"OBR"_s << 4 << u"AMP^Amphetamines"_s;
    QTest::newRow("NTE-3 in column 4") << u"NTE|1|L|URIN DATUM 24.12.2005"_s << u"NTE"_s << 4
                                       << u"URIN DATUM 24.12.2005"_s;
    QTest::newRow("NTE column 1 stays empty") << u"NTE|1|L|x"_s << u"NTE"_s << 1 << QString();
    QTest::newRow("identifier in lower case") << u"pid|1||P7"_s << u"pid"_s << 3 << u"P7"_s;
    QTest::newRow("MSH declaring # between fields") << u"MSH#^~\\&#A|B#C"_s << u"MSH"_s << 3 << u"A|B"_s;
}

void TestMessageParsing::fieldPositions()
{
    QFETCH(QString, line);
    QFETCH(QString, segment);
    QFETCH(int, column);
    OrderMessage m;
    SplitSegmentFields(m, line, 1, segment);
    const QString id = segment.toUpper();
    const QString& stored = id == u"MSH" ? m.MshFields.at(column)
        : id == u"PID"                   ? m.PidFields.at(column)
        : id == u"ORC"                   ? m.OrcFields.at(column)
        : id == u"OBR"                   ? m.ObrFields.at(1).at(column)
                                         : m.NteFields.at(1).at(column);
    QTEST(stored, "value");
}

void TestMessageParsing::fieldBounds_data()
{
    QTest::addColumn<QString>("line");
    QTest::addColumn<bool>("fits");
    QTest::newRow("OBR with 20 fields") << u"OBR"_s + fields(20) << true;
    QTest::newRow("OBR with 21 fields") << u"OBR"_s + fields(21) << false;
    QTest::newRow("OBR with 20 fields and a trailing |") << u"OBR"_s + fields(20) + u"|"_s << false;
    QTest::newRow("OBR with empty fields beyond 20") << u"OBR|1"_s + QString(u"|"_s).repeated(20) << false;
    QTest::newRow("OBX with 20 fields") << u"OBX"_s + fields(20) << true;
    QTest::newRow("OBX with 21 fields") << u"OBX"_s + fields(21) << false;
    QTest::newRow("NTE with 4 fields") << u"NTE"_s + fields(4) << true;
    QTest::newRow("NTE with 5 fields") << u"NTE"_s + fields(5) << false;
    QTest::newRow("PID with 99 fields") << u"PID"_s + fields(99) << true;
    QTest::newRow("PID with 100 fields") << u"PID"_s + fields(100) << false;
    QTest::newRow("MSH up to MSH-99") << u"MSH"_s + fields(98) << true;
    QTest::newRow("MSH beyond MSH-99") << u"MSH"_s + fields(99) << false;
}

void TestMessageParsing::fieldBounds()
{
    QFETCH(QString, line);
    QFETCH(bool, fits);
    OrderMessage m;
    bool failed = false;
    try {
        SplitSegmentFields(m, line, 1, line.left(3));
    } catch (const MessageError&) {
        failed = true;
    }
    QCOMPARE(!failed, fits);
}

void TestMessageParsing::laterSegmentOverwritesOnlyItsFields()
{
    OrderMessage m;
    SplitSegmentFields(m, u"MSH|^~\\&|A|B|C|D|||ORM^O01|X1|P|2.3"_s, 1, u"MSH"_s);
    SplitSegmentFields(m, u"MSH|^~\\&|Z"_s, 2, u"MSH"_s);
    QCOMPARE(m.msh(3), u"Z"_s);
    QCOMPARE(m.msh(10), u"X1"_s);
}

void TestMessageParsing::orderSegments_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("archived"); // control ID, kind, counter
    QTest::addColumn<QStringList>("unknown");
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QString>("surname");
    const QString msh = u"MSH|^~\\&|A|B|C|D|||ORM^O01|X1|P|2.3\r"_s;
    QTest::newRow("the lines kept") << msh +
            u"PID|1||P1||M^A\rPV1|1\rORC|NW|4711\rOBR|1||AMP\rOBR|2||THC\rOBX|1\rOBX|2\rNTE|1|L|x\r"_s
                                    << QStringList{u"X1 MSH 1"_s, u"X1 PID 1"_s, u"X1 PV1 1"_s,
                                                   u"X1 ORC 1"_s, u"X1 OBX 1"_s, u"X1 OBX 2"_s}
                                    << QStringList() << u"4711"_s << u"M"_s;
    QTest::newRow("before the MSH no control ID")
        << u"PID|1||P1||M^A\r"_s + msh << QStringList{u" PID 1"_s, u"X1 MSH 1"_s} << QStringList() << QString()
        << u"M"_s;
    QTest::newRow("unknown kinds as read")
        << u"ZZZ|1\r"_s + msh + u"zzz|1\rORC|NW|4711\r"_s << QStringList{u"X1 MSH 1"_s, u"X1 ORC 1"_s}
        << QStringList{u"ZZZ"_s, u"zzz"_s} << u"4711"_s << QString();
    QTest::newRow("declared delimiters") << u"MSH#*~\\&#A#######X\\F\\1\rPID#1##P1##Meier*Anna\rORC#NW#47\\F\\11\r"_s
                                         << QStringList{u"X#1 MSH 1"_s, u"X#1 PID 1"_s, u"X#1 ORC 1"_s} << QStringList()
                                         << u"47#11"_s << u"Meier"_s;
}

void TestMessageParsing::orderSegments()
{
    QFETCH(QString, text);
    OrderMessage m;
    QStringList unknown;
    QStringList archived;
    for (const ArchivedLine& line :
         ReadOrderSegments(ReadHl7(text), m, [&](const QString& identifier) { unknown << identifier; }))
        archived << u"%1 %2 %3"_s.arg(line.controlId, line.identifier).arg(line.counter);
    QTEST(archived, "archived");
    QTEST(unknown, "unknown");
    QTEST(FieldValue(m, m.orc(2)), "sample");
    QTEST(m.PatientSurname, "surname");
}

void TestMessageParsing::patientName_data()
{
    QTest::addColumn<QString>("pid5");
    QTest::addColumn<bool>("valid");
    QTest::addColumn<QString>("surname");
    QTest::addColumn<QString>("forename");
    QTest::newRow("surname and forename") << u"Meier^Anna"_s << true << u"Meier"_s << u"Anna"_s;
    QTest::newRow("title before the forename") << u"Doe^John^^^^^Dr"_s << true << u"Doe"_s << u"Dr John"_s;
    QTest::newRow("two titles") << u"Doe^John^^^^^Prof^Dr"_s << true << u"Doe"_s << u"Prof Dr John"_s;
    QTest::newRow("empty title adds a blank") << u"Doe^John^^^^^^Dr"_s << true << u"Doe"_s << u"Dr John"_s;
    QTest::newRow("six components: no title") << u"Doe^John^M^^^Jr"_s << true << u"Doe"_s << u"John"_s;
    QTest::newRow("forename only") << u"^Anna"_s << true << QString() << u"Anna"_s;
    QTest::newRow("a single component fails") << u"Meier"_s << false << QString() << QString();
    QTest::newRow("empty fails") << QString() << false << QString() << QString();
}

void TestMessageParsing::patientName()
{
    QFETCH(QString, pid5);
    QFETCH(bool, valid);
    OrderMessage m;
    m.PidFields[5] = pid5;
    bool failed = false;
    try {
        SplitPatientName(m);
    } catch (const MessageError&) {
        failed = true;
    }
    QCOMPARE(!failed, valid);
    if (valid) {
        QTEST(m.PatientSurname, "surname");
        QTEST(m.PatientForename, "forename");
    }
}

void TestMessageParsing::notes_data()
{
    QTest::addColumn<QStringList>("comments");
    QTest::addColumn<QString>("standard");
    QTest::addColumn<QString>("date");
    QTest::addColumn<QString>("time");
    QTest::addColumn<QString>("remark");
    QTest::addColumn<QString>("material");
    QTest::addColumn<int>("flag");

    QTest::newRow("no notes") << QStringList() << u"S"_s << QString() << QString() << QString() << QString() << 0;
    QTest::newRow("date after URIN DATUM") << QStringList{u"Probe URIN DATUM 24.12.2005"_s} << u"S"_s << u"24.12.2005"_s
                                           << QString() << QString() << u"S"_s << 2;
    QTest::newRow("URIN last gives urine, remark kept")
        << QStringList{u"Abnahme 24.12.2005 URIN"_s} << u"S"_s << QString() << QString() << u"Abnahme 24.12.2005 URIN"_s
        << u"U"_s << 1;
    QTest::newRow("date and time") << QStringList{u"URIN DATUM 24.12.2005 URIN UHRZEIT 08:15"_s} << u"S"_s
                                   << u"24.12.2005"_s << u"08:15"_s << QString() << u"S"_s << 2;
    QTest::newRow("keywords in any case") << QStringList{u"urin datum 24.12.2005"_s} << u"S"_s << u"24.12.2005"_s
                                          << QString() << QString() << u"S"_s << 2;
    QTest::newRow("wrong length is no date")
        << QStringList{u"URIN DATUM 24.12.05"_s} << u"S"_s << QString() << QString() << QString() << u"S"_s << 2;
    QTest::newRow("DATUM alone keeps the comment out of the remark")
        << QStringList{u"Datum unbekannt"_s} << u"S"_s << QString() << QString() << QString() << u"S"_s << 2;
    QTest::newRow("remarks appended without separator") << QStringList{u"nuechtern"_s, u"eilig"_s} << u"S"_s
                                                        << QString() << QString() << u"nuechterneilig"_s << u"S"_s << 2;
    QTest::newRow("standard U keeps an earlier urine flag")
        << QStringList{u"URIN"_s, u"Serum"_s} << u"U"_s << QString() << QString() << u"URINSerum"_s << u"U"_s << 1;
    QTest::newRow("standard U without urine word")
        << QStringList{u"Serum"_s} << u"u"_s << QString() << QString() << u"Serum"_s << u"u"_s << 0;
    QTest::newRow("empty comment has no words")
        << QStringList{QString()} << u"S"_s << QString() << QString() << QString() << QString() << 0;
    QTest::newRow("two blanks give an empty last word")
        << QStringList{u"URIN  "_s} << u"S"_s << QString() << QString() << u"URIN  "_s << u"S"_s << 2;
}

void TestMessageParsing::notes()
{
    QFETCH(QStringList, comments);
    QFETCH(QString, standard);
    OrderMessage m;
    for (int k = 1; k <= comments.size(); ++k)
        m.NteFields[k][4] = comments.at(k - 1);
    EvaluateNotes(m, int(comments.size()), standard);
    QTEST(m.CollectionDateText, "date");
    QTEST(m.CollectionTimeText, "time");
    QTEST(m.CollectionRemark, "remark");
    QTEST(m.SampleMaterial, "material");
    QTEST(int(m.MaterialFlag), "flag");
}

void TestMessageParsing::extensionRule_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<bool>("taken");
    QTest::newRow("lower") << u"order.hl7"_s << u"hl7"_s << true;
    QTest::newRow("upper") << u"ORDER.HL7"_s << u"hl7"_s << true;
    QTest::newRow("mixed") << u"order.Hl7"_s << u"HL7"_s << true;
    QTest::newRow("no dot") << u"orderhl7"_s << u"hl7"_s << true;
    QTest::newRow("other extension") << u"order.txt"_s << u"hl7"_s << false;
    QTest::newRow("extension with a dot takes nothing") << u"order.hl7"_s << u".hl7"_s << false;
    QTest::newRow("short name") << u"l7"_s << u"hl7"_s << false;
    QTest::newRow("name equal to the extension") << u"hl7"_s << u"hl7"_s << true;
}

void TestMessageParsing::extensionRule()
{
    QFETCH(QString, name);
    QFETCH(QString, extension);
    QTEST(HasImportExtension(name, extension), "taken");
}

KESTRIN_TEST_MAIN(TestMessageParsing)
#include "tst_messageparsing.moc"
