#include "GuiTestMain.h"
#include "LabStation.h"
#include "StationSeed.h"
#include "core/Translations.h"
#include "idstation/SampleIdStation.h"
#include "idstation/SampleIdWindow.h"
#include "idstation/SampleTileView.h"
#include "labdb/Connection.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyleOptionComboBox>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

// frmSetID of analyser AN1 on an embedded database, opened and shown.
class OpenWindow {
public:
    explicit OpenWindow(const std::function<void(Database&)>& seed)
    {
        lab.config.StationId = u"AN1"_s;
        lab.config.Engine = Engine::Sqlite;
        lab.config.DatabaseName = lab.scratch.sqliteConfig().DatabaseName;
        test::SeedAnalysers(lab.db());
        seed(lab.db());
        station = std::make_unique<SampleIdStation>(lab.ctx());
        window = std::make_unique<SampleIdWindow>(*station);
        station->open();
        window->resize(900, 600);
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    template <class T> T* child(const QString& name) const { return window->findChild<T*>(name); }
    QLineEdit* input() const { return child<QLineEdit>(u"zeingabe"_s); }
    SampleTileView* tiles() const { return window->tileView(); }
    SampleTileModel& model() const { return station->tiles(); }
    QString selected() const { return station->selection().SelectedId(); }
    bool focusOnInput() const { return window->focusWidget() == input() && input()->hasFocus(); }
    // Types where the focus is and ends with Enter, as the scanner does.
    void scan(const QString& text) const
    {
        QTest::keyClicks(static_cast<QWidget*>(nullptr), text);
        QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_Return);
    }
    // The colour a tile is painted with, a little inside its edge.
    QColor paintedColour(int tile) const
    {
        return tiles()->viewport()->grab().toImage().pixelColor(tiles()->tileRect(tile).topLeft() + QPoint(8, 8));
    }
    void clickTile(int tile) const
    {
        QTest::mouseClick(tiles()->viewport(), Qt::LeftButton, {}, tiles()->tileRect(tile).center());
    }

    test::LabStation lab{u"sqlite"_s};
    std::unique_ptr<SampleIdStation> station;
    std::unique_ptr<SampleIdWindow> window;
};

const QColor Red(255, 0, 0);

} // namespace

// frmSetID driven through its real widgets.
class TestIdStationWindow : public QObject {
    Q_OBJECT
private slots:
    void controlListsAndLevelButtons();
    void tilesInRowsOfFiveAndClicks();
    void timerAddsNewSamplesOnce();
    void scanner_data();
    void scanner();
    void keyboardReachesTheButtons_data();
    void keyboardReachesTheButtons();
    void keysReachTheInputBox_data();
    void keysReachTheInputBox();
    void scanAfterAControlList_data();
    void scanAfterAControlList();
    void clickSelectsAStrayCharacter_data();
    void clickSelectsAStrayCharacter();
    void failingListKeepsTheWindowUsable();
    void messagesFollowTheLanguage_data();
    void messagesFollowTheLanguage();
    void databaseFileMadeAnew_data();
    void databaseFileMadeAnew();
    void thousandsOfTiles();
    void screenshot();
};

void TestIdStationWindow::controlListsAndLevelButtons()
{
    OpenWindow w([](Database& db) {
        test::AddControl(db, u"QC-LOW-1"_s, u"Urine LOW"_s);
        test::AddControl(db, u"QC-HIGH-1"_s, u"Urine HIGH"_s);
        test::AddControl(db, u"QC-LOW-2"_s, u"Serum LOW"_s);
        test::AddSample(db, u"A1"_s, u"Meier"_s, u"Anna"_s, {1});
    });
    auto* low = w.child<QComboBox>(u"Combo1"_s);
    auto* med = w.child<QComboBox>(u"Combo2"_s);
    auto* high = w.child<QComboBox>(u"Combo3"_s);
    QCOMPARE(low->count(), 2);
    QCOMPARE(low->itemText(1), u"QC-LOW-2"_s);
    QCOMPARE(low->currentText(), u"QC-LOW-1"_s);
    QCOMPARE(med->count(), 0);
    QCOMPARE(med->currentText(), QString());
    QCOMPARE(high->currentText(), u"QC-HIGH-1"_s);

    auto* lowButton = w.child<QPushButton>(u"Command1"_s);
    auto* medButton = w.child<QPushButton>(u"Command2"_s);
    const QColor face = w.window->palette().color(QPalette::Button);
    QCOMPARE(lowButton->grab().toImage().pixelColor(4, lowButton->height() / 2), face);
    QTest::mouseClick(medButton, Qt::LeftButton);
    QCOMPARE(w.selected(), QString());
    QVERIFY(w.station->selection().SelectedIsControl());
    QCOMPARE(medButton->grab().toImage().pixelColor(4, medButton->height() / 2), Red);
    QCOMPARE(lowButton->grab().toImage().pixelColor(4, lowButton->height() / 2), face);

    // What the operator types into a list is what the level selects.
    high->setFocus();
    high->lineEdit()->selectAll();
    QTest::keyClicks(high->lineEdit(), u"QC-EXTRA"_s);
    QTest::mouseClick(w.child<QPushButton>(u"Command3"_s), Qt::LeftButton);
    QCOMPARE(w.selected(), u"QC-EXTRA"_s);
    QVERIFY(w.focusOnInput());
    QCOMPARE(medButton->grab().toImage().pixelColor(4, medButton->height() / 2), face);

    w.clickTile(0);
    QCOMPARE(w.selected(), u"A1"_s);
    QVERIFY(!w.station->selection().SelectedIsControl());
    auto* highButton = w.child<QPushButton>(u"Command3"_s);
    QCOMPARE(highButton->grab().toImage().pixelColor(4, highButton->height() / 2), face);
    QTest::mouseClick(w.child<QPushButton>(u"Command4"_s), Qt::LeftButton);
    QCOMPARE(w.selected(), QString());
    QVERIFY(!w.station->selection().SelectedIsControl());
    QCOMPARE(w.paintedColour(0), face);
}

void TestIdStationWindow::tilesInRowsOfFiveAndClicks()
{
    OpenWindow w([](Database& db) { test::AddSamples(db, 7); });
    SampleTileView* view = w.tiles();
    QCOMPARE(w.model().tileCount(), 7);
    QCOMPARE(view->tileRect(4).top(), view->tileRect(0).top());
    QVERIFY(view->tileRect(4).left() > view->tileRect(3).right());
    QCOMPARE(view->tileRect(5).left(), view->tileRect(0).left());
    QCOMPARE(view->tileRect(5).top(), view->tileRect(0).bottom() + 1);

    const QColor face = w.paintedColour(0);
    w.clickTile(2);
    QCOMPARE(w.selected(), w.model().sampleId(2));
    QCOMPARE(w.paintedColour(2), Red);
    QCOMPARE(w.paintedColour(0), face);
    QVERIFY(w.focusOnInput());

    QTest::mousePress(view->viewport(), Qt::LeftButton, {}, view->tileRect(6).center());
    QCOMPARE(w.paintedColour(6), QColor(Qt::white));
    QTest::mouseRelease(view->viewport(), Qt::LeftButton, {}, view->tileRect(6).center());
    QCOMPARE(w.paintedColour(6), Red);
    QCOMPARE(w.paintedColour(2), face);
    QCOMPARE(w.selected(), w.model().sampleId(6));
}

void TestIdStationWindow::timerAddsNewSamplesOnce()
{
    OpenWindow w([](Database& db) { test::AddSamples(db, 3); });
    Database& db = w.lab.db();
    test::AddSamples(db, 2, 3);
    db.exec(u"INSERT INTO REQUEST (SAMPLE_ID, PARAMETER_ID) VALUES (?, ?)"_s, {u"S0000"_s, 4});
    QTRY_COMPARE(w.model().tileCount(), 5);
    QCOMPARE(w.model().sampleId(4), u"S0004"_s);
    QVERIFY(w.tiles()->tileRect(4).isValid());

    db.exec(u"DELETE FROM REQUEST WHERE SAMPLE_ID = ?"_s, {u"S0001"_s});
    QTest::mouseClick(w.child<QPushButton>(u"Command5"_s), Qt::LeftButton);
    QCOMPARE(w.model().tileCount(), 4);
    QCOMPARE(w.model().tileOf(u"S0001"_s), -1);
    QVERIFY(w.focusOnInput());
}

void TestIdStationWindow::scanner_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("selected");
    QTest::addColumn<int>("topTile"); // the tile scrolled to the top, -1 for no scrolling
    QTest::addColumn<bool>("notice");
    QTest::newRow("ignore code") << u"000000"_s << QString() << -1 << false;
    QTest::newRow("known") << u"S0060"_s << u"S0060"_s << 60 << false;
    QTest::newRow("unknown") << u"S9999"_s << u"S0010"_s << -1 << true;
    QTest::newRow("other case") << u"s0060"_s << u"S0010"_s << -1 << true;
    QTest::newRow("Enter alone") << QString() << u"S0010"_s << -1 << false;
}

void TestIdStationWindow::scanner()
{
    QFETCH(QString, typed);
    QFETCH(QString, selected);
    QFETCH(int, topTile);
    QFETCH(bool, notice);
    OpenWindow w([](Database& db) { test::AddSamples(db, 200); });
    w.scan(u"S0010"_s);
    const int scrolled = w.tiles()->verticalScrollBar()->value();
    w.scan(typed);
    QCOMPARE(w.selected(), selected);
    QCOMPARE(w.input()->text(), QString());
    QVERIFY(w.focusOnInput());
    if (topTile >= 0)
        QCOMPARE(w.tiles()->tileRect(topTile).top(), 0);
    else
        QCOMPARE(w.tiles()->verticalScrollBar()->value(), scrolled);
    auto* shown = w.child<QLabel>(u"lblNotice"_s);
    QVERIFY(shown);
    QCOMPARE(shown->isVisible(), notice);
    if (notice) {
        QVERIFY(shown->text().contains(typed));
        QVERIFY(shown->font().pointSizeF() > w.window->font().pointSizeF());
        w.scan(u"S0011"_s);
        QVERIFY(shown->isHidden());
    }
}

void TestIdStationWindow::keyboardReachesTheButtons_data()
{
    QTest::addColumn<int>("key"); // with Alt
    QTest::addColumn<QString>("selected");
    QTest::addColumn<bool>("control");
    QTest::newRow("LOW") << int(Qt::Key_L) << u"QC-LOW-1"_s << true;
    QTest::newRow("MED, an empty list") << int(Qt::Key_M) << QString() << true;
    QTest::newRow("HIGH") << int(Qt::Key_H) << u"QC-HIGH-1"_s << true;
    QTest::newRow("ignore") << int(Qt::Key_N) << QString() << false;
}

void TestIdStationWindow::keyboardReachesTheButtons()
{
    QFETCH(int, key);
    QFETCH(QString, selected);
    QFETCH(bool, control);
    OpenWindow w([](Database& db) {
        test::AddControl(db, u"QC-LOW-1"_s, u"LOW"_s);
        test::AddControl(db, u"QC-HIGH-1"_s, u"HIGH"_s);
        test::AddSamples(db, 3);
    });
    w.scan(u"S0001"_s);
    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key(key), Qt::AltModifier);
    QCOMPARE(w.selected(), selected);
    QCOMPARE(w.station->selection().SelectedIsControl(), control);
    QVERIFY(w.focusOnInput());
    QCOMPARE(w.input()->text(), QString());
}

void TestIdStationWindow::keysReachTheInputBox_data()
{
    QTest::addColumn<QString>("widget");
    QTest::newRow("scroll bar") << u"VScroll1"_s;
    QTest::newRow("tile area") << u"Picture2"_s;
    QTest::newRow("tile viewport") << QString();
    QTest::newRow("frame") << u"Frame1"_s;
}

void TestIdStationWindow::keysReachTheInputBox()
{
    QFETCH(QString, widget);
    OpenWindow w([](Database& db) { test::AddSamples(db, 60); });
    QWidget* target = widget.isEmpty() ? w.tiles()->viewport() : w.child<QWidget>(widget);
    QVERIFY(target);
    target->setFocus();
    QVERIFY(w.focusOnInput());
    QTest::keyClicks(target, u"S0042"_s);
    QTest::keyClick(target, Qt::Key_Return);
    QCOMPARE(w.selected(), u"S0042"_s);
    QCOMPARE(w.input()->text(), QString());

    // Scrolling brings the focus back from wherever it was.
    w.child<QComboBox>(u"Combo1"_s)->setFocus();
    QVERIFY(!w.focusOnInput());
    w.tiles()->verticalScrollBar()->setValue(0);
    QVERIFY(w.focusOnInput());
}

void TestIdStationWindow::scanAfterAControlList_data()
{
    QTest::addColumn<int>("key"); // what leaves the list
    QTest::addColumn<bool>("dropDown");
    QTest::newRow("drop-down closed with Escape") << int(Qt::Key_Escape) << true;
    QTest::newRow("entry chosen in the drop-down") << int(Qt::Key_Return) << true;
    QTest::newRow("typed text ended with Enter") << int(Qt::Key_Return) << false;
}

// Whichever list the operator touched last, the scan reaches the input box.
void TestIdStationWindow::scanAfterAControlList()
{
    QFETCH(int, key);
    QFETCH(bool, dropDown);
    OpenWindow w([](Database& db) {
        test::AddControl(db, u"QC-LOW-1"_s, u"LOW"_s);
        test::AddSamples(db, 5);
    });
    auto* low = w.child<QComboBox>(u"Combo1"_s);
    if (dropDown) {
        QStyleOptionComboBox option;
        option.initFrom(low);
        option.editable = true;
        const QRect arrow = low->style()->subControlRect(QStyle::CC_ComboBox, &option, QStyle::SC_ComboBoxArrow, low);
        QTest::mouseClick(low, Qt::LeftButton, {}, arrow.center());
        QTRY_VERIFY(low->view()->isVisible());
        QTest::keyClick(low->view(), Qt::Key(key));
        QTRY_VERIFY(!low->view()->isVisible());
    } else {
        QTest::mouseClick(low->lineEdit(), Qt::LeftButton);
        QVERIFY(low->hasFocus());
        QTest::keyClick(low, Qt::Key_1);
        QTest::keyClick(low, Qt::Key(key));
    }
    // The window manager gives the window back its activation when the drop-down closes.
    w.window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(w.window.get()));
    QTRY_VERIFY(w.focusOnInput());
    QCoreApplication::processEvents();
    w.scan(u"S0003"_s);
    QCOMPARE(w.selected(), u"S0003"_s);
    QCOMPARE(low->currentText(), dropDown ? u"QC-LOW-1"_s : u"QC-LOW-11"_s);
}

void TestIdStationWindow::clickSelectsAStrayCharacter_data()
{
    QTest::addColumn<QString>("clicked");
    QTest::newRow("tile") << u"tile"_s;
    QTest::newRow("LOW") << u"Command1"_s;
    QTest::newRow("ignore") << u"Command4"_s;
    QTest::newRow("scroll bar") << u"VScroll1"_s;
    QTest::newRow("caption") << u"Label1"_s;
}

void TestIdStationWindow::clickSelectsAStrayCharacter()
{
    QFETCH(QString, clicked);
    OpenWindow w([](Database& db) { test::AddSamples(db, 60); });
    QTest::keyClick(static_cast<QWidget*>(nullptr), Qt::Key_X);
    if (clicked == u"tile")
        w.clickTile(1);
    else
        QTest::mouseClick(w.child<QWidget>(clicked), Qt::LeftButton, {},
                          QPoint(4, w.child<QWidget>(clicked)->height() - 4));
    w.scan(u"S0002"_s);
    QCOMPARE(w.selected(), u"S0002"_s);
    QCOMPARE(w.input()->text(), QString());
}

void TestIdStationWindow::failingListKeepsTheWindowUsable()
{
    OpenWindow w([](Database& db) { test::AddSamples(db, 3); });
    Database& db = w.lab.db();
    auto* status = w.child<QLabel>(u"lblStatus"_s);
    QVERIFY(status->isHidden());
    QSignalSpy ticks(&w.station->timer(), &QTimer::timeout);

    db.exec(u"ALTER TABLE param2channel RENAME TO param2channel_away"_s);
    QTRY_VERIFY(ticks.size() >= 3);
    QVERIFY(status->isVisible());
    QVERIFY(status->text().startsWith(u"The sample list is not current"_s));
    QVERIFY(status->text().contains(u"param2channel"_s));
    QCOMPARE(w.lab.logLines().filter(u"cannot be read"_s).size(), 1);
    w.scan(u"S0001"_s);
    QCOMPARE(w.selected(), u"S0001"_s);
    QCOMPARE(w.model().tileCount(), 3);

    db.exec(u"ALTER TABLE param2channel_away RENAME TO param2channel"_s);
    test::AddSamples(db, 1, 3);
    QTRY_COMPARE(w.model().tileCount(), 4);
    QVERIFY(status->isHidden());
    QCOMPARE(w.lab.logLines().filter(u"is current again"_s).size(), 1);
}

void TestIdStationWindow::messagesFollowTheLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QString>("notice");
    QTest::addColumn<QString>("status");
    QTest::newRow("german") << u"german"_s << u"Probe S9999 steht nicht in der Liste; die Auswahl bleibt."_s
                            << u"Probenliste nicht aktuell, neue Proben fehlen. Grund: "_s;
    QTest::newRow("english") << u"english"_s << u"Sample S9999 is not in the list; the selection stays."_s
                             << u"The sample list is not current, new samples are missing. Reason: "_s;
}

// The station's own messages speak `language`; its captions stay as the laboratory knows them.
void TestIdStationWindow::messagesFollowTheLanguage()
{
    QFETCH(QString, language);
    QFETCH(QString, notice);
    QFETCH(QString, status);
    const Translations translations(TextLanguage(language));
    OpenWindow w([](Database& db) { test::AddSamples(db, 3); });
    w.scan(u"S9999"_s);
    QCOMPARE(w.child<QLabel>(u"lblNotice"_s)->text(), notice);
    w.lab.db().exec(u"DROP TABLE param2channel"_s);
    QVERIFY(!w.station->refresh());
    QVERIFY2(w.child<QLabel>(u"lblStatus"_s)->text().startsWith(status),
             qPrintable(w.child<QLabel>(u"lblStatus"_s)->text()));
    QCOMPARE(w.child<QLabel>(u"Label1"_s)->text(), u"Proben-Nummer:"_s);
    QCOMPARE(w.window->windowTitle(), u"ACT Analyser Kommunikation"_s);
}

void TestIdStationWindow::databaseFileMadeAnew_data()
{
    QTest::addColumn<bool>("seenMissing");
    QTest::addColumn<QString>("said"); // the log's line when the trouble begins
    QTest::newRow("deleted, later made anew") << true << u"is missing (moved or deleted)"_s;
    QTest::newRow("made anew between two refreshes") << false << u"was replaced by another file"_s;
}

// A deleted and recreated database file is an outage: the station connects to the new file.
void TestIdStationWindow::databaseFileMadeAnew()
{
    QFETCH(bool, seenMissing);
    OpenWindow w([](Database& db) { test::AddSamples(db, 3); });
    auto* status = w.child<QLabel>(u"lblStatus"_s);
    const QString file = w.lab.config.DatabaseName;
    for (const QString& suffix : {QString(), u"-wal"_s, u"-shm"_s})
        QFile::remove(file + suffix);
    if (seenMissing) {
        QTRY_VERIFY(status->isVisible());
        QVERIFY2(status->text().contains(u"missing"_s), qPrintable(status->text()));
        QVERIFY(!QFile::exists(file));
        QCOMPARE(w.model().tileCount(), 3);
    }
    {
        const auto db =
            ConnectDatabase(ConnectionSettingsOf(w.lab.config), MissingDatabase::Created); // as /initdb would
        test::SeedAnalysers(*db);
        test::AddSamples(*db, 2, 10);
    }
    QTRY_COMPARE(w.model().tileCount(), 2);
    QCOMPARE(w.model().sampleId(1), u"S0011"_s);
    QVERIFY(status->isHidden());
    // Said once and mended once.
    QFETCH(QString, said);
    QCOMPARE(w.lab.logLines().filter(said).size(), 1);
    QCOMPARE(w.lab.logLines().filter(u"is open again"_s).size(), 1);
}

void TestIdStationWindow::thousandsOfTiles()
{
    OpenWindow w([](Database& db) { test::AddSamples(db, 3000); });
    QCOMPARE(w.model().tileCount(), 3000);
    QCOMPARE(w.model().rowCount(), 600);
    w.scan(u"S2500"_s);
    QCOMPARE(w.selected(), u"S2500"_s);
    QCOMPARE(w.tiles()->tileRect(2500).top(), 0);
    QCOMPARE(w.paintedColour(2500), Red);
    w.scan(u"S2999"_s);
    QVERIFY(w.tiles()->viewport()->rect().contains(w.tiles()->tileRect(2999)));
    w.clickTile(2998);
    QCOMPARE(w.selected(), u"S2998"_s);
}

// KESTRIN_SCREENSHOT=path writes a picture of the station on the demo data.
void TestIdStationWindow::screenshot()
{
    const QString path = qEnvironmentVariable("KESTRIN_SCREENSHOT");
    if (path.isEmpty())
        QSKIP("KESTRIN_SCREENSHOT names no file");
    test::LabStation lab(u"sqlite"_s);
    lab.scratch.loadDemoData();
    lab.config.StationId = u"AN1"_s;
    SampleIdStation station(lab.ctx());
    SampleIdWindow window(station);
    station.open();
    window.resize(960, 420);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTest::keyClicks(window.findChild<QLineEdit*>(u"zeingabe"_s), u"26001003\r"_s);
    QTest::keyClicks(window.findChild<QLineEdit*>(u"zeingabe"_s), u"2600"_s);
    QVERIFY(window.grab().save(path));
}

KESTRIN_GUI_TEST_MAIN(TestIdStationWindow)
#include "tst_idstationwindow.moc"
