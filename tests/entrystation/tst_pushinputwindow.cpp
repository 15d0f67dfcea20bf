#include "EntryFixture.h"
#include "GuiTestMain.h"
#include "core/Translations.h"
#include "entrystation/NamePicturesWindow.h"
#include "entrystation/PushInputWindow.h"
#include "labdb/Database.h"
#include "labdb/SessionTable.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTimer>
#include <QWindow>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

const QColor kRed(255, 0, 0);

// The entry station's window on a fixture, shown and active, with "PIC" counted instead of
// opening its modal window (one test opens the real one).
class Station {
public:
    explicit Station(const QString& engine, const QString& stationId = u"L1"_s)
        : f(engine, stationId)
    {
    }

    void open(Context* ctx = nullptr)
    {
        window = std::make_unique<PushInputWindow>(ctx ? f.startSession(*ctx) : f.startSession());
        window->setNamePicturesDialog([this](QWidget*) { ++pictures; });
        window->show();
        window->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
    }

    template <typename T> T* find(const QString& name) const
    {
        T* child = window->findChild<T*>(name);
        if (!child)
            qFatal("no control %s", qPrintable(name));
        return child;
    }
    QLineEdit* sampleId() const { return find<QLineEdit>(u"txtSampleID"_s); }
    QLineEdit* result() const { return find<QLineEdit>(u"txtResult"_s); }
    QString status() const { return find<QLabel>(u"lblStatus"_s)->text(); }
    QString counter() const { return find<QLabel>(u"lblSampleCTR"_s)->text(); }
    // Element `row` of one of the history's label arrays (lblSampleID1, lblResult1, lblDEL1).
    QLabel* history(const QString& name, int row) const
    {
        for (QLabel* label : window->findChildren<QLabel*>(name)) {
            if (label->property("index").toInt() == row)
                return label;
        }
        qFatal("no history row %d", row);
    }

    // Types into the user list, as a worker picks a name with the keyboard.
    void chooseUser(const QString& user)
    {
        auto* users = find<QComboBox>(u"cbUser"_s);
        users->setFocus();
        QTest::keyClicks(users, user);
    }
    // Types into whichever box has the focus, then Enter.
    void type(const QString& text, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QWidget* box = QApplication::focusWidget();
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return, modifiers);
    }
    void entry(const QString& sample, const QString& resultText)
    {
        type(sample);
        type(resultText);
    }

    test::EntryFixture f;
    std::unique_ptr<PushInputWindow> window;
    int pictures = 0;
};

// Key presses as the platform delivers them: queued, to whatever has the focus when their
// turn comes.
void postKeys(QWindow* window, const QString& keys)
{
    for (const QChar c : keys) {
        const bool enter = c == u'\r';
        const int key = enter ? int(Qt::Key_Return) : int(c.toUpper().unicode());
        const QString text = enter ? u"\r"_s : QString(c);
        QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier, text));
        QCoreApplication::postEvent(window, new QKeyEvent(QEvent::KeyRelease, key, Qt::NoModifier, text));
    }
}

} // namespace

#define KESTRIN_OPEN_STATION(name)                                                                                     \
    QFETCH(QString, engine);                                                                                           \
    Station name(engine);                                                                                              \
    KESTRIN_REQUIRE(name.f.lab.scratch);                                                                               \
    name.open();                                                                                                       \
    if (QTest::currentTestFailed())                                                                                    \
    return

// frmPushInput driven through its keys and mouse, on the real widgets.
class TestPushInputWindow : public QObject {
    Q_OBJECT
private slots:
    void loadedWaitsForAUser_data() { sqliteOnly(); }
    void loadedWaitsForAUser();
    void userChoiceOpensEntry_data() { sqliteOnly(); }
    void userChoiceOpensEntry();
    void focusCycle_data();
    void focusCycle();
    void commandWords_data();
    void commandWords();
    void nineEntries_data() { test::AddEngineRows(); }
    void nineEntries();
    void deletesFromTheHistory_data() { test::AddEngineRows(); }
    void deletesFromTheHistory();
    void colours_data() { sqliteOnly(); }
    void colours();
    void entryWithoutSampleId_data() { sqliteOnly(); }
    void entryWithoutSampleId();
    void databaseFailsMidEntry_data() { test::AddEngineRows(); }
    void databaseFailsMidEntry();
    void scannerKeysAreNotLost_data() { test::AddEngineRows(); }
    void scannerKeysAreNotLost();
    void anotherProgramHoldsTheDatabase_data() { sqliteOnly(); }
    void anotherProgramHoldsTheDatabase();
    void failureSelectsTheText_data();
    void failureSelectsTheText();
    void strayKeysKeepTheUser_data() { sqliteOnly(); }
    void strayKeysKeepTheUser();
    void longScanKeepsTheWindowSize_data();
    void longScanKeepsTheWindowSize();
    void limitsOfTheConnectedDatabase_data() { test::AddEngineRows(); }
    void limitsOfTheConnectedDatabase();
    void twoStationsClearTheirOwn_data() { test::AddEngineRows(); }
    void twoStationsClearTheirOwn();
    void closingEndsTheProgram_data() { sqliteOnly(); }
    void closingEndsTheProgram();
    void namePicturesStoresNothing_data() { sqliteOnly(); }
    void namePicturesStoresNothing();
    void messagesFollowTheLanguage_data();
    void messagesFollowTheLanguage();
    void demoStation();

private:
    static void sqliteOnly()
    {
        QTest::addColumn<QString>("engine");
        QTest::newRow("sqlite") << u"sqlite"_s;
    }
};

void TestPushInputWindow::loadedWaitsForAUser()
{
    KESTRIN_OPEN_STATION(s);
    QCOMPARE(s.window->objectName(), u"frmPushInput"_s);
    QCOMPARE(s.window->windowTitle(), u"Quorix Input - L1"_s);
    auto* prompt = s.find<QLabel>(u"lblSelectUser"_s);
    QCOMPARE(prompt->text(), u"Bitte Benutzer w\u00e4hlen"_s);
    QCOMPARE(prompt->palette().color(QPalette::WindowText), QColor(Qt::blue));
    QCOMPARE(s.find<QLabel>(u"lblParameter"_s)->text(), u"Cannabinoids"_s);
    QCOMPARE(s.find<QLabel>(u"lblDevice"_s)->text(), u"L1"_s);
    QCOMPARE(s.counter(), u"0"_s);
    QCOMPARE(s.find<QLabel>(u"lblSampleCTRLabel"_s)->text(), u"Samples in session"_s);
    QCOMPARE(s.find<QPushButton>(u"cmdClose"_s)->text(), u"@N/A"_s); // no caption row for 6607
    QCOMPARE(s.find<QComboBox>(u"cbUser"_s)->count(), 3);
    QCOMPARE(s.find<QComboBox>(u"cbUser"_s)->currentText(), QString());
    for (const QString& hidden :
         {u"txtSampleID"_s, u"txtResult"_s, u"lblSampleID"_s, u"lblResult"_s, u"cmdClearSession"_s})
        QVERIFY2(!s.find<QWidget>(hidden)->isVisible(), qPrintable(hidden));
    for (int row = 0; row < EntryHistory::kRows; ++row)
        QVERIFY(!s.history(u"lblSampleID1"_s, row)->isVisible());
    QCOMPARE(s.history(u"lblDEL1"_s, 0)->text(), u"X"_s);
    QCOMPARE(s.history(u"lblDEL1"_s, 0)->palette().color(QPalette::Window), QColor(192, 192, 255));
    // It fits a 1366x768 screen and can be made larger.
    const QSize smallest = s.window->minimumSizeHint();
    QVERIFY(smallest.width() <= 1366 && smallest.height() <= 700);
    QVERIFY(s.window->maximumWidth() > 1366 && s.window->maximumHeight() > 768);
}

void TestPushInputWindow::userChoiceOpensEntry()
{
    KESTRIN_OPEN_STATION(s);
    s.chooseUser(u"MB"_s);
    QVERIFY(s.sampleId()->isVisible());
    QVERIFY(s.result()->isVisible());
    QVERIFY(s.find<QPushButton>(u"cmdClearSession"_s)->isVisible());
    QCOMPARE(s.find<QLabel>(u"lblSampleID"_s)->text(), u"Proben-ID"_s);
    QCOMPARE(s.find<QLabel>(u"lblSelectUser"_s)->text(), u"Benutzer"_s);
    QCOMPARE(QApplication::focusWidget(), s.sampleId());
    s.entry(u"4711"_s, u"30"_s);
    // EB leaves the user list of the database; choosing EB changes nothing.
    s.f.db().exec(u"DELETE FROM user_base WHERE userid = ?"_s, {u"EB"_s});
    s.chooseUser(u"EB"_s);
    QCOMPARE(s.find<QComboBox>(u"cbUser"_s)->currentText(), u"MB"_s);
    QCOMPARE(s.window->session().user(), u"MB"_s);
    s.sampleId()->setFocus();
    s.entry(u"4712"_s, u"31"_s);
    QCOMPARE(s.f.lab.column(u"SELECT DISTINCT R_VALIDATOR FROM RESULTS"_s), QStringList{u"MB"_s});

    // A parameter that test_def lacks: no user opens entry.
    Station unknown(u"sqlite"_s, u"L2"_s);
    unknown.f.config().TestParameter = 99;
    unknown.open();
    QCOMPARE(unknown.find<QLabel>(u"lblParameter"_s)->text(), u"Parameter not configured!"_s);
    unknown.chooseUser(u"MB"_s);
    QVERIFY(!unknown.sampleId()->isVisible());
}

void TestPushInputWindow::focusCycle_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<bool>("moves");    // the focus goes on to the result box
    QTest::addColumn<bool>("selected"); // the text is selected for retyping
    const auto row = [](const char* name) -> QTestData& { return QTest::newRow(name) << u"sqlite"_s; };
    row("sample ID") << u"A-123"_s << 0 << true << false;
    row("blank inside") << u"A 123"_s << 0 << false << true;
    row("plus inside") << u"A+123"_s << 0 << false << true;
    row("quote") << u"O'Hara"_s << 0 << false << true;
    row("nothing typed") << QString() << 0 << false << false;
    row("Shift+Enter") << u"A-123"_s << int(Qt::ShiftModifier) << false << false;
    row("Ctrl+Enter") << u"A-123"_s << int(Qt::ControlModifier) << false << false;
    row("lower-case command is an ID") << u"del3"_s << 0 << true << false;
    row("DELETE is an ID") << u"DELETE"_s << 0 << true << false;
}

void TestPushInputWindow::focusCycle()
{
    QFETCH(QString, typed);
    QFETCH(int, modifiers);
    QFETCH(bool, moves);
    QFETCH(bool, selected);
    QFETCH(QString, engine);
    Station s(engine);
    KESTRIN_REQUIRE(s.f.lab.scratch);
    s.f.config().AutoVal = u"0"_s; // "+" is stored; autovalidated, it is no number for the ranges to interpret
    s.open();
    s.chooseUser(u"MB"_s);
    s.type(typed, Qt::KeyboardModifiers(modifiers));
    QCOMPARE(QApplication::focusWidget(), moves ? s.result() : s.sampleId());
    QCOMPARE(s.sampleId()->text(), typed);
    QCOMPARE(s.sampleId()->selectedText(), selected ? typed : QString());
    if (!moves)
        return;
    // The result box: forbidden characters are selected, "+" is a result, Shift+Enter nothing.
    s.type(u"5*"_s);
    QCOMPARE(s.result()->selectedText(), u"5*"_s);
    QCOMPARE(s.f.count(u"RAW_RESULTS"_s), 0);
    QTest::keyClick(s.result(), Qt::Key_Escape);
    QCOMPARE(QApplication::focusWidget(), s.sampleId());
    QCOMPARE(s.sampleId()->text(), QString());
    s.type(typed);
    s.type(u"+"_s, Qt::ShiftModifier);
    QCOMPARE(s.f.count(u"RAW_RESULTS"_s), 0);
    QTest::keyClick(s.result(), Qt::Key_Return);
    QCOMPARE(s.f.lab.column(u"SELECT RESULT FROM RAW_RESULTS"_s), QStringList{u"+"_s});
    QCOMPARE(QApplication::focusWidget(), s.sampleId());
    QCOMPARE(s.sampleId()->text() + s.result()->text(), QString());
}

void TestPushInputWindow::commandWords_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<bool>("inResult"); // typed into the result box after a sample ID
    QTest::addColumn<QString>("word");
    QTest::addColumn<QString>("counter");
    QTest::addColumn<int>("pictures");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<QString>("said"); // in the status line
    for (const bool inResult : {false, true}) {
        const auto row = [&](const char* name) -> QTestData& {
            return QTest::addRow("%s %s", inResult ? "result" : "sample ID", name) << u"sqlite"_s << inResult;
        };
        row("ESC") << u"ESC"_s << u"3"_s << 0 << false << QString();
        row("ESCAPE") << u"ESCAPE"_s << u"3"_s << 0 << false << QString();
        row("CLS") << u"CLS"_s << u"0"_s << 0 << false << QString();
        row("DEL3") << u"DEL3"_s << u"2"_s << 0 << false << QString();
        row("DEL9 deletes nothing") << u"DEL9"_s << u"3"_s << 0 << false << u"history row 9 "_s;
        row("DELx deletes nothing") << u"DELx"_s << u"3"_s << 0 << false << u"history row x "_s;
        row("DEL5 row never used") << u"DEL5"_s << u"3"_s << 0 << false << u"history row 5 "_s;
        row("PIC") << u"PIC"_s << u"3"_s << 1 << false << QString();
        row("END") << u"END"_s << u"3"_s << 0 << true << QString();
    }
}

void TestPushInputWindow::commandWords()
{
    QFETCH(bool, inResult);
    QFETCH(QString, word);
    QFETCH(QString, counter);
    QFETCH(int, pictures);
    QFETCH(bool, closes);
    QFETCH(QString, said);
    KESTRIN_OPEN_STATION(s);
    s.f.config().AutoVal = u"1"_s;
    s.chooseUser(u"MB"_s);
    for (const QString& sample : {u"S-1"_s, u"S-2"_s, u"S-3"_s})
        s.entry(sample, u"30"_s);
    QSignalSpy closing(s.window.get(), &PushInputWindow::closeRequested);
    if (inResult)
        s.type(u"S-9"_s);
    s.type(word);
    QCOMPARE(closing.size(), closes ? 1 : 0);
    QCOMPARE(s.pictures, pictures);
    if (closes)
        return;
    QCOMPARE(s.counter(), counter);
    QCOMPARE(s.sampleId()->text() + s.result()->text(), QString());
    QCOMPARE(QApplication::focusWidget(), s.sampleId());
    QCOMPARE(s.f.count(u"RESULTS"_s), counter.toInt());
    QCOMPARE(s.f.count(u"RAW_RESULTS"_s), 3);
    if (word == u"DEL3") {
        QCOMPARE(s.history(u"lblSampleID1"_s, 2)->text(), QString());
        QVERIFY(!s.history(u"lblDEL1"_s, 2)->isVisible());
        QCOMPARE(s.history(u"lblSampleID1"_s, 1)->text(), u"S-2"_s);
        QVERIFY(!s.f.lab.column(u"SELECT SAMPLE_ID FROM RESULTS"_s).contains(u"S-1"_s));
    } else if (word.startsWith(u"DEL")) {
        QVERIFY2(s.status().contains(said), qPrintable(s.status()));
    } else if (word == u"CLS") {
        QVERIFY(!s.history(u"lblSampleID1"_s, 0)->isVisible());
    }
}

void TestPushInputWindow::nineEntries()
{
    KESTRIN_OPEN_STATION(s);
    s.chooseUser(u"MB"_s);
    for (int i = 1; i <= 8; ++i)
        s.entry(u"N-%1"_s.arg(i), u"%1"_s.arg(20 + i));
    s.entry(u"N-9"_s, u"1,5"_s);
    QCOMPARE(s.counter(), u"9"_s);
    for (int row = 0; row < EntryHistory::kRows; ++row) {
        QLabel* sample = s.history(u"lblSampleID1"_s, row);
        QVERIFY(sample->isVisible());
        QCOMPARE(sample->text(), u"N-%1"_s.arg(9 - row));
        QCOMPARE(sample->font().pointSize(), 14);
        QVERIFY(sample->font().bold());
        QVERIFY(s.history(u"lblDEL1"_s, row)->isVisible());
    }
    QCOMPARE(s.history(u"lblResult1"_s, 0)->text(), u"1,5"_s);
    QCOMPARE(s.f.lab.column(u"SELECT RESULT FROM RESULTS WHERE SAMPLE_ID = 'N-9'"_s), QStringList{u"1.5"_s});
    QCOMPARE(s.f.count(u"RESULTS"_s), 9);
}

void TestPushInputWindow::deletesFromTheHistory()
{
    KESTRIN_OPEN_STATION(s);
    s.chooseUser(u"MB"_s);
    for (const QString& sample : {u"D-1"_s, u"D-2"_s, u"D-3"_s, u"D-4"_s})
        s.entry(sample, u"30"_s);
    s.sampleId()->setText(u"half typed"_s);
    QTest::mouseClick(s.history(u"lblDEL1"_s, 2), Qt::LeftButton);
    QCOMPARE(s.counter(), u"3"_s);
    QCOMPARE(s.history(u"lblSampleID1"_s, 2)->text(), QString());
    QCOMPARE(s.sampleId()->text(), QString());
    QCOMPARE(s.f.lab.column(u"SELECT SAMPLE_ID FROM RESULTS ORDER BY SAMPLE_ID"_s),
             (QStringList{u"D-1"_s, u"D-3"_s, u"D-4"_s}));
    QVERIFY(s.f.logLines().last().endsWith(u" INPUT: Result deleted for sample ID: D-2"_s));
    s.entry(u"D-5"_s, u"30"_s);
    QCOMPARE(s.history(u"lblSampleID1"_s, 3)->text(), QString());
    QVERIFY(s.history(u"lblDEL1"_s, 3)->isVisible()); // the blank row moved down with its marker
    QVERIFY(s.history(u"lblSampleID1"_s, 3)->isVisible());
    QTest::mouseClick(s.history(u"lblDEL1"_s, 3), Qt::LeftButton);
    QCOMPARE(s.counter(), u"4"_s);
    QCOMPARE(s.f.count(u"RESULTS"_s), 4);
    QVERIFY(!s.status().isEmpty());
}

void TestPushInputWindow::colours()
{
    KESTRIN_OPEN_STATION(s);
    s.chooseUser(u"MB"_s);
    s.entry(u"C-1"_s, u"74"_s);
    s.entry(u"C-2"_s, u"12"_s);
    s.entry(u"C-3"_s, u"-5"_s);
    const QColor face = s.window->palette().color(QPalette::Button);
    const auto colours = [&](int row) {
        const QPalette p = s.history(u"lblResult1"_s, row)->palette();
        return std::pair{p.color(QPalette::Window), p.color(QPalette::WindowText)};
    };
    QCOMPARE(colours(0), (std::pair{kRed, QColor(Qt::black)}));
    QCOMPARE(colours(1), (std::pair{face, kRed})); // below 19.99, the lowest suspicious bound
    QCOMPARE(colours(2), (std::pair{face, QColor(Qt::black)}));
}

void TestPushInputWindow::entryWithoutSampleId()
{
    KESTRIN_OPEN_STATION(s);
    s.chooseUser(u"MB"_s);
    s.result()->setFocus();
    s.type(u"30"_s);
    QCOMPARE(s.result()->selectedText(), u"30"_s);
    QVERIFY(s.status().contains(u"sample ID"_s));
    QCOMPARE(s.f.count(u"RAW_RESULTS"_s) + s.f.count(u"CONTROL_RESULTS"_s), 0);
    QCOMPARE(s.counter(), u"0"_s);
}

void TestPushInputWindow::databaseFailsMidEntry()
{
    KESTRIN_OPEN_STATION(s);
    s.chooseUser(u"MB"_s);
    s.entry(u"F-1"_s, u"30"_s);
    s.f.db().exec(u"ALTER TABLE RESULTS RENAME TO RESULTS_AWAY"_s);
    s.entry(u"F-2"_s, u"31"_s);
    QCOMPARE(s.sampleId()->text(), u"F-2"_s);
    QCOMPARE(s.result()->text(), u"31"_s);
    QCOMPARE(s.result()->selectedText(), u"31"_s);
    QCOMPARE(QApplication::focusWidget(), s.result());
    QVERIFY(s.status().contains(u"Not stored"_s));
    QCOMPARE(s.counter(), u"1"_s);
    QCOMPARE(s.f.count(u"RAW_RESULTS"_s), 1);
    QTest::keyClick(s.result(), Qt::Key_Return); // again, while the database still refuses
    QCOMPARE(s.result()->text(), u"31"_s);
    s.f.db().exec(u"ALTER TABLE RESULTS_AWAY RENAME TO RESULTS"_s);
    QTest::keyClick(s.result(), Qt::Key_Return);
    QCOMPARE(s.counter(), u"2"_s);
    QCOMPARE(s.status(), QString());
    QCOMPARE(s.history(u"lblSampleID1"_s, 0)->text(), u"F-2"_s);
    QCOMPARE(s.f.count(u"RAW_RESULTS"_s), 2);
    QCOMPARE(s.f.count(u"RESULTS"_s), 2);
}

// A scanner sends the next ID while the entry before is still being stored: the keys wait in
// the queue and land in the emptied sample ID box.
void TestPushInputWindow::scannerKeysAreNotLost()
{
    KESTRIN_OPEN_STATION(s);
    s.chooseUser(u"MB"_s);
    s.type(u"K-1"_s);
    QTest::keyClicks(s.result(), u"12"_s);
    postKeys(s.window->windowHandle(), u"K-2\r13\rK-3"_s);
    QTest::keyClick(s.result(), Qt::Key_Return); // stores K-1 before the queue is read
    QTRY_COMPARE(s.sampleId()->text(), u"K-3"_s);
    QCOMPARE(s.result()->text(), QString());
    QCOMPARE(s.counter(), u"2"_s);
    QCOMPARE(s.f.lab.column(u"SELECT SAMPLE_ID || '=' || RESULT FROM RAW_RESULTS ORDER BY SAMPLE_ID"_s),
             (QStringList{u"K-1=12"_s, u"K-2=13"_s}));
}

// Another program holds the write lock: the entry waits, visibly, while the window takes the
// next scan as the next entry; both are stored in order once the database is free.
void TestPushInputWindow::anotherProgramHoldsTheDatabase()
{
    KESTRIN_OPEN_STATION(s);
    s.chooseUser(u"MB"_s);
    const std::unique_ptr<Database> other = s.f.db().newConnection();
    other->open();
    other->exec(u"BEGIN IMMEDIATE"_s);
    s.entry(u"W3"_s, u"8"_s);
    QVERIFY2(s.status().contains(u"Waiting for the database"_s), qPrintable(s.status()));
    QVERIFY(s.status().contains(u"W3 / 8"_s));
    QCOMPARE(QApplication::focusWidget(), s.sampleId());
    s.entry(u"W4"_s, u"9"_s);
    s.type(u"W5"_s);
    QCOMPARE(s.sampleId()->text(), u"W5"_s);
    QVERIFY2(s.status().contains(u"W3 / 8"_s) && s.status().contains(u"1 more"_s), qPrintable(s.status()));
    QCOMPARE(s.counter(), u"0"_s);
    other->exec(u"COMMIT"_s);
    QTRY_COMPARE(s.counter(), u"2"_s);
    QCOMPARE(s.status(), QString());
    QCOMPARE(s.f.lab.column(u"SELECT SAMPLE_ID || '=' || RESULT FROM RAW_RESULTS ORDER BY rowid"_s),
             (QStringList{u"W3=8"_s, u"W4=9"_s}));
    QCOMPARE(s.f.lab.column(u"SELECT SAMPLE_ID || '=' || RESULT FROM RESULTS ORDER BY SAMPLE_ID"_s),
             (QStringList{u"W3=8"_s, u"W4=9"_s}));
    QCOMPARE(s.history(u"lblSampleID1"_s, 0)->text(), u"W4"_s);
    QCOMPARE(s.sampleId()->text(), u"W5"_s); // the entry being typed is untouched
    QCOMPARE(QApplication::focusWidget(), s.result());
}

void TestPushInputWindow::failureSelectsTheText_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<bool>("inResult");
    QTest::addColumn<QString>("typed");
    QTest::newRow("CLS in the sample ID") << u"sqlite"_s << false << u"CLS"_s;
    QTest::newRow("CLS in the result") << u"sqlite"_s << true << u"CLS"_s;
    QTest::newRow("DEL1 in the sample ID") << u"sqlite"_s << false << u"DEL1"_s;
    QTest::newRow("a result") << u"sqlite"_s << true << u"31"_s;
}

// After a store, delete or clear the database refused, the text stays selected: the next scan
// replaces it instead of joining it.
void TestPushInputWindow::failureSelectsTheText()
{
    QFETCH(bool, inResult);
    QFETCH(QString, typed);
    KESTRIN_OPEN_STATION(s);
    s.chooseUser(u"MB"_s);
    s.entry(u"F-1"_s, u"30"_s);
    s.f.db().exec(u"ALTER TABLE RESULTS RENAME TO RESULTS_AWAY"_s);
    if (inResult)
        s.type(u"F-2"_s);
    s.type(typed);
    QLineEdit* box = inResult ? s.result() : s.sampleId();
    QCOMPARE(QApplication::focusWidget(), box);
    QCOMPARE(box->selectedText(), typed);
    QVERIFY(!s.status().isEmpty());
    QTest::keyClicks(box, u"F-3"_s);
    QCOMPARE(box->text(), u"F-3"_s);
}

// Once a user is chosen, the user list is out of the way of stray keys; a choice made on
// purpose is logged.
void TestPushInputWindow::strayKeysKeepTheUser()
{
    KESTRIN_OPEN_STATION(s);
    s.chooseUser(u"MB"_s);
    auto* users = s.find<QComboBox>(u"cbUser"_s);
    s.type(u"U-1"_s);
    QTest::keyClick(s.result(), Qt::Key_Tab);
    QVERIFY(QApplication::focusWidget() != users);
    users->setFocus();
    QTest::keyClicks(users, u"E"_s);
    for (const Qt::Key key : {Qt::Key_Down, Qt::Key_Up, Qt::Key_End, Qt::Key_PageDown})
        QTest::keyClick(users, key);
    QCOMPARE(users->currentText(), u"MB"_s);
    QCOMPARE(s.window->session().user(), u"MB"_s);

    QTest::keyClick(users, Qt::Key_F4);
    QTRY_VERIFY(users->view()->isVisible());
    users->view()->setCurrentIndex(users->model()->index(users->findText(u"EB"_s), 0));
    QTest::keyClick(users->view(), Qt::Key_Return);
    QCOMPARE(s.window->session().user(), u"EB"_s);
    const QStringList log = s.f.logLines();
    QVERIFY(log.at(log.size() - 2).endsWith(u" INPUT: User chosen: MB"_s));
    QVERIFY(log.last().endsWith(u" INPUT: User changed from MB to EB"_s));
}

// A long scan is refused, which the status line says.
void TestPushInputWindow::longScanKeepsTheWindowSize_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<int>("length");
    for (const QString& engine : test::EngineNames()) {
        test::EngineRow(engine, "151 characters") << 151;
        test::EngineRow(engine, "301 characters") << 301;
    }
}

void TestPushInputWindow::longScanKeepsTheWindowSize()
{
    QFETCH(int, length);
    KESTRIN_OPEN_STATION(s);
    s.chooseUser(u"MB"_s);
    const QSize before = s.window->size();
    s.entry(QString(length, u'7'), u"30"_s);
    QVERIFY2(s.status().contains(QString::number(length)), qPrintable(s.status()));
    QCOMPARE(s.counter(), u"0"_s);
    QCoreApplication::sendPostedEvents(); // the layout's requests
    QCOMPARE(s.window->size(), before);
    QVERIFY(s.window->minimumSizeHint().width() <= before.width());
}

// An entry is refused by the sizes of the database it goes to, as its catalogue declares them
// (here wider than Kestrin's own schema).
void TestPushInputWindow::limitsOfTheConnectedDatabase()
{
    QFETCH(QString, engine);
    Station s(engine, u"BENCHSTATION000001"_s); // with "_MB" longer than Kestrin's 20
    KESTRIN_REQUIRE(s.f.lab.scratch);
    s.f.config().AutoVal = u"0"_s;
    // RAW_RESULTS, and REQUEST, which the work table copies.
    for (const QString& table : {u"RAW_RESULTS"_s, u"REQUEST"_s}) {
        s.f.db().exec(u"DROP TABLE "_s + table);
        s.f.db().exec(u"CREATE TABLE %1 (SAMPLE_ID VARCHAR(30), PARAMETER_ID INTEGER, TIME_STAMP TIMESTAMP, RESULT "
                      u"VARCHAR(50), ANALYZER_ID VARCHAR(40))"_s.arg(table));
    }
    s.open();
    const QString workTable = s.f.db().dialect().quote(u"INPUT_BENCHSTATION000001"_s);
    s.chooseUser(u"MB"_s);
    const QString sampleId(19, u'4'); // Kestrin's work table takes 18
    s.entry(sampleId, u"30"_s);
    QVERIFY2(s.status().isEmpty(), qPrintable(s.status()));
    QCOMPARE(s.counter(), u"1"_s);
    QCOMPARE(s.f.lab.column(u"SELECT SAMPLE_ID FROM "_s + workTable), QStringList{sampleId});
    QCOMPARE(s.f.lab.column(u"SELECT ANALYZER_ID FROM RAW_RESULTS"_s), QStringList{u"BENCHSTATION000001_MB"_s});
    s.entry(QString(31, u'5'), u"30"_s);
    QVERIFY2(s.status().contains(u"at most 30"_s), qPrintable(s.status()));
    QCOMPARE(s.counter(), u"1"_s);
}

void TestPushInputWindow::twoStationsClearTheirOwn()
{
    KESTRIN_OPEN_STATION(l1);
    Context& other = l1.f.otherStation(u"L10"_s);
    auto l10 = std::make_unique<PushInputWindow>(l1.f.startSession(other));
    l10->show();
    const auto type = [](QLineEdit* box, const QString& text) {
        QTest::keyClicks(box, text);
        QTest::keyClick(box, Qt::Key_Return);
    };
    auto* users = l10->findChild<QComboBox*>(u"cbUser"_s);
    QTest::keyClicks(users, u"EB"_s);
    type(l10->findChild<QLineEdit*>(u"txtSampleID"_s), u"T-10"_s);
    type(l10->findChild<QLineEdit*>(u"txtResult"_s), u"30"_s);
    l1.chooseUser(u"MB"_s);
    l1.entry(u"T-1"_s, u"30"_s);
    QTest::mouseClick(l1.find<QPushButton>(u"cmdClearSession"_s), Qt::LeftButton);
    QCOMPARE(l1.counter(), u"0"_s);
    QCOMPARE(l1.f.lab.column(u"SELECT SAMPLE_ID FROM RESULTS"_s), QStringList{u"T-10"_s});
    QCOMPARE(l10->findChild<QLabel*>(u"lblSampleCTR"_s)->text(), u"1"_s);
}

void TestPushInputWindow::closingEndsTheProgram()
{
    KESTRIN_OPEN_STATION(s);
    QSignalSpy closing(s.window.get(), &PushInputWindow::closeRequested);
    QTest::mouseClick(s.find<QPushButton>(u"cmdClose"_s), Qt::LeftButton);
    QCOMPARE(closing.size(), 1);
    s.window->close();
    QCOMPARE(closing.size(), 2);
}

void TestPushInputWindow::namePicturesStoresNothing()
{
    KESTRIN_OPEN_STATION(s);
    s.window->setNamePicturesDialog([](QWidget* owner) {
        NamePicturesWindow window(owner);
        window.exec();
    });
    s.chooseUser(u"MB"_s);
    const QStringList logBefore = s.f.logLines();
    QString title;
    bool scanned = false;
    QTimer::singleShot(0, s.window.get(), [&] {
        auto* pictures = qobject_cast<NamePicturesWindow*>(QApplication::activeModalWidget());
        if (!pictures)
            return;
        title = pictures->windowTitle();
        QLineEdit* box = pictures->findChild<QLineEdit*>(u"txtSampleID"_s);
        scanned = box && box->isVisible() && box->isEnabled();
        QTest::keyClicks(box, u"4711"_s);
        QTest::keyClick(box, Qt::Key_Return);
        pictures->close();
    });
    s.type(u"PIC"_s);
    QCOMPARE(title, u"Scan Sample BC"_s);
    QVERIFY(scanned);
    QCOMPARE(s.sampleId()->text(), QString());
    QTRY_COMPARE(QApplication::focusWidget(), s.sampleId());
    QCOMPARE(s.f.logLines(), logBefore);
    QCOMPARE(s.f.count(u"RAW_RESULTS"_s) + s.f.count(u"CONTROL_RESULTS"_s) + s.f.count(u"INPUT_L1"_s), 0);
}

void TestPushInputWindow::messagesFollowTheLanguage_data()
{
    QTest::addColumn<QString>("language");
    QTest::addColumn<QStringList>("expected"); // no user, a refused sample ID, DEL9, the marker's tip
    QTest::newRow("german") << u"german"_s
                            << QStringList{u"Bitte zuerst den Benutzer ausw\u00e4hlen."_s,
                                           u"Eine Proben-ID darf weder Leerzeichen noch eines der Zeichen \\ + * $ "
                                           u"\u00a7 ' enthalten."_s,
                                           u"In Zeile 9 der Liste steht kein Eintrag, der gel\u00f6scht werden kann."_s,
                                           u"Diesen Eintrag l\u00f6schen"_s};
    QTest::newRow("english") << u"english"_s
                             << QStringList{u"Choose your user first."_s,
                                            u"A sample ID cannot hold a blank or any of \\ + * $ \u00a7 ' ."_s,
                                            u"There is no entry in history row 9 to delete."_s, u"Delete this entry"_s};
}

// Kestrin's own texts, from the window and from the session behind it, speak `language`.
void TestPushInputWindow::messagesFollowTheLanguage()
{
    QFETCH(QString, language);
    QFETCH(QStringList, expected);
    Station s(u"sqlite"_s);
    KESTRIN_REQUIRE(s.f.lab.scratch);
    s.f.config().Language = language;
    const Translations translations(TextLanguage(language));
    s.open();
    QStringList shown{s.window->session().storeEntry(u"4711"_s, u"30"_s).message};
    s.chooseUser(u"MB"_s);
    s.type(u"A 1"_s);
    shown << s.status();
    QTest::keyClick(s.sampleId(), Qt::Key_Escape);
    s.type(u"DEL9"_s);
    shown << s.status() << s.history(u"lblDEL1"_s, 0)->toolTip();
    QCOMPARE(shown, expected);
}

// The station on the demo data as the README starts it (demo parameter 9, Creatinine), in the
// middle of a session. KESTRIN_SCREENSHOT=path writes its picture.
void TestPushInputWindow::demoStation()
{
    test::LabStation lab(u"sqlite"_s);
    const QString demo = QString::fromUtf8(test::ReadFile(test::SourceDir() + u"/examples/demo-data.sql"_s));
    for (const QString& statement : demo.split(u";\n"_s)) {
        QStringList lines = statement.split(u'\n');
        lines.removeIf([](const QString& line) { return line.startsWith(u"--"); });
        if (!lines.join(u'\n').trimmed().isEmpty())
            lab.db().exec(lines.join(u'\n'));
    }
    lab.config.RunType = u"INPUT"_s;
    lab.config.TestParameter = 9;
    lab.config.AutoVal = u"1"_s;
    lab.config.Language = u"german"_s;
    lab.config.ControlIdMask = u"QC-?\?\?-1;QC-?\?\?\?-1"_s;
    auto session =
        std::make_unique<EntrySession>(lab.ctx(), CreateSessionTable(lab.db(), u"INPUT"_s, lab.config.StationId));
    session->load();
    PushInputWindow window(std::move(session));
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QCOMPARE(window.windowTitle(), u"Quorix Input - HL7"_s);
    QTest::keyClicks(window.findChild<QComboBox*>(u"cbUser"_s), u"MB"_s);
    for (const auto& [sample, result] :
         {std::pair{u"26001001"_s, u"112"_s}, std::pair{u"26001002"_s, u"87,5"_s}, std::pair{u"26001003"_s, u"14"_s},
          std::pair{u"QC-LOW-1"_s, u"45"_s}, std::pair{u"26001004"_s, u"-2"_s}, std::pair{u"26001005"_s, u"131"_s}}) {
        for (const QString& text : {sample, result}) {
            QTest::keyClicks(QApplication::focusWidget(), text);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        }
    }
    QCOMPARE(window.findChild<QLabel*>(u"lblSampleCTR"_s)->text(), u"6"_s);
    QCOMPARE(lab.column(u"SELECT INTERPRETATION FROM RESULTS WHERE SAMPLE_ID = '26001003'"_s),
             QStringList{u"diluted"_s});
    QCOMPARE(lab.column(u"SELECT CONTROL_ID FROM CONTROL_RESULTS"_s), QStringList{u"QC-LOW-1"_s});
    QTest::keyClicks(QApplication::focusWidget(), u"26001006"_s);
    if (const QString path = qEnvironmentVariable("KESTRIN_SCREENSHOT"); !path.isEmpty())
        QVERIFY(window.grab().save(path));
}

KESTRIN_GUI_TEST_MAIN(TestPushInputWindow)
#include "tst_pushinputwindow.moc"
