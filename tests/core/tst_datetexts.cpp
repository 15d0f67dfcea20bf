#include "TestMain.h"
#include "core/DateTexts.h"

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {
const RegionalFormat german{u"dd.MM.yyyy"_s, u"HH:mm:ss"_s};
const RegionalFormat american{u"M/d/yyyy"_s, u"h:mm:ss AP"_s};
} // namespace

Q_DECLARE_METATYPE(kestrin::RegionalFormat)

class TestDateTexts : public QObject {
    Q_OBJECT
private slots:
    void nowText_data();
    void nowText();
    void toDbDateTime_data();
    void toDbDateTime();
    void parseDisplayDateTime_data();
    void parseDisplayDateTime();
    void parseCompactDate_data();
    void parseCompactDate();
};

void TestDateTexts::nowText_data()
{
    QTest::addColumn<RegionalFormat>("format");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("expected");
    const QDateTime afternoon(QDate(2019, 1, 20), QTime(14, 5, 3));
    QTest::newRow("home setting") << german << afternoon << u"20.01.2019 14:05:03"_s;
    QTest::newRow("12-hour setting") << american << afternoon << u"1/20/2019 2:05:03 PM"_s;
    QTest::newRow("midnight keeps its time")
        << german << QDateTime(QDate(2019, 1, 20), QTime(0, 0)) << u"20.01.2019 00:00:00"_s;
}

void TestDateTexts::nowText()
{
    QFETCH(RegionalFormat, format);
    QFETCH(QDateTime, now);
    QTEST(NowText(now, format), "expected");
}

void TestDateTexts::toDbDateTime_data()
{
    QTest::addColumn<RegionalFormat>("format");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("expected");

    QTest::newRow("date and time") << german << u"20.01.2019 14:05:03"_s << u"20190120 14:05:03"_s;
    QTest::newRow("date alone") << german << u"20.01.2019"_s << u"20190120"_s;
    QTest::newRow("single-digit day and month") << german << u"5.3.2019 08:00:00"_s << u"20190305 08:00:00"_s;
    QTest::newRow("time without seconds") << german << u"20.01.2019 14:05"_s << u"20190120 14:05"_s;
    QTest::newRow("empty") << german << QString() << QString();
    QTest::newRow("no date") << german << u"tomorrow"_s << u"tomorrow"_s;
    QTest::newRow("impossible date") << german << u"31.02.2019 10:00:00"_s << u"31.02.2019 10:00:00"_s;
    QTest::newRow("other regional format") << german << u"1/20/2019 2:05:03 PM"_s << u"1/20/2019 2:05:03 PM"_s;
    QTest::newRow("PM") << american << u"1/20/2019 2:05:03 PM"_s << u"20190120 14:05:03"_s;
    QTest::newRow("12:30 PM stays 12") << american << u"1/20/2019 12:30:00 PM"_s << u"20190120 12:30:00"_s;
    QTest::newRow("12:30 AM is 00") << american << u"1/20/2019 12:30:00 AM"_s << u"20190120 00:30:00"_s;
    QTest::newRow("AM gets two hour digits") << american << u"1/20/2019 9:05:03 AM"_s << u"20190120 09:05:03"_s;
    QTest::newRow("PM without seconds") << american << u"1/20/2019 11:59 PM"_s << u"20190120 23:59"_s;
    QTest::newRow("12-hour date alone") << american << u"12/31/2019"_s << u"20191231"_s;
}

void TestDateTexts::toDbDateTime()
{
    QFETCH(RegionalFormat, format);
    QFETCH(QString, text);
    QTEST(ToDbDateTime(text, format), "expected");
}

void TestDateTexts::parseDisplayDateTime_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected");

    QTest::newRow("date") << u"24.12.2005"_s << QDateTime(QDate(2005, 12, 24), QTime(0, 0));
    QTest::newRow("date and time") << u"24.12.2005 08:15"_s << QDateTime(QDate(2005, 12, 24), QTime(8, 15));
    QTest::newRow("10 characters without dots") << u"2019-01-20"_s << ZeroDate();
    QTest::newRow("16 characters without time separators") << u"24.12.2005T08-15"_s << ZeroDate();
    QTest::newRow("short year") << u"20.01.19"_s << DefaultDate();
    QTest::newRow("empty") << QString() << DefaultDate();
    QTest::newRow("with seconds") << u"24.12.2005 08:15:00"_s << DefaultDate();
    QTest::newRow("no such day") << u"31.02.2019"_s << DefaultDate();
    QTest::newRow("no such hour") << u"24.12.2005 25:15"_s << DefaultDate();
    QTest::newRow("letters in the shape") << u"ab.cd.efgh"_s << DefaultDate();
    QTest::newRow("leap day") << u"29.02.2000"_s << QDateTime(QDate(2000, 2, 29), QTime(0, 0));
}

void TestDateTexts::parseDisplayDateTime()
{
    QFETCH(QString, text);
    QTEST(ParseDisplayDateTime(text), "expected");
}

void TestDateTexts::parseCompactDate_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDate>("expected");
    const QDate defaultDate(1900, 1, 1);
    QTest::newRow("date") << u"20000229"_s << QDate(2000, 2, 29);
    QTest::newRow("seven digits") << u"2000022"_s << defaultDate;
    QTest::newRow("nine digits") << u"200002290"_s << defaultDate;
    QTest::newRow("no such date") << u"20190230"_s << defaultDate;
    QTest::newRow("not numeric") << u"2019012a"_s << defaultDate;
    QTest::newRow("empty") << QString() << defaultDate;
    QTest::newRow("1 January 1900") << u"19000101"_s << defaultDate;
}

void TestDateTexts::parseCompactDate()
{
    QFETCH(QString, text);
    QTEST(ParseCompactDate(text), "expected");
}

KESTRIN_TEST_MAIN(TestDateTexts)
#include "tst_datetexts.moc"
