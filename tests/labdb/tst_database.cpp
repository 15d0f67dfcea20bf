#include "ScratchDatabase.h"
#include "TestMain.h"
#include "core/Error.h"
#include "labdb/DbError.h"

#include <QThread>

using namespace Qt::StringLiterals;
using namespace kestrin;

class TestDatabase : public QObject {
    Q_OBJECT
private slots:
    void boundValuesAreNeverSpliced_data() { test::AddEngineRows(); }
    void boundValuesAreNeverSpliced();
    void rowsByColumnNameInAnyCase_data() { test::AddEngineRows(); }
    void rowsByColumnNameInAnyCase();
    void errorCarriesDriverTextAndStatement_data() { test::AddEngineRows(); }
    void errorCarriesDriverTextAndStatement();
    void statementWorksAgainAfterAnError_data() { test::AddEngineRows(); }
    void statementWorksAgainAfterAnError();
    void transactionRollsBackUnlessCommitted_data() { test::AddEngineRows(); }
    void transactionRollsBackUnlessCommitted();
    void innerTransactionRollsBackAlone_data() { test::AddEngineRows(); }
    void innerTransactionRollsBackAlone();
    void datesRoundTrip_data() { test::AddEngineRows(); }
    void datesRoundTrip();
    void nullsStayNull_data() { test::AddEngineRows(); }
    void nullsStayNull();
    void reopenAfterClose_data() { test::AddEngineRows(); }
    void reopenAfterClose();
    void sqliteStoresItsOwnDateForm();
    void pageClauseReadsFromItsOffset_data() { test::AddEngineRows(); }
    void pageClauseReadsFromItsOffset();
    void lockWaitEndsWithTheLockOrAStop_data();
    void lockWaitEndsWithTheLockOrAStop();
};

namespace {
void makeTable(Database& db)
{
    db.exec(u"CREATE TABLE t (id INTEGER, name VARCHAR(40), stamp %1)"_s.arg(
        db.dialect().columnType(ColumnType::DateTime, 0)));
}
} // namespace

void TestDatabase::boundValuesAreNeverSpliced()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    Database& db = scratch.db();
    makeTable(db);
    const QString tricky = u"O'Neil'); DROP TABLE t; --"_s;
    QCOMPARE(db.exec(u"INSERT INTO t (id, name) VALUES (?, ?)"_s, {1, tricky}), 1);
    const auto row = db.first(u"SELECT name FROM t WHERE name = ?"_s, {tricky});
    QVERIFY(row);
    QCOMPARE(row->text(u"name"), tricky);
    QVERIFY(db.tableExists(u"t"_s));
}

void TestDatabase::rowsByColumnNameInAnyCase()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    Database& db = scratch.db();
    makeTable(db);
    db.exec(u"INSERT INTO t (id, name) VALUES (?, ?)"_s, {7, u"Meier"_s});
    const auto row = db.first(u"SELECT ID, Name FROM t"_s);
    QVERIFY(row);
    QCOMPARE(row->value(u"id").toInt(), 7);
    QCOMPARE(row->text(u"NAME"), u"Meier"_s);
    QVERIFY_THROWS_EXCEPTION(ProgramError, row->value(u"missing"));
}

void TestDatabase::errorCarriesDriverTextAndStatement()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    const QString broken = u"SELECT missing_column FROM no_such_table WHERE x = ?"_s;
    try {
        scratch.db().query(broken, {1});
        QFAIL("no error");
    } catch (const DbError& e) {
        QCOMPARE(e.statement(), broken);
        QVERIFY2(e.driverText().contains(u"no_such_table"_s, Qt::CaseInsensitive), qPrintable(e.driverText()));
        QVERIFY(e.message().contains(broken));
    }
    // A batch of many rows: the message shows the statement's beginning, on one line.
    const QString batch = u"INSERT INTO t (a, b)\nVALUES "_s + QStringList(500, u"(?, ?)"_s).join(u", "_s);
    const DbError error(u"duplicate key"_s, batch);
    QCOMPARE(error.statement(), batch);
    QVERIFY(error.message().startsWith(u"duplicate key [INSERT INTO t (a, b) VALUES (?, ?), (?, ?)"_s));
    QVERIFY2(error.message().size() < 200, qPrintable(error.message()));
}

void TestDatabase::statementWorksAgainAfterAnError()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    Database& db = scratch.db();
    db.exec(u"CREATE TABLE k (id INTEGER PRIMARY KEY)"_s);
    const QString insert = u"INSERT INTO k (id) VALUES (?)"_s;
    db.exec(insert, {1});
    QVERIFY_THROWS_EXCEPTION(DbError, db.exec(insert, {1}));
    db.exec(insert, {2});
    QCOMPARE(db.query(u"SELECT id FROM k ORDER BY id"_s).size(), 2);
}

void TestDatabase::transactionRollsBackUnlessCommitted()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    Database& db = scratch.db();
    makeTable(db);
    {
        Transaction t(db);
        db.exec(u"INSERT INTO t (id) VALUES (?)"_s, {1});
    }
    QCOMPARE(db.query(u"SELECT id FROM t"_s).size(), 0);
    {
        Transaction t(db);
        db.exec(u"INSERT INTO t (id) VALUES (?)"_s, {2});
        t.commit();
    }
    QCOMPARE(db.query(u"SELECT id FROM t"_s).size(), 1);
    QCOMPARE(db.transactionDepth(), 0);
}

void TestDatabase::innerTransactionRollsBackAlone()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    Database& db = scratch.db();
    db.exec(u"CREATE TABLE k (id INTEGER PRIMARY KEY)"_s);
    Transaction outer(db);
    db.exec(u"INSERT INTO k (id) VALUES (?)"_s, {1});
    {
        Transaction inner(db);
        db.exec(u"INSERT INTO k (id) VALUES (?)"_s, {2});
        // A failing statement inside the inner transaction must not spoil the outer one.
        QVERIFY_THROWS_EXCEPTION(DbError, db.exec(u"INSERT INTO k (id) VALUES (?)"_s, {1}));
    }
    {
        Transaction inner(db);
        db.exec(u"INSERT INTO k (id) VALUES (?)"_s, {3});
        inner.commit();
    }
    outer.commit();
    QList<int> ids;
    for (const Row& row : db.query(u"SELECT id FROM k ORDER BY id"_s))
        ids << row.value(u"id").toInt();
    QCOMPARE(ids, (QList<int>{1, 3}));
}

void TestDatabase::datesRoundTrip()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    Database& db = scratch.db();
    makeTable(db);
    // Summer time in the pinned zone: a UTC conversion anywhere would show.
    const QDateTime stamp(QDate(2019, 7, 20), QTime(14, 5, 3));
    db.exec(u"INSERT INTO t (id, stamp) VALUES (?, ?)"_s, {1, stamp});
    QCOMPARE(db.first(u"SELECT stamp FROM t"_s)->dateTime(u"stamp"), stamp);
    QCOMPARE(db.query(u"SELECT id FROM t WHERE stamp > ?"_s, {stamp.addSecs(-1)}).size(), 1);
    QCOMPARE(db.query(u"SELECT id FROM t WHERE stamp > ?"_s, {stamp}).size(), 0);
}

void TestDatabase::nullsStayNull()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    Database& db = scratch.db();
    makeTable(db);
    db.exec(u"INSERT INTO t (id, name, stamp) VALUES (?, ?, ?)"_s,
            {1, QVariant(QMetaType(QMetaType::QString)), QVariant(QMetaType(QMetaType::QDateTime))});
    const auto row = db.first(u"SELECT name, stamp FROM t"_s);
    QVERIFY(row->isNull(u"name"));
    QVERIFY(row->isNull(u"stamp"));
    QCOMPARE(row->text(u"name"), QString());
}

void TestDatabase::reopenAfterClose()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    Database& db = scratch.db();
    makeTable(db);
    db.close();
    QVERIFY(!db.isAlive());
    QVERIFY_THROWS_EXCEPTION(DbError, db.query(u"SELECT id FROM t"_s));
    db.reopen();
    QVERIFY(db.isAlive());
    QCOMPARE(db.query(u"SELECT id FROM t"_s).size(), 0);
}

void TestDatabase::pageClauseReadsFromItsOffset()
{
    QFETCH(QString, engine);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    Database& db = scratch.db();
    makeTable(db);
    for (int i = 0; i < 10; ++i)
        db.exec(u"INSERT INTO t (id) VALUES (?)"_s, {i});
    QStringList ids;
    for (const Row& row : db.query(u"SELECT id FROM t ORDER BY id "_s + db.dialect().pageClause(), {3, 4}))
        ids << row.text(u"id");
    QCOMPARE(ids, (QStringList{u"3"_s, u"4"_s, u"5"_s, u"6"_s}));
}

void TestDatabase::sqliteStoresItsOwnDateForm()
{
    test::ScratchDatabase scratch(u"sqlite"_s);
    Database& db = scratch.db();
    makeTable(db);
    db.exec(u"INSERT INTO t (id, stamp) VALUES (?, ?)"_s, {1, QDateTime(QDate(2019, 1, 20), QTime(14, 5, 3))});
    const auto row = db.first(u"SELECT CAST(stamp AS TEXT) AS raw, date(stamp) AS day FROM t"_s);
    QCOMPARE(row->text(u"raw"), u"2019-01-20 14:05:03"_s);
    QCOMPARE(row->text(u"day"), u"2019-01-20"_s);
    QCOMPARE(db.first(u"PRAGMA journal_mode"_s)->at(0).toString(), u"wal"_s);
    QCOMPARE(db.first(u"PRAGMA synchronous"_s)->at(0).toInt(), 2); // FULL
}

void TestDatabase::lockWaitEndsWithTheLockOrAStop_data()
{
    QTest::addColumn<QString>("engine");
    QTest::addColumn<bool>("stop"); // asked to stop while it waits, else the holder lets go
    for (const QString& engine : {u"sqlite"_s, u"postgres"_s}) {
        QTest::addRow("%s, lock let go", qPrintable(engine)) << engine << false;
        QTest::addRow("%s, asked to stop", qPrintable(engine)) << engine << true;
    }
}

// Another process holds the lock (the embedded database's write lock, a server's named lock):
// a transaction that wants it waits, a try at a time, until it is let go or Kestrin stops.
void TestDatabase::lockWaitEndsWithTheLockOrAStop()
{
    QFETCH(QString, engine);
    QFETCH(bool, stop);
    test::ScratchDatabase scratch(engine);
    KESTRIN_REQUIRE(scratch);
    const QString lock = u"kestrin test %1"_s.arg(QCoreApplication::applicationPid());
    Database& holder = scratch.db();
    holder.begin();
    holder.lockExclusive(lock);
    std::atomic<bool> stopping{false};
    QString outcome;
    const std::unique_ptr<QThread> waiter(QThread::create([&] {
        const auto db = scratch.connectAgain();
        db->setStopFlag(&stopping);
        try {
            Transaction transaction(*db);
            db->lockExclusive(lock);
            transaction.commit();
            outcome = u"locked"_s;
        } catch (const DbStopped&) {
            outcome = u"stopped"_s;
        } catch (const std::exception& e) {
            outcome = ErrorText(e);
        }
    }));
    waiter->start();
    QTest::qWait(600); // a few tries
    QVERIFY(waiter->isRunning());
    if (stop)
        stopping = true;
    else
        holder.commit();
    QVERIFY(waiter->wait(5000));
    QCOMPARE(outcome, stop ? u"stopped"_s : u"locked"_s);
    if (stop)
        holder.rollback();
}

KESTRIN_TEST_MAIN(TestDatabase)
#include "tst_database.moc"
