#include "LabStation.h"
#include "TestMain.h"
#include "labdb/Connection.h"
#include "runtime/WorkEdge.h"

#include <QDir>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

enum class Trouble { None, Busy, TableGone, DatabaseGone };

// The edge's own connection on a file of its own, so that the database can go away while the
// log stays where it is.
struct EdgeDatabase {
    explicit EdgeDatabase(const AppConfig& base)
    {
        QDir(dir.path()).mkpath(u"lab"_s);
        AppConfig config = base;
        config.DatabaseName = dir.filePath(u"lab/edge.sqlite"_s);
        db = ConnectDatabase(ConnectionSettingsOf(config), MissingDatabase::Created);
        db->exec(u"CREATE TABLE t (n INTEGER)"_s);
    }

    void start(Trouble trouble)
    {
        if (trouble == Trouble::Busy) {
            other = db->newConnection();
            other->open();
            other->exec(u"BEGIN IMMEDIATE"_s);
        } else if (trouble == Trouble::TableGone) {
            db->exec(u"ALTER TABLE t RENAME TO t_away"_s);
        } else if (trouble == Trouble::DatabaseGone) {
            db->close();
            QVERIFY(QDir(dir.path()).rename(u"lab"_s, u"lab-away"_s));
        }
    }

    void end(Trouble trouble)
    {
        if (trouble == Trouble::Busy)
            other.reset();
        else if (trouble == Trouble::TableGone)
            db->exec(u"ALTER TABLE t_away RENAME TO t"_s);
        else if (trouble == Trouble::DatabaseGone)
            QVERIFY(QDir(dir.path()).rename(u"lab-away"_s, u"lab"_s));
    }

    QTemporaryDir dir;
    std::unique_ptr<Database> db;
    std::unique_ptr<Database> other;
};

} // namespace

class TestWorkEdge : public QObject {
    Q_OBJECT
private slots:
    void troubleIsSaidOnceAndMended_data();
    void troubleIsSaidOnceAndMended();
};

void TestWorkEdge::troubleIsSaidOnceAndMended_data()
{
    QTest::addColumn<Trouble>("trouble");
    QTest::addColumn<bool>("busyWaits");
    QTest::addColumn<WorkOutcome::State>("state");
    QTest::addColumn<QString>("words");
    QTest::addColumn<QString>("reason");   // a part of the server's words
    QTest::addColumn<QStringList>("said"); // a part of each line the log gets, in order

    using State = WorkOutcome::State;
    const QString refused = u"The database did not accept it (the log says why)."_s;
    QTest::newRow("runs") << Trouble::None << false << State::Ran << QString() << QString() << QStringList();
    QTest::newRow("busy, a station waits")
        << Trouble::Busy << true << State::Busy
        << u"The database is busy: another program is using it. Try again in a moment."_s << u"locked"_s
        << QStringList();
    QTest::newRow("busy, a cycle fails") << Trouble::Busy << false << State::Failed << refused << u"locked"_s
                                         << QStringList{u"Monitor: Work failed: database is locked"_s,
                                                        u"Monitor: Work runs again."_s};
    QTest::newRow("refused") << Trouble::TableGone << false << State::Failed << refused << u"no such table: t"_s
                             << QStringList{u"Monitor: Work failed: no such table: t"_s,
                                            u"Monitor: Work runs again."_s};
    QTest::newRow("database gone") << Trouble::DatabaseGone << false << State::Away
                                   << u"The database cannot be reached."_s << u"cannot be opened"_s
                                   << QStringList{u"is lost; Kestrin opens it again."_s, u"is open again."_s};
}

// Each kind of trouble, met twice and then gone twice: the outcome and the status words while
// it lasts, and the log says it once when it begins and once when it is mended.
void TestWorkEdge::troubleIsSaidOnceAndMended()
{
    QFETCH(Trouble, trouble);
    QFETCH(bool, busyWaits);
    QFETCH(WorkOutcome::State, state);
    QFETCH(QString, words);
    QFETCH(QString, reason);
    QFETCH(QStringList, said);
    test::LabStation lab(u"sqlite"_s);
    KESTRIN_REQUIRE(lab.scratch);
    EdgeDatabase edgeDb(lab.scratch.sqliteConfig());
    Database& db = *edgeDb.db;
    WorkEdge edge(&db, lab.ctx().outages);
    const WorkLines lines{.key = u"work"_s,
                          .failed = [](const QString& error) -> QString { return u"Work failed: "_s + error; },
                          .ranAgain = u"Work runs again."_s,
                          .busyWaits = busyWaits};
    const auto work = [&db] {
        db.exec(db.dialect().lockWait(50));
        db.exec(u"INSERT INTO t (n) VALUES (1)"_s);
    };
    const qsizetype logged = lab.logLines().size();

    edgeDb.start(trouble);
    for (int i = 0; i < 2; ++i) {
        const WorkOutcome outcome = edge.run(lines, work);
        QCOMPARE(outcome.state, state);
        QCOMPARE(outcome.words(), words);
        QVERIFY2(outcome.reason.contains(reason) && !outcome.reason.contains(u"INSERT"_s), qPrintable(outcome.reason));
    }
    edgeDb.end(trouble);
    for (int i = 0; i < 2; ++i)
        QVERIFY(edge.run(lines, work).ran());
    QCOMPARE(edge.last().words(), QString());

    const QStringList written = lab.logLines().mid(logged);
    QCOMPARE(written.size(), said.size());
    for (qsizetype i = 0; i < said.size(); ++i)
        QVERIFY2(written.at(i).contains(said.at(i)), qPrintable(written.at(i)));
}

KESTRIN_TEST_MAIN(TestWorkEdge)
#include "tst_workedge.moc"
