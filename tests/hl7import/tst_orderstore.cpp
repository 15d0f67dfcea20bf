#include "LabStation.h"
#include "OrderBuilder.h"
#include "TestMain.h"
#include "hl7import/MessageError.h"
#include "hl7import/MessageReader.h"

using namespace Qt::StringLiterals;
using namespace kestrin;
using test::OrderBuilder;

namespace {

void read(test::LabStation& station, const OrderBuilder& order)
{
    OrderMessage message;
    ReadMessageText(station.ctx(), order.text(), message);
}

} // namespace

class TestOrderStore : public QObject {
    Q_OBJECT
private slots:
    void newSampleForAKnownPatient_data() { test::AddEngineRows(); }
    void newSampleForAKnownPatient();
    void sameMessageTwice_data() { test::AddEngineRows(); }
    void sameMessageTwice();
    void requestsAndUnknownCodes_data() { test::AddEngineRows(); }
    void requestsAndUnknownCodes();
    void birthDates_data();
    void birthDates();
    void collectionDates_data();
    void collectionDates();
    void customers_data() { test::AddEngineRows(); }
    void customers();
    void rolledBackBatchIsStoredWhole_data() { test::AddEngineRows(); }
    void rolledBackBatchIsStoredWhole();
    void cancellation_data() { test::AddEngineRows(); }
    void cancellation();
    void apostrophesAreData_data() { test::AddEngineRows(); }
    void apostrophesAreData();
    void longControlIdFindsItsSegments_data() { test::AddEngineRows(); }
    void longControlIdFindsItsSegments();
    void escapesResolvedInColumnsOnly_data() { test::AddEngineRows(); }
    void escapesResolvedInColumnsOnly();
    void longValuesCutToTheirColumns_data() { test::AddEngineRows(); }
    void longValuesCutToTheirColumns();
    void parameterBeyondSixteenBits_data() { test::AddEngineRows(); }
    void parameterBeyondSixteenBits();
    void messageWithoutIdentifiersFails_data();
    void messageWithoutIdentifiersFails();
    void segmentCountsAndArchive_data() { test::AddEngineRows(); }
    void segmentCountsAndArchive();
    void unknownSegmentsAreLogged_data() { test::AddEngineRows(); }
    void unknownSegmentsAreLogged();
};

void TestOrderStore::newSampleForAKnownPatient()
{
    KESTRIN_STATION(station);
    station.db().exec(u"INSERT INTO PATIENTS (SI_ID, SURNAME) VALUES (?, ?)"_s, {u"P100"_s, u"Old"_s});
    read(station, OrderBuilder().patient(u"P100"_s, u"Meier^Anna"_s, u"19800101"_s, u"F"_s).test(u"AMP"_s));
    const auto patient =
        station.db().first(u"SELECT P_ID, SURNAME, FORENAME, SEX FROM PATIENTS WHERE SI_ID = ?"_s, {u"P100"_s});
    QCOMPARE(patient->text(u"SURNAME"), u"Meier"_s);
    QCOMPARE(patient->text(u"FORENAME"), u"Anna"_s);
    QCOMPARE(patient->text(u"SEX"), u"F"_s);
    const auto sample = station.db().first(u"SELECT * FROM SAMPLE_BASE WHERE SAMPLE_ID = ?"_s, {u"4711"_s});
    QVERIFY(sample);
    QCOMPARE(sample->dateTime(u"ENTRY_DAT"), station.clock.now());
    QCOMPARE(sample->dateTime(u"LAST_CHANGE_DAT"), station.clock.now());
    QCOMPARE(sample->text(u"ENTRY_USER"), u"Kestrin"_s);
    QCOMPARE(sample->value(u"P_ID").toInt(), patient->value(u"P_ID").toInt());
    QCOMPARE(sample->text(u"STATUS_1"), u"MSG0001"_s);
    QCOMPARE(sample->text(u"CUST_ID"), u"KIS1"_s);
    QCOMPARE(sample->text(u"SI_ID"), u"P100"_s);
    QVERIFY(station.logLines().contains(u"Monitor: Patient mit ID: P100schon vorhanden. Daten wurden upgedated."_s));
    QVERIFY(
        station.logLines().contains(u"20.01.2019 14:05:03 K->L Nachricht eingelesen: MSG0001 Auftrag/Probe: 4711"_s));
}

void TestOrderStore::sameMessageTwice()
{
    KESTRIN_STATION(station);
    const OrderBuilder order = OrderBuilder().test(u"AMP"_s).test(u"THC"_s);
    read(station, order);
    read(station, order);
    const QStringList log = station.logLines();
    QCOMPARE(log.filter(u"Patient mit ID: P100schon vorhanden. Daten wurden upgedated."_s).size(), 1);
    QCOMPARE(log.filter(u"Monitor: Probe mit ID: 4711schon vorhanden. Daten wurden upgedated."_s).size(), 1);
    QCOMPARE(station.column(u"SELECT STRING_DEF FROM HL7_STRINGS WHERE STRING_DEF = ?"_s, {u"PID"_s}).size(), 2);
    QCOMPARE(station.column(u"SELECT PARAMETER_ID FROM REQUEST"_s).size(), 4);
    QCOMPARE(station.column(u"SELECT SAMPLE_ID FROM SAMPLE_BASE"_s).size(), 1);
}

void TestOrderStore::requestsAndUnknownCodes()
{
    KESTRIN_STATION(station);
    read(station, OrderBuilder().test(u"AMP"_s).test(u"XYZ"_s).test(u"THC"_s).segment(u"OBR|4|4711||"_s));
    QCOMPARE(
        station.column(u"SELECT PARAMETER_ID FROM REQUEST WHERE SAMPLE_ID = ? ORDER BY PARAMETER_ID"_s, {u"4711"_s}),
        (QStringList{u"1"_s, u"8"_s}));
    const QStringList log = station.logLines();
    QVERIFY(log.contains(u"Monitor: Kein Importcode f\u00fcr Probe: 4711/OBR Zeile: 2OBR.4: XYZ^XYZ"_s));
    QVERIFY(log.contains(u"Monitor: Kein Importcode f\u00fcr Probe: 4711/OBR Zeile: 4OBR.4: "_s));
    QVERIFY(log.contains(u"20.01.2019 14:05:03 K->L Anforderungen f\u00fcr Probe 4711: AMP, XYZ, THC, "_s));
}

void TestOrderStore::birthDates_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("pid7");
    QTest::addColumn<QDateTime>("stored");
    const QDateTime earlier(QDate(1970, 5, 5), QTime(0, 0));
    for (const QString& engine : {u"sqlite"_s, u"postgres"_s}) {
        QTest::addRow("%s: leap day", qPrintable(engine))
            << engine << u"20000229"_s << QDateTime(QDate(2000, 2, 29), QTime(0, 0));
        QTest::addRow("%s: empty keeps", qPrintable(engine)) << engine << QString() << earlier;
        QTest::addRow("%s: 1900 is never stored", qPrintable(engine)) << engine << u"19000101"_s << earlier;
        QTest::addRow("%s: with time is no compact date", qPrintable(engine)) << engine << u"200002291230"_s << earlier;
    }
}

void TestOrderStore::birthDates()
{
    KESTRIN_STATION(station);
    QFETCH(QString, pid7);
    station.db().exec(u"INSERT INTO PATIENTS (SI_ID, BIRTH) VALUES (?, ?)"_s,
                      {u"P100"_s, QDateTime(QDate(1970, 5, 5), QTime(0, 0))});
    read(station, OrderBuilder().patient(u"P100"_s, u"Meier^Anna"_s, pid7));
    QTEST(station.db().first(u"SELECT BIRTH FROM PATIENTS"_s)->dateTime(u"BIRTH"), "stored");
}

void TestOrderStore::collectionDates_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("note");
    QTest::addColumn<QDateTime>("stored");
    for (const QString& engine : {u"sqlite"_s, u"postgres"_s}) {
        QTest::addRow("%s: date and time", qPrintable(engine))
            << engine << u"URIN DATUM 24.12.2005 URIN UHRZEIT 08:15"_s << QDateTime(QDate(2005, 12, 24), QTime(8, 15));
        QTest::addRow("%s: date alone is midnight", qPrintable(engine))
            << engine << u"URIN DATUM 24.12.2005"_s << QDateTime(QDate(2005, 12, 24), QTime(0, 0));
        QTest::addRow("%s: time alone stores nothing", qPrintable(engine))
            << engine << u"URIN UHRZEIT 08:15"_s << QDateTime();
        QTest::addRow("%s: date in another shape stores nothing", qPrintable(engine))
            << engine << u"URIN DATUM 2005-12-24"_s << QDateTime();
    }
}

void TestOrderStore::collectionDates()
{
    KESTRIN_STATION(station);
    QFETCH(QString, note);
    read(station, OrderBuilder().note(note));
    QTEST(station.db().first(u"SELECT COLL_DAT FROM SAMPLE_BASE"_s)->dateTime(u"COLL_DAT"), "stored");
}

void TestOrderStore::customers()
{
    KESTRIN_STATION(station);
    station.db().exec(u"INSERT INTO CUSTOMER (CUST_ID, CUST_NAME) VALUES (?, ?)"_s, {u"NONAME"_s, u"  "_s});
    station.db().exec(u"INSERT INTO CUSTOMER (CUST_ID, CUST_NAME) VALUES (?, ?)"_s, {u"NAMED"_s, u"Ward 3"_s});
    read(station, OrderBuilder().sample(u"1"_s).customer(u"NONAME"_s));
    read(station, OrderBuilder().sample(u"2"_s).customer(u"NAMED"_s));
    read(station, OrderBuilder().sample(u"3"_s).customer(u"CARDIOLOGY-WARD-7"_s));
    read(station, OrderBuilder().sample(u"4"_s).customer(u"CARDIOLOGY-WARD-7"_s));
    QCOMPARE(station.column(u"SELECT CUST_NAME FROM CUSTOMER WHERE CUST_ID = ?"_s, {u"NONAME"_s}),
             QStringList{u"NONAME"_s});
    QCOMPARE(station.column(u"SELECT CUST_NAME FROM CUSTOMER WHERE CUST_ID = ?"_s, {u"NAMED"_s}),
             QStringList{u"Ward 3"_s});
    // A long value is stored cut to 10 characters and found again by them.
    QCOMPARE(station.column(u"SELECT CUST_NAME FROM CUSTOMER WHERE CUST_ID = ?"_s, {u"CARDIOLOGY"_s}),
             QStringList{u"CARDIOLOGY-WARD-7"_s});
    QCOMPARE(station.column(u"SELECT CUST_ID FROM SAMPLE_BASE WHERE SAMPLE_ID = ?"_s, {u"4"_s}),
             QStringList{u"CARDIOLOGY-WARD-7"_s});
}

// What a rolled-back transaction wrote is gone: storing its messages again writes all of it,
// and a customer another station wrote meanwhile is found, not inserted a second time.
void TestOrderStore::rolledBackBatchIsStoredWhole()
{
    KESTRIN_STATION(station);
    const auto order = [](const QString& sample, const QString& customer) {
        return OrderBuilder().sample(sample).customer(customer).test(u"AMP"_s).text();
    };
    OrderStore store(station.ctx());
    OrderMessage message;
    {
        Transaction transaction(station.db());
        ReadMessageText(store, order(u"S1"_s, u"WARD1"_s), message);
        ReadMessageText(store, order(u"S2"_s, u"WARD2"_s), message);
        store.flush();
        // rolled back, as when the commit is refused
    }
    store.discard();
    station.db().exec(u"INSERT INTO CUSTOMER (CUST_ID, CUST_NAME) VALUES (?, ?)"_s, {u"WARD2"_s, u"WARD2"_s});
    Transaction transaction(station.db());
    ReadMessageText(store, order(u"S1"_s, u"WARD1"_s), message);
    ReadMessageText(store, order(u"S2"_s, u"WARD2"_s), message);
    store.flush();
    transaction.commit();
    QCOMPARE(station.column(u"SELECT s.SAMPLE_ID FROM SAMPLE_BASE s JOIN CUSTOMER c ON c.CUST_ID = s.CUST_ID "
                            u"ORDER BY s.SAMPLE_ID"_s),
             (QStringList{u"S1"_s, u"S2"_s}));
    QCOMPARE(station.column(u"SELECT COUNT(*) FROM CUSTOMER"_s), QStringList{u"2"_s});
}

void TestOrderStore::cancellation()
{
    KESTRIN_STATION(station);
    read(station, OrderBuilder().test(u"AMP"_s).test(u"COC"_s).test(u"THC"_s));
    station.db().exec(u"UPDATE REQUEST SET RESULT = ? WHERE PARAMETER_ID = ?"_s, {u"12"_s, 1});
    station.db().exec(u"UPDATE REQUEST SET ANALYZER_ID = ? WHERE PARAMETER_ID = ?"_s, {u"AN1"_s, 4});
    const int patients = station.column(u"SELECT P_ID FROM PATIENTS"_s).size();
    read(station, OrderBuilder().controlId(u"MSG0002"_s).orderControl(u"CA"_s).patient(u"P999"_s));
    QCOMPARE(station.column(u"SELECT PARAMETER_ID FROM REQUEST ORDER BY PARAMETER_ID"_s),
             (QStringList{u"1"_s, u"4"_s}));
    QCOMPARE(station.column(u"SELECT P_ID FROM PATIENTS"_s).size(), patients);
    QVERIFY(station.logLines().contains(u"20.01.2019 14:05:03 K->L Storno Nachricht: MSG0002 Auftrag/Probe: 4711"_s));
    QCOMPARE(station.column(u"SELECT STRING_DEF FROM HL7_STRINGS WHERE ORDER_ID = ?"_s, {u"MSG0002"_s}).size(), 4);
}

void TestOrderStore::apostrophesAreData()
{
    KESTRIN_STATION(station);
    read(station,
         OrderBuilder()
             .controlId(u"O'MSG"_s)
             .patient(u"P'1"_s, u"O'Neil^Shaun"_s)
             .sample(u"S'1"_s)
             .customer(u"O'Neil"_s)
             .test(u"AMP"_s));
    QCOMPARE(station.column(u"SELECT SURNAME FROM PATIENTS WHERE SI_ID = ?"_s, {u"P'1"_s}), QStringList{u"O'Neil"_s});
    QCOMPARE(station.column(u"SELECT CUST_ID FROM CUSTOMER"_s), QStringList{u"O'Neil"_s});
    QCOMPARE(station.column(u"SELECT SAMPLE_ID FROM REQUEST"_s), QStringList{u"S'1"_s});
    read(station, OrderBuilder().controlId(u"O'MSG2"_s).patient(u"P'1"_s).sample(u"S'1"_s).orderControl(u"CA"_s));
    QVERIFY(station.column(u"SELECT SAMPLE_ID FROM REQUEST"_s).isEmpty());
}

void TestOrderStore::longControlIdFindsItsSegments()
{
    KESTRIN_STATION(station);
    read(station, OrderBuilder().controlId(u"ORDER-2019-0001234"_s));
    QCOMPARE(station.column(u"SELECT STATUS_1 FROM SAMPLE_BASE"_s), QStringList{u"ORDER-2019-0001234"_s});
    QCOMPARE(station
                 .column(u"SELECT STRING_DEF FROM HL7_STRINGS WHERE ORDER_ID = ? AND STRING_DEF = ?"_s,
                         {u"ORDER-2019-0001234"_s, u"PID"_s})
                 .size(),
             1);
}

void TestOrderStore::escapesResolvedInColumnsOnly()
{
    KESTRIN_STATION(station);
    const OrderBuilder order = OrderBuilder().patient(u"P100"_s, u"M\\S\\ller\\T\\Co^Anna"_s).customer(u"A\\F\\B"_s);
    read(station, order);
    QCOMPARE(station.column(u"SELECT SURNAME FROM PATIENTS"_s), QStringList{u"M^ller&Co"_s});
    QCOMPARE(station.column(u"SELECT CUST_ID FROM CUSTOMER"_s), QStringList{u"A|B"_s});
    QCOMPARE(station.column(u"SELECT STRING_TEXT FROM HL7_STRINGS WHERE STRING_DEF = ?"_s, {u"PID"_s}),
             QStringList{order.lines().at(1)});
}

void TestOrderStore::longValuesCutToTheirColumns()
{
    KESTRIN_STATION(station);
    const QString sample = u"SAMPLE-0123456789-ABCDEF"_s; // 24 characters
    read(station,
         OrderBuilder()
             .patient(u"PATIENT-0123456789"_s, QString(40, u'S') + u'^' + QString(35, u'F'), u"19800101"_s, u"FEMALE"_s)
             .sample(sample)
             .customer(QString(70, u'C'))
             .note(QString(300, u'x'))
             .test(u"AMP"_s));
    const auto patient = station.db().first(u"SELECT SI_ID, SURNAME, FORENAME, SEX FROM PATIENTS"_s);
    QCOMPARE(patient->text(u"SI_ID"), u"PATIENT-012345"_s);
    QCOMPARE(patient->text(u"SURNAME"), QString(30, u'S'));
    QCOMPARE(patient->text(u"FORENAME"), QString(30, u'F'));
    QCOMPARE(patient->text(u"SEX"), u"F"_s);
    const auto row = station.db().first(u"SELECT SAMPLE_ID, CUST_ID, COMMENT_COLL FROM SAMPLE_BASE"_s);
    QCOMPARE(row->text(u"SAMPLE_ID"), sample.left(19));
    QCOMPARE(row->text(u"CUST_ID"), QString(20, u'C'));
    QCOMPARE(row->text(u"COMMENT_COLL"), QString(255, u'x'));
    QCOMPARE(station.column(u"SELECT SAMPLE_ID FROM REQUEST"_s), QStringList{sample.left(18)});
    QCOMPARE(station.column(u"SELECT CUST_NAME FROM CUSTOMER"_s), QStringList{QString(60, u'C')});
}

void TestOrderStore::parameterBeyondSixteenBits()
{
    KESTRIN_STATION(station);
    station.db().exec(u"INSERT INTO TEST_DEF (PARAMETER_ID, IMP_CODE_LDT) VALUES (?, ?)"_s, {70000, u"BIG"_s});
    read(station, OrderBuilder().test(u"BIG"_s));
    QCOMPARE(station.column(u"SELECT PARAMETER_ID FROM REQUEST"_s), QStringList{u"70000"_s});
}

void TestOrderStore::messageWithoutIdentifiersFails_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QString>("segment"); // repeated `repeats` times
    QTest::addColumn<int>("repeats");
    QTest::newRow("no sample ID") << u"sqlite"_s << QString() << QString() << 0;
    QTest::newRow("100 OBR") << u"sqlite"_s << u"4711"_s << u"OBR|1||4711|AMP"_s << 100;
    // More than the segment counters hold: they must not wrap.
    QTest::newRow("32768 MSH") << u"sqlite"_s << u"4711"_s << u"MSH|^~\\&|X"_s << 32768;
}

void TestOrderStore::messageWithoutIdentifiersFails()
{
    KESTRIN_STATION(station);
    QFETCH(QString, sample);
    QFETCH(QString, segment);
    QFETCH(int, repeats);
    OrderBuilder order = OrderBuilder().sample(sample);
    for (int i = 0; i < repeats; ++i)
        order.segment(segment);
    QVERIFY_THROWS_EXCEPTION(MessageError, read(station, order));
    QVERIFY(station.column(u"SELECT SAMPLE_ID FROM SAMPLE_BASE"_s).isEmpty());
    QVERIFY(station.column(u"SELECT ORDER_ID FROM HL7_STRINGS"_s).isEmpty());
}

void TestOrderStore::segmentCountsAndArchive()
{
    KESTRIN_STATION(station);
    OrderMessage message;
    const QString text = u"MSH|^~\\&|A|B|C|D|||ORM^O01|X1|P|2.3\rPID|1||P1||M^A\rPV1|1\rORC|NW|S1\r"
                         u"OBR|1|S1||AMP\rOBR|2|S1||THC\rNTE|1||x\r\r"_s;
    // Read without storing: a cancellation with an empty cancel sign and an empty ORC-1.
    station.config.CancelSign = u"NW"_s;
    ReadMessageText(station.ctx(), text, message);
    QCOMPARE(station.column(u"SELECT STRING_DEF FROM HL7_STRINGS ORDER BY STRING_DEF"_s),
             (QStringList{u"MSH"_s, u"ORC"_s, u"PID"_s, u"PV1"_s}));
    QCOMPARE(station.column(u"SELECT STRING_DEF_CTR FROM HL7_STRINGS"_s), QStringList(4, u"1"_s));
    QCOMPARE(station.column(u"SELECT ORDER_ID FROM HL7_STRINGS"_s), QStringList(4, u"X1"_s));
    // The buffers are empty again afterwards.
    QCOMPARE(message.SegmentCounts.obr, qint16(0));
    QVERIFY(message.msh(10).isEmpty());
}

void TestOrderStore::unknownSegmentsAreLogged()
{
    KESTRIN_STATION(station);
    read(station, OrderBuilder().segment(u"ZZZ|1"_s).segment(u"zzz|1"_s).segment(u"Z|short"_s));
    const QStringList log = station.logLines();
    QVERIFY(log.contains(u"20.01.2019 14:05:03 K->L Unbekannte Kennung: ZZZ"_s));
    QVERIFY(log.contains(u"20.01.2019 14:05:03 K->L Unbekannte Kennung: zzz"_s));
    QVERIFY(log.contains(u"20.01.2019 14:05:03 K->L Unbekannte Kennung: Z|s"_s));
    QCOMPARE(station.column(u"SELECT SAMPLE_ID FROM SAMPLE_BASE"_s), QStringList{u"4711"_s});
}

KESTRIN_TEST_MAIN(TestOrderStore)
#include "tst_orderstore.moc"
