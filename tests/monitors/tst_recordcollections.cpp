#include "TestMain.h"
#include "core/Error.h"
#include "monitors/RecordCollections.h"

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

orders threeOrders()
{
    orders list;
    for (const QString& sample : {u"S1"_s, u"S2"_s, u"S3"_s})
        list.Add(u"O"_s, u"1"_s, sample, u"I-"_s + sample, u"^^^AMP"_s);
    return list;
}

QStringList samples(const orders& list)
{
    QStringList ids;
    for (const auto& order : list)
        ids << order->SampleID;
    return ids;
}

} // namespace

class TestRecordCollections : public QObject {
    Q_OBJECT
private slots:
    void addFillsTheMembersInOrder();
    void positionsOutsideTheListThrow_data();
    void positionsOutsideTheListThrow();
    void removeTakesThePosition_data();
    void removeTakesThePosition();
    void equalAddsGiveDistinctRecords();
    void clearEmptiesAndRecordsOutliveTheList();
};

void TestRecordCollections::addFillsTheMembersInOrder()
{
    orders o;
    const auto order = o.Add(u"O"_s, u"1"_s, u"4711"_s, u"0042"_s, u"^^^THC"_s);
    QCOMPARE(o.Item(1), order);
    QVERIFY(order->vntIndexKey.isNull());
    QCOMPARE((QStringList{order->RecordType, order->SequenceNr, order->SampleID, order->InstrSampleID, order->TestID}),
             (QStringList{u"O"_s, u"1"_s, u"4711"_s, u"0042"_s, u"^^^THC"_s}));

    Patients p;
    const auto patient = p.Add(u"P"_s, u"2"_s, u"P100"_s, u"4711"_s, u"X9"_s, u"Meier^Anna"_s);
    QVERIFY(patient->vntIndexKey.isNull());
    QCOMPARE((QStringList{patient->RecordType, patient->SequenceNr, patient->PatID1, patient->SampleID, patient->PatID2,
                          patient->PatName, patient->PatBirth, patient->PatSex, patient->SenderID}),
             (QStringList{u"P"_s, u"2"_s, u"P100"_s, u"4711"_s, u"X9"_s, u"Meier^Anna"_s, {}, {}, {}}));

    results r;
    const auto result = r.Add(u"R"_s, u"3"_s, u"^^^THC"_s, u"74"_s, u"ng/mL"_s, u"0 to 50"_s, u"H"_s, u"F"_s,
                              u"20190120140503"_s, u"AN1"_s);
    QCOMPARE((QStringList{result->RecordType, result->SequenceNr, result->TestID, result->Result, result->Units,
                          result->RefRanges, result->ResultFlags, result->Noname1, result->ResultStatus,
                          result->Noname2, result->Noname3, result->Noname4, result->Datum, result->AnalyzerID}),
             (QStringList{u"R"_s,
                          u"3"_s,
                          u"^^^THC"_s,
                          u"74"_s,
                          u"ng/mL"_s,
                          u"0 to 50"_s,
                          u"H"_s,
                          {},
                          u"F"_s,
                          {},
                          {},
                          {},
                          u"20190120140503"_s,
                          u"AN1"_s}));
}

void TestRecordCollections::positionsOutsideTheListThrow_data()
{
    QTest::addColumn<int>("position");
    QTest::newRow("zero") << 0;
    QTest::newRow("negative") << -1;
    QTest::newRow("one past the end") << 4;
    QTest::newRow("far past the end") << 1000;
}

void TestRecordCollections::positionsOutsideTheListThrow()
{
    QFETCH(int, position);
    orders list = threeOrders();
    QVERIFY_THROWS_EXCEPTION(ProgramError, list.Item(position));
    QVERIFY_THROWS_EXCEPTION(ProgramError, list.Remove(position));
    QCOMPARE(list.Count(), 3);
    QVERIFY_THROWS_EXCEPTION(ProgramError, orders().Item(1));
}

void TestRecordCollections::removeTakesThePosition_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QStringList>("left");
    QTest::newRow("first") << 1 << QStringList{u"S2"_s, u"S3"_s};
    QTest::newRow("middle") << 2 << QStringList{u"S1"_s, u"S3"_s};
    QTest::newRow("last") << 3 << QStringList{u"S1"_s, u"S2"_s};
}

void TestRecordCollections::removeTakesThePosition()
{
    QFETCH(int, position);
    QFETCH(QStringList, left);
    orders list = threeOrders();
    list.Remove(position);
    QCOMPARE(list.Count(), 2);
    QCOMPARE(samples(list), left);
    QCOMPARE(list.Item(2)->SampleID, left.last());
}

void TestRecordCollections::equalAddsGiveDistinctRecords()
{
    results list;
    const auto first = list.Add(u"R"_s, u"1"_s, u"AMP"_s, u"5"_s, {}, {}, {}, {}, {}, {});
    const auto second = list.Add(u"R"_s, u"1"_s, u"AMP"_s, u"5"_s, {}, {}, {}, {}, {}, {});
    QCOMPARE(list.Count(), 2);
    QVERIFY(first != second);
    QCOMPARE(list.Item(1), first);
    QCOMPARE(list.Item(2), second);
    first->Result = u"6"_s;
    QCOMPARE(list.Item(2)->Result, u"5"_s);
}

void TestRecordCollections::clearEmptiesAndRecordsOutliveTheList()
{
    Patients empty;
    empty.Clear();
    QCOMPARE(empty.Count(), 0);

    std::shared_ptr<Patient> kept;
    {
        Patients list;
        list.Add(u"P"_s, u"1"_s, u"P1"_s, u"S1"_s, {}, u"Meier"_s);
        kept = list.Add(u"P"_s, u"2"_s, u"P2"_s, u"S2"_s, {}, u"Lindqvist"_s);
        list.Clear();
        QCOMPARE(list.Count(), 0);
        QVERIFY(list.begin() == list.end());
        list.Add(u"P"_s, u"1"_s, u"P3"_s, u"S3"_s, {}, u"Berg"_s);
        QCOMPARE(list.Item(1)->PatID1, u"P3"_s);
    }
    QCOMPARE(kept->PatName, u"Lindqvist"_s);
}

KESTRIN_TEST_MAIN(TestRecordCollections)
#include "tst_recordcollections.moc"
