#include "LabStation.h"
#include "TestMain.h"
#include "labdb/Connection.h"
#include "runtime/WorkEdge.h"

#include <QDir>
#include <QFile>

using namespace Qt::StringLiterals;
using namespace kestrin;

namespace {

enum class Trouble { None, Busy, TableGone, DatabaseGone, FileMovedAway, FileReplaced, FileReplacedInWork };

const QStringList kFileParts{QString(), u"-wal"_s, u"-shm"_s};

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
        } else if (trouble == Trouble::FileMovedAway) {
            moveFile(u"lab/edge.sqlite"_s, u"edge-away.sqlite"_s);
        } else if (trouble == Trouble::FileReplaced) {
            replaceFile();
        } else if (trouble == Trouble::FileReplacedInWork) {
            replacing = true;
        }
    }

    // A copy of it, as a restore or a technician would put it there, while it is open.
    void replaceFile()
    {
        {
            const auto technician = db->newConnection();
            technician->open();
            technician->exec(u"VACUUM INTO ?"_s, {dir.filePath(u"copy.sqlite"_s)});
        }
        QFile::remove(dir.filePath(u"edge-old.sqlite"_s));
        moveFile(u"lab/edge.sqlite"_s, u"edge-old.sqlite"_s);
        QVERIFY(QFile::rename(dir.filePath(u"copy.sqlite"_s), dir.filePath(u"lab/edge.sqlite"_s)));
    }

    // The file and its journal files, as a cleanup script moves them.
    void moveFile(const QString& from, const QString& to)
    {
        for (const QString& part : kFileParts)
            QFile::rename(dir.filePath(from + part), dir.filePath(to + part));
    }

    // The rows in the file at the path.
    qint64 rowsAtThePath()
    {
        const auto reader = db->newConnection();
        reader->open();
        return reader->first(u"SELECT COUNT(*) FROM t"_s)->at(0).toLongLong();
    }

    void end(Trouble trouble)
    {
        if (trouble == Trouble::Busy)
            other.reset();
        else if (trouble == Trouble::TableGone)
            db->exec(u"ALTER TABLE t_away RENAME TO t"_s);
        else if (trouble == Trouble::DatabaseGone)
            QVERIFY(QDir(dir.path()).rename(u"lab-away"_s, u"lab"_s));
        else if (trouble == Trouble::FileMovedAway)
            moveFile(u"edge-away.sqlite"_s, u"lab/edge.sqlite"_s);
        replacing = false;
    }

    QTemporaryDir dir;
    std::unique_ptr<Database> db;
    std::unique_ptr<Database> other;
    bool replacing = false; // in the middle of each work
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
    QTest::addColumn<bool>("stopping");    // Kestrin is asked to stop
    QTest::addColumn<int>("stored");       // rows in the file at the path at the end

    using State = WorkOutcome::State;
    const QString refused = u"The database did not accept it (the log says why)."_s;
    const QString busy = u"The database is busy: another program is using it. Try again in a moment."_s;
    const QString away = u"The database cannot be reached."_s;
    QTest::newRow("runs") << Trouble::None << false << State::Ran << QString() << QString() << QStringList() << false
                          << 4;
    QTest::newRow("busy, a station waits")
        << Trouble::Busy << true << State::Busy << busy << u"locked"_s << QStringList() << false << 2;
    QTest::newRow("busy, a cycle fails") << Trouble::Busy << false << State::Failed << refused << u"locked"_s
                                         << QStringList{u"Monitor: Work failed: database is locked"_s,
                                                        u"Monitor: Work runs again."_s}
                                         << false << 2;
    QTest::newRow("busy, asked to stop") << Trouble::Busy << false << State::Busy << busy << u"Kestrin is stopping"_s
                                         << QStringList() << true << 2;
    QTest::newRow("refused") << Trouble::TableGone << false << State::Failed << refused << u"no such table: t"_s
                             << QStringList{u"Monitor: Work failed: no such table: t"_s, u"Monitor: Work runs again."_s}
                             << false << 2;
    QTest::newRow("database gone") << Trouble::DatabaseGone << false << State::Away << away << u"is missing"_s
                                   << QStringList{u"is missing (moved or deleted); the work waits"_s,
                                                  u"is open again."_s}
                                   << false << 2;
    QTest::newRow("file moved away while open")
        << Trouble::FileMovedAway << false << State::Away << away << u"is missing"_s
        << QStringList{u"is missing (moved or deleted); the work waits"_s, u"is open again."_s} << false << 2;
    QTest::newRow("file replaced while open")
        << Trouble::FileReplaced << false << State::Ran << QString() << QString()
        << QStringList{u"was replaced by another file; Kestrin works on the file now at that path."_s,
                       u"is open again."_s}
        << false << 4;
    // Each work's commit finds the file gone: it is rolled back, and said as the file's trouble.
    QTest::newRow("file replaced during the work")
        << Trouble::FileReplacedInWork << false << State::Away << away << u"was replaced by another file"_s
        << QStringList{u"Monitor: The database file"_s, u"is open again."_s, u"Monitor: The database file"_s,
                       u"is open again."_s}
        << false << 2;
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
    QFETCH(bool, stopping);
    test::LabStation lab(u"sqlite"_s);
    KESTRIN_REQUIRE(lab.scratch);
    EdgeDatabase edgeDb(lab.scratch.sqliteConfig());
    Database& db = *edgeDb.db;
    WorkEdge edge(&db, lab.ctx().outages);
    const WorkLines lines{.key = u"work"_s,
                          .failed = [](const QString& error) -> QString { return u"Work failed: "_s + error; },
                          .ranAgain = u"Work runs again."_s,
                          .busyWaits = busyWaits};
    // Asked to stop, the work waits for the lock as a cycle does, until the stop cuts it short.
    const std::atomic<bool> stop{stopping};
    db.setStopFlag(&stop);
    const auto work = [&db, &edgeDb, stopping] {
        if (!stopping)
            db.setLockWait(50);
        Transaction transaction(db);
        db.exec(u"INSERT INTO t (n) VALUES (1)"_s);
        if (edgeDb.replacing)
            edgeDb.replaceFile();
        transaction.commit();
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
    QTEST(int(edgeDb.rowsAtThePath()), "stored");
}

KESTRIN_TEST_MAIN(TestWorkEdge)
#include "tst_workedge.moc"
