#include "LabStation.h"
#include "StationSeed.h"
#include "TestMain.h"
#include "idstation/SampleIdStation.h"

#include <QSet>
#include <QSignalSpy>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

QStringList tileIds(const SampleTileModel& tiles)
{
    QStringList ids;
    for (int i = 0; i < tiles.tileCount(); ++i)
        ids << tiles.sampleId(i);
    return ids;
}

QList<StationSample> samples(const QStringList& ids)
{
    QList<StationSample> list;
    for (const QString& id : ids)
        list.append({id, u"Name "_s + id});
    return list;
}

QStringList monitorLines(const test::LabStation& lab, const QString& part) { return lab.logLines().filter(part); }

} // namespace

// A station of analyser AN1 (see SeedAnalysers) on the engine of the current data row.
#define ANALYSER_STATION(lab)                                                                                          \
    QFETCH(QString, engine);                                                                                           \
    test::LabStation lab(engine);                                                                                      \
    KESTRIN_REQUIRE(lab.scratch);                                                                                      \
    lab.config.StationId = u"AN1"_s;                                                                                   \
    test::SeedAnalysers(lab.db())

// The station's rules without its window: what it reads, how tiles grow, what it logs.
class TestIdStation : public QObject {
    Q_OBJECT
private slots:
    void controlLists_data() { test::AddEngineRows(); }
    void controlLists();
    void samplesOfTheAnalyser_data() { test::AddEngineRows(); }
    void samplesOfTheAnalyser();
    void refreshAddsAndKeepsTiles_data() { test::AddEngineRows(); }
    void refreshAddsAndKeepsTiles();
    void tilesNeverTwice_data();
    void tilesNeverTwice();
    void addingTilesTouchesOnlyNewCells();
    void everySelectionChangeIsLogged();
    void outageIsLoggedOnceAndRecovers_data() { test::AddEngineRows(); }
    void outageIsLoggedOnceAndRecovers();
};

void TestIdStation::controlLists()
{
    QFETCH(QString, engine);
    test::LabStation lab(engine);
    KESTRIN_REQUIRE(lab.scratch);
    QCOMPARE(ReadControlLists(lab.db()), ControlLists{});
    test::AddControl(lab.db(), u"QC-L1"_s, u"Urine control LOW"_s);
    test::AddControl(lab.db(), u"QC-H1"_s, u"Serum High"_s);
    test::AddControl(lab.db(), u"QC-L2"_s, u"low range urine"_s);
    test::AddControl(lab.db(), u"BLANK"_s, u"Blank"_s);
    const ControlLists lists = ReadControlLists(lab.db());
    QCOMPARE(lists[size_t(ControlLevel::Low)], (QStringList{u"QC-L1"_s, u"QC-L2"_s}));
    QCOMPARE(lists[size_t(ControlLevel::Med)], QStringList());
    QCOMPARE(lists[size_t(ControlLevel::High)], QStringList{u"QC-H1"_s});
}

void TestIdStation::samplesOfTheAnalyser()
{
    ANALYSER_STATION(lab);
    Database& db = lab.db();
    test::AddSample(db, u"A1"_s, u"Meier"_s, u"Anna"_s, {1, 4});
    test::AddSample(db, u"OTHER"_s, u"Other"_s, u"Analyser"_s, {8});
    test::AddSample(db, u"NULLS"_s, QVariant(), u"Eva"_s, {4});
    test::AddSample(db, u"DONE"_s, u"Kurz"_s, QVariant(), {1});
    db.exec(u"UPDATE REQUEST SET RESULT = ? WHERE SAMPLE_ID = ?"_s, {u"12"_s, u"DONE"_s});
    // The analyser's name is bound, never part of the statement.
    db.exec(u"INSERT INTO param2channel (parameter_id, analyzer_id) VALUES (?, ?)"_s, {8, u"AN'3"_s});

    // A request whose sample has no row yet is no tile yet.
    db.exec(u"INSERT INTO REQUEST (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s, {u"ORPHAN"_s, 1});
    test::AddSamples(db, 60); // more than one query's worth of IDs

    const QStringList ids = ReadStationSampleIds(db, u"AN1"_s);
    QCOMPARE(ids.size(), 64);
    QCOMPARE(QSet<QString>(ids.cbegin(), ids.cend()).size(), 64);
    QVERIFY(!ids.contains(u"OTHER"_s));
    const QList<StationSample> samples = ReadStationSamples(db, ids);
    QStringList shown;
    QMap<QString, QString> captions;
    for (const StationSample& sample : samples) {
        shown << sample.sampleId;
        captions.insert(sample.sampleId, sample.caption);
    }
    QStringList expected = ids;
    expected.removeOne(u"ORPHAN"_s);
    QCOMPARE(shown, expected);
    QCOMPARE(captions.value(u"A1"_s), u"Meier Anna A1"_s);
    QCOMPARE(captions.value(u"NULLS"_s), u" Eva NULLS"_s);
    QCOMPARE(captions.value(u"DONE"_s), u"Kurz  DONE"_s);
    QCOMPARE(ReadStationSampleIds(db, u"AN'3"_s), QStringList{u"OTHER"_s});
}

void TestIdStation::refreshAddsAndKeepsTiles()
{
    ANALYSER_STATION(lab);
    Database& db = lab.db();
    test::AddSample(db, u"A1"_s, u"Meier"_s, u"Anna"_s, {1});
    test::AddSample(db, u"A2"_s, u"Roth"_s, u"Ben"_s, {4});
    SampleIdStation station(lab.ctx());
    station.open();
    QCOMPARE(station.tiles().tileCount(), 2);
    const QStringList first = tileIds(station.tiles());
    station.selectTile(station.tiles().tileOf(u"A2"_s));

    // The requests may come before the sample's row: its tile comes with the row.
    db.exec(u"INSERT INTO REQUEST (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s, {u"A4"_s, 1});
    test::AddSample(db, u"A3"_s, u"Neu"_s, u"Nina"_s, {4, 1});
    db.exec(u"INSERT INTO REQUEST (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s, {u"A1"_s, 4});
    db.exec(u"DELETE FROM REQUEST WHERE SAMPLE_ID = ?"_s, {u"A2"_s});
    QVERIFY(station.refresh());
    QCOMPARE(tileIds(station.tiles()), first + QStringList{u"A3"_s});
    QCOMPARE(station.tiles().highlightedTile(), station.tiles().tileOf(u"A2"_s));
    test::AddSample(db, u"A4"_s, u"Alt"_s, u"Otto"_s, {});
    QVERIFY(station.refresh());
    QCOMPARE(tileIds(station.tiles()), first + QStringList({u"A3"_s, u"A4"_s}));

    QVERIFY(station.rebuild());
    QCOMPARE(station.tiles().tileCount(), 3);
    QCOMPARE(station.tiles().tileOf(u"A2"_s), -1);
    QCOMPARE(station.tiles().highlightedTile(), -1);
    QCOMPARE(station.selection().SelectedId(), u"A2"_s);
}

void TestIdStation::tilesNeverTwice_data()
{
    QTest::addColumn<QList<QStringList>>("refreshes");
    QTest::addColumn<QStringList>("tiles");
    QTest::newRow("same list again") << QList<QStringList>{{u"a"_s, u"b"_s}, {u"a"_s, u"b"_s}}
                                     << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("other order") << QList<QStringList>{{u"a"_s, u"b"_s, u"c"_s}, {u"c"_s, u"d"_s, u"a"_s}}
                                 << QStringList{u"a"_s, u"b"_s, u"c"_s, u"d"_s};
    QTest::newRow("twice in one list") << QList<QStringList>{{u"a"_s, u"b"_s, u"a"_s}} << QStringList{u"a"_s, u"b"_s};
    QTest::newRow("case counts") << QList<QStringList>{{u"ab"_s}, {u"AB"_s, u"ab"_s}} << QStringList{u"ab"_s, u"AB"_s};
    QTest::newRow("gone and back") << QList<QStringList>{{u"a"_s, u"b"_s}, {u"b"_s}, {u"a"_s, u"e"_s}}
                                   << QStringList{u"a"_s, u"b"_s, u"e"_s};
}

void TestIdStation::tilesNeverTwice()
{
    QFETCH(QList<QStringList>, refreshes);
    QFETCH(QStringList, tiles);
    SampleTileModel model;
    for (const QStringList& ids : refreshes)
        model.addSamples(samples(ids));
    QCOMPARE(tileIds(model), tiles);
    for (int i = 0; i < tiles.size(); ++i)
        QCOMPARE(model.tileOf(tiles.at(i)), i);
}

// Tile n sits in row n / 5, column n % 5; new tiles fill the last row, then new rows follow.
void TestIdStation::addingTilesTouchesOnlyNewCells()
{
    SampleTileModel model;
    QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
    QCOMPARE(model.addSamples(samples({u"1"_s, u"2"_s, u"3"_s, u"4"_s, u"5"_s, u"6"_s, u"7"_s})), 7);
    QCOMPARE(model.rowCount(), 2);
    QCOMPARE(model.indexOfTile(5), model.index(1, 0));
    QCOMPARE(model.tileAt(model.index(1, 1)), 6);
    QCOMPARE(model.tileAt(model.index(1, 2)), -1);
    QCOMPARE(model.flags(model.index(1, 2)), Qt::NoItemFlags);
    QCOMPARE(inserted.size(), 1);
    QCOMPARE(changed.size(), 0);

    QCOMPARE(model.addSamples(samples({u"8"_s, u"9"_s, u"10"_s, u"11"_s})), 4);
    QCOMPARE(model.rowCount(), 3);
    QCOMPARE(inserted.size(), 2);
    QCOMPARE(inserted.last().at(1).toInt(), 2);
    QCOMPARE(inserted.last().at(2).toInt(), 2);
    QCOMPARE(changed.size(), 1);
    QCOMPARE(changed.last().at(0).value<QModelIndex>(), model.index(1, 2));
    QCOMPARE(changed.last().at(1).value<QModelIndex>(), model.index(1, 4));
    QCOMPARE(model.data(model.index(2, 0)).toString(), u"Name 11"_s);

    QCOMPARE(model.addSamples(samples({u"1"_s, u"11"_s})), 0);
    QCOMPARE(inserted.size(), 2);
    QCOMPARE(changed.size(), 1);
}

void TestIdStation::everySelectionChangeIsLogged()
{
    test::LabStation lab(u"sqlite"_s);
    SampleIdStation station(lab.ctx());
    station.tiles().addSamples(samples({u"4711"_s, u"4712"_s}));
    StationSelection& selection = station.selection();
    QSignalSpy changed(&selection, &StationSelection::changed);

    station.selectTile(1);
    station.selectTile(1);
    QCOMPARE(selection.SelectedId(), u"4712"_s);
    QVERIFY(!selection.SelectedIsControl());
    QCOMPARE(station.tiles().highlightedTile(), 1);
    station.selectControl(ControlLevel::Med, {});
    QCOMPARE(selection.SelectedId(), QString());
    QVERIFY(selection.SelectedIsControl());
    QCOMPARE(station.tiles().highlightedTile(), -1);
    station.selectControl(ControlLevel::Low, u"QC-LOW-1"_s);
    station.ignore();
    QVERIFY(!selection.SelectedIsControl());
    QCOMPARE(changed.size(), 4);

    const QStringList lines = monitorLines(lab, u"Monitor: Selection for the next measurement: "_s);
    QCOMPARE(lines.size(), 4);
    QVERIFY(lines.at(0).endsWith(u"sample \"4712\""_s));
    QVERIFY(lines.at(1).endsWith(u"control \"\" (MED)"_s));
    QVERIFY(lines.at(2).endsWith(u"control \"QC-LOW-1\" (LOW)"_s));
    QVERIFY(lines.at(3).endsWith(u"none, the next measurement is ignored"_s));
}

void TestIdStation::outageIsLoggedOnceAndRecovers()
{
    ANALYSER_STATION(lab);
    Database& db = lab.db();
    test::AddControl(db, u"QC-LOW-1"_s, u"LOW"_s);
    test::AddSample(db, u"A1"_s, u"Meier"_s, u"Anna"_s, {1});
    SampleIdStation station(lab.ctx());
    QSignalSpy status(&station, &SampleIdStation::statusChanged);
    QSignalSpy lists(&station, &SampleIdStation::controlListsRead);

    // Opening without the tables: nothing to show, and the lists come with the first good tick.
    db.exec(u"ALTER TABLE control_base RENAME TO control_base_away"_s);
    db.exec(u"ALTER TABLE param2channel RENAME TO param2channel_away"_s);
    station.open();
    QVERIFY(!station.listIsCurrent());
    QVERIFY(station.statusText().contains(u"not current"_s));
    db.exec(u"ALTER TABLE control_base_away RENAME TO control_base"_s);
    for (int tick = 0; tick < 3; ++tick)
        QVERIFY(!station.refresh());
    QCOMPARE(status.size(), 2); // the reason changed once: control_base, then param2channel
    QCOMPARE(lists.size(), 1);
    QCOMPARE(station.controlLists()[size_t(ControlLevel::Low)], QStringList{u"QC-LOW-1"_s});
    QCOMPARE(station.tiles().tileCount(), 0);

    db.exec(u"ALTER TABLE param2channel_away RENAME TO param2channel"_s);
    QVERIFY(station.refresh());
    QVERIFY(station.listIsCurrent());
    QCOMPARE(status.last().at(0).toString(), QString());
    QCOMPARE(station.tiles().tileCount(), 1);

    // A second outage keeps the tiles shown.
    db.exec(u"ALTER TABLE param2channel RENAME TO param2channel_away"_s);
    QVERIFY(!station.refresh());
    QVERIFY(!station.rebuild());
    QCOMPARE(station.tiles().tileCount(), 1);
    QCOMPARE(monitorLines(lab, u"cannot be read"_s).size(), 2);
    QCOMPARE(monitorLines(lab, u"is current again"_s).size(), 1);
    QCOMPARE(lists.size(), 1);
}

KESTRIN_TEST_MAIN(TestIdStation)
#include "tst_idstation.moc"
