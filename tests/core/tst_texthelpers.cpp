#include "TestMain.h"
#include "core/Numbers.h"
#include "core/TextChecks.h"
#include "core/TextCodec.h"
#include "core/TextLines.h"
#include "core/Values.h"

using namespace Qt::StringLiterals;
using namespace kestrin;

class TestTextHelpers : public QObject {
    Q_OBJECT
private slots:
    void matchesMask_data();
    void matchesMask();
    void isCleanText_data();
    void isCleanText();
    void nameControlCharacters_data();
    void nameControlCharacters();
    void nullToText_data();
    void nullToText();
    void numberOrZero_data();
    void numberOrZero();
    void leadingNumber_data();
    void leadingNumber();
    void roundHalfEven_data();
    void roundHalfEven();
    void splitLines_data();
    void splitLines();
    void codecRoundTrip_data();
    void codecRoundTrip();
    void unknownCharset();
};

void TestTextHelpers::matchesMask_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<bool>("matches");
    QTest::newRow("wildcard") << u"ABC"_s << u"A?C"_s << true;
    QTest::newRow("shorter mask") << u"ABC"_s << u"A?"_s << false;
    QTest::newRow("exact") << u"QC1"_s << u"QC1"_s << true;
    QTest::newRow("case matters") << u"qc1"_s << u"QC1"_s << false;
    QTest::newRow("one differs") << u"ABD"_s << u"A?C"_s << false;
    QTest::newRow("both empty") << QString() << QString() << true;
    QTest::newRow("? in the text is no wildcard") << u"A?C"_s << u"ABC"_s << false;
}

void TestTextHelpers::matchesMask()
{
    QFETCH(QString, text);
    QFETCH(QString, mask);
    QTEST(MatchesMask(text, mask), "matches");
}

void TestTextHelpers::isCleanText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("clean");
    QTest::newRow("plain") << u"S12345"_s << true;
    QTest::newRow("empty") << QString() << true;
    QTest::newRow("blank") << u"S1 2"_s << false;
    QTest::newRow("backslash") << u"S1\\2"_s << false;
    QTest::newRow("plus") << u"S1+"_s << false;
    QTest::newRow("star") << u"*S1"_s << false;
    QTest::newRow("dollar") << u"S$1"_s << false;
    QTest::newRow("paragraph") << u"S\u00a71"_s << false;
    QTest::newRow("apostrophe") << u"O'Neil"_s << false;
    QTest::newRow("umlaut is fine") << u"M\u00fcller"_s << true;
}

void TestTextHelpers::isCleanText()
{
    QFETCH(QString, text);
    QTEST(IsCleanText(text), "clean");
}

void TestTextHelpers::nameControlCharacters_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");
    QTest::newRow("frame") << u"\x02"
                              "A\x03\r\n"_s
                           << u"{STX}A{ETX}{CR}{LF}"_s;
    QTest::newRow("all named") << u"\x04\x05\x06\x15\x17\x11"_s << u"{EOT}{ENQ}{ACK}{NAK}{ETB}{DC1}"_s;
    QTest::newRow("others unchanged") << u"\x01\x07\tx"_s << u"\x01\x07\tx"_s;
    QTest::newRow("empty") << QString() << QString();
}

void TestTextHelpers::nameControlCharacters()
{
    QFETCH(QString, text);
    QTEST(NameControlCharacters(text), "expected");
}

void TestTextHelpers::nullToText_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("null") << QVariant() << QString();
    QTest::newRow("null text") << QVariant(QMetaType(QMetaType::QString)) << QString();
    QTest::newRow("text") << QVariant(u"abc"_s) << u"abc"_s;
    QTest::newRow("integer") << QVariant(42) << u"42"_s;
    QTest::newRow("real with the regional separator") << QVariant(1.5) << u"1,5"_s;
    QTest::newRow("date and time") << QVariant(QDateTime(QDate(2019, 1, 20), QTime(14, 5, 3)))
                                   << u"20.01.2019 14:05:03"_s;
    QTest::newRow("date at midnight") << QVariant(QDateTime(QDate(2019, 1, 20), QTime(0, 0))) << u"20.01.2019"_s;
}

void TestTextHelpers::nullToText()
{
    QFETCH(QVariant, value);
    QTEST(NullToText(value), "expected");
}

void TestTextHelpers::numberOrZero_data()
{
    QTest::addColumn<QVariant>("value");
    QTest::addColumn<float>("expected");
    QTest::newRow("null") << QVariant() << 0.0f;
    QTest::newRow("blanks") << QVariant(u"   "_s) << 0.0f;
    QTest::newRow("integer text") << QVariant(u"17"_s) << 17.0f;
    QTest::newRow("blanks around") << QVariant(u" 17 "_s) << 17.0f;
    QTest::newRow("decimal point") << QVariant(u"1.5"_s) << 1.5f;
    QTest::newRow("decimal comma") << QVariant(u"1,5"_s) << 1.5f;
    QTest::newRow("letters") << QVariant(u"17a"_s) << 0.0f;
    QTest::newRow("number") << QVariant(250) << 250.0f;
}

void TestTextHelpers::numberOrZero()
{
    QFETCH(QVariant, value);
    QTEST(NumberOrZero(value), "expected");
}

void TestTextHelpers::leadingNumber_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("expected");
    QTest::newRow("number") << u"8"_s << 8.0;
    QTest::newRow("fraction") << u"7.5"_s << 7.5;
    QTest::newRow("unit after") << u"12h"_s << 12.0;
    QTest::newRow("blanks inside") << u" 1 2 "_s << 12.0;
    QTest::newRow("letters first") << u"ab12"_s << 0.0;
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("negative") << u"-3"_s << -3.0;
    QTest::newRow("exponent") << u"1e3x"_s << 1000.0;
    QTest::newRow("dangling exponent") << u"2e"_s << 2.0;
    QTest::newRow("point only") << u"."_s << 0.0;
}

void TestTextHelpers::leadingNumber()
{
    QFETCH(QString, text);
    QTEST(LeadingNumber(text), "expected");
}

void TestTextHelpers::roundHalfEven_data()
{
    QTest::addColumn<double>("value");
    QTest::addColumn<double>("expected");
    QTest::newRow("0.5") << 0.5 << 0.0;
    QTest::newRow("1.5") << 1.5 << 2.0;
    QTest::newRow("2.5") << 2.5 << 2.0;
    QTest::newRow("2.6") << 2.6 << 3.0;
    QTest::newRow("-2.5") << -2.5 << -2.0;
    QTest::newRow("-3.5") << -3.5 << -4.0;
    QTest::newRow("whole") << 7.0 << 7.0;
}

void TestTextHelpers::roundHalfEven()
{
    QFETCH(double, value);
    QTEST(RoundHalfEven(value), "expected");
}

void TestTextHelpers::splitLines_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("lines");
    QTest::newRow("CR LF") << u"a\r\nb\r\n"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("LF") << u"a\nb"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("lone CR") << u"a\rb\r"_s << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("mixed with empty line") << u"a\r\rb\n\nc"_s << QStringList{u"a"_s, u""_s, u"b"_s, u""_s, u"c"_s};
    QTest::newRow("LF CR is two ends") << u"a\n\rb"_s << QStringList{u"a"_s, u""_s, u"b"_s};
    QTest::newRow("empty") << QString() << QStringList();
}

void TestTextHelpers::splitLines()
{
    QFETCH(QString, text);
    QTEST(SplitLines(text), "lines");
}

void TestTextHelpers::codecRoundTrip_data()
{
    QTest::addColumn<QString>("charset");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("windows-1252 umlaut and euro")
        << u"windows-1252"_s << u"M\u00fcller \u20ac"_s << QByteArray("M\xfcller \x80");
    QTest::newRow("windows-1252 quotes") << u"cp1252"_s << u"\u201eA\u201c"_s
                                         << QByteArray("\x84"
                                                       "A\x93");
    QTest::newRow("ISO-8859-1") << u"ISO-8859-1"_s << u"Stra\u00dfe"_s
                                << QByteArray("Stra\xdf"
                                              "e");
    QTest::newRow("UTF-8") << u"UTF-8"_s << u"Stra\u00dfe"_s
                           << QByteArray("Stra\xc3\x9f"
                                         "e");
}

void TestTextHelpers::codecRoundTrip()
{
    QFETCH(QString, charset);
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    const TextCodec codec(charset);
    QVERIFY(codec.isValid());
    QCOMPARE(codec.encode(text), bytes);
    QCOMPARE(codec.decode(bytes), text);
}

void TestTextHelpers::unknownCharset()
{
    QVERIFY(!TextCodec::isKnown(u"klingon-8"_s));
    QVERIFY(!TextCodec::isKnown(QString()));
    QVERIFY(IsValidUtf8("Stra\xc3\x9f"
                        "e"));
    QVERIFY(!IsValidUtf8("Stra\xdf"
                         "e"));
}

KESTRIN_TEST_MAIN(TestTextHelpers)
#include "tst_texthelpers.moc"
