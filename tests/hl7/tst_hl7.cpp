#include "TestEnvironment.h"
#include "TestMain.h"
#include "core/TextLines.h"
#include "hl7/Escaping.h"
#include "hl7/FileDecoding.h"
#include "hl7/Message.h"

using namespace Qt::StringLiterals;
using namespace kestrin;

class TestHl7 : public QObject {
    Q_OBJECT
private slots:
    void reading_data();
    void reading();
    void corpusPrintsAsRead();
    void escapes_data();
    void escapes();
    void decoding_data();
    void decoding();
};

void TestHl7::reading_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("message");
    QTest::addColumn<int>("segment");
    QTest::addColumn<int>("field");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QString>("delimiters"); // the message's field separator and MSH-2

    const QString order = u"MSH|^~\\&|A|B|C|D|||ORM^O01|X1|P|2.3\rPID|1|| P100 ||Meier^Anna\r"_s;
    QTest::newRow("MSH-9") << order << 0 << 0 << 9 << u"ORM^O01"_s << u"|^~\\&"_s;
    QTest::newRow("MSH-2 the encoding characters") << order << 0 << 0 << 2 << u"^~\\&"_s << u"|^~\\&"_s;
    QTest::newRow("MSH-1 is the separator, no field") << order << 0 << 0 << 1 << QString() << u"|^~\\&"_s;
    QTest::newRow("blanks kept") << order << 0 << 1 << 3 << u" P100 "_s << u"|^~\\&"_s;
    QTest::newRow("beyond the last field") << order << 0 << 1 << 6 << QString() << u"|^~\\&"_s;
    const QString declared = u"MSH#*!$@#A#B\rPID#1##P|1##Meier*Anna\r"_s;
    QTest::newRow("declared delimiters") << declared << 0 << 1 << 3 << u"P|1"_s << u"#*!$@"_s;
    QTest::newRow("MSH declaring three") << u"MSH|^\\&|A\r"_s << 0 << 0 << 3 << u"A"_s << u"|^\\&&"_s;
    QTest::newRow("blanks around MSH-2") << u"MSH| ^~\\& |A\r"_s << 0 << 0 << 3 << u"A"_s << u"|^~\\&"_s;
    QTest::newRow("lines before MSH") << u"FHS|^~\\&\rMSH#^~\\&#A\r"_s << 0 << 0 << 1 << u"^~\\&"_s << u"|^~\\&"_s;
    QTest::newRow("each MSH begins a message")
        << u"MSH|^~\\&|A\rPID|1\rmsh#^~\\&#B\rPID#1##X\r"_s << 1 << 1 << 3 << u"X"_s << u"#^~\\&"_s;
    QTest::newRow("line ends of every kind, empty lines left out")
        << u"MSH|^~\\&\r\n\nPID|1\n\rORC|NW|4711"_s << 0 << 2 << 2 << u"4711"_s << u"|^~\\&"_s;
    QTest::newRow("MSH alone declares nothing") << u"MSH\rPID|1|2"_s << 0 << 1 << 2 << u"2"_s << u"|^~\\&"_s;
}

void TestHl7::reading()
{
    QFETCH(QString, text);
    QFETCH(int, message);
    QFETCH(int, segment);
    QFETCH(int, field);
    const QList<Hl7Message> messages = ReadHl7(text);
    QVERIFY(message < messages.size() && segment < messages.at(message).size());
    const Hl7Message& m = messages.at(message);
    QTEST(m.segment(segment).field(field), "value");
    QTEST(QString(m.delimiters.field + m.delimiters.encodingCharacters()), "delimiters");
}

// Read, printed and read again, every message of the corpus keeps its fields; printed, its
// lines are the file's lines as they were (empty lines left out).
void TestHl7::corpusPrintsAsRead()
{
    KESTRIN_CORPUS(files);
    for (const QString& name : files) {
        const QString text = DecodeOrderFile(test::ReadFile(test::CorpusDir().filePath(name)), u"windows-1252"_s);
        const QList<Hl7Message> messages = ReadHl7(text);
        QVERIFY2(!messages.isEmpty(), qPrintable(name));
        QString printed;
        for (const Hl7Message& message : messages)
            printed += PrintHl7(message);
        QStringList lines = SplitLines(text);
        lines.removeAll(QString());
        QCOMPARE(printed, lines.join(u'\r') + u'\r');
        const QList<Hl7Message> again = ReadHl7(printed);
        QCOMPARE(again.size(), messages.size());
        for (qsizetype m = 0; m < messages.size(); ++m) {
            const Hl7Message& message = messages.at(m);
            QCOMPARE(again.at(m).size(), message.size());
            for (qsizetype i = 0; i < message.size(); ++i) {
                const Hl7Segment segment = message.segment(i);
                QCOMPARE(again.at(m).segment(i).fields, segment.fields);
                QCOMPARE(PrintHl7Segment(segment, message.delimiters.field), message.line(i).toString());
            }
        }
    }
}

void TestHl7::escapes_data()
{
    QTest::addColumn<QString>("escaped");
    QTest::addColumn<QString>("plain");
    QTest::addColumn<bool>("roundTrips");
    QTest::newRow("field") << u"A\\F\\B"_s << u"A|B"_s << true;
    QTest::newRow("component") << u"O\\S\\Neil"_s << u"O^Neil"_s << true;
    QTest::newRow("subcomponent") << u"R\\T\\D"_s << u"R&D"_s << true;
    QTest::newRow("repetition") << u"a\\R\\b"_s << u"a~b"_s << true;
    QTest::newRow("escape") << u"C:\\E\\temp"_s << u"C:\\temp"_s << true;
    QTest::newRow("formatting stays") << u"line\\.br\\next"_s << u"line\\.br\\next"_s << false;
    QTest::newRow("lone escape character stays") << u"a\\b"_s << u"a\\b"_s << false;
    QTest::newRow("nothing to do") << u"Meier"_s << u"Meier"_s << true;
}

void TestHl7::escapes()
{
    QFETCH(QString, escaped);
    QFETCH(QString, plain);
    QFETCH(bool, roundTrips);
    QCOMPARE(UnescapeHl7(escaped), plain);
    if (roundTrips)
        QCOMPARE(EscapeHl7(plain), escaped);
}

void TestHl7::decoding_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QString>("name");
    const QByteArray head = "MSH|^~\\&|A|B|C|D|||ORM^O01|1|P|2.3|||||";
    QTest::newRow("MSH-18 8859/1") << head + "|8859/1\rPID|1||1||M\xfcller^A\r" << u"UTF-8"_s << u"M\u00fcller^A"_s;
    QTest::newRow("MSH-18 UNICODE UTF-8")
        << head + "|UNICODE UTF-8\rPID|1||1||M\xc3\xbcller^A\r" << u"windows-1252"_s << u"M\u00fcller^A"_s;
    QTest::newRow("undeclared valid UTF-8")
        << head + "|\rPID|1||1||M\xc3\xbcller^A\r" << u"windows-1252"_s << u"M\u00fcller^A"_s;
    QTest::newRow("undeclared windows-1252")
        << head + "|\rPID|1||1||M\xfcller \x80^A\r" << u"windows-1252"_s << u"M\u00fcller \u20ac^A"_s;
    QTest::newRow("unknown declaration") << head + "|ISO IR87\rPID|1||1||M\xfcller^A\r" << u"windows-1252"_s
                                         << u"M\u00fcller^A"_s;
    QTest::newRow("byte order mark") << QByteArray("\xEF\xBB\xBF") + head + "|\rPID|1||1||M\xc3\xbcller^A\r"
                                     << u"windows-1252"_s << u"M\u00fcller^A"_s;
}

void TestHl7::decoding()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, configured);
    QFETCH(QString, name);
    const QString text = DecodeOrderFile(bytes, configured);
    QVERIFY(text.startsWith(u"MSH|"_s));
    QVERIFY2(text.contains(u"||"_s + name + u'\r'), qPrintable(text));
}

KESTRIN_TEST_MAIN(TestHl7)
#include "tst_hl7.moc"
