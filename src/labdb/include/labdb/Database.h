#pragma once

#include "labdb/DatabaseFile.h"
#include "labdb/DbError.h"
#include "labdb/Dialect.h"
#include "labdb/Row.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace kestrin {

// How to reach a database; the password never appears in messages.
struct ConnectionParameters {
    QString databaseName; // a file, a database, or an ODBC connection string
    QString host;
    int port = -1;
    QString user;
    QString password;
    QString options;
    QString description; // engine, server and database, for messages
    // The embedded database's file: opened only when it is there (unless `createsFile`, at the
    // first opening), and worked on only while it is still the file at this path. Empty for a
    // database server.
    QString file;
    bool createsFile = false;
    // Tests only: the dialect's statements run on another engine's Qt driver, each statement
    // text sent as `sentAs` rewrites it; so tests see every text one engine would be sent.
    QString standInDriver;
    std::function<QString(const QString&)> sentAs;
};

// The one connection a process works through. Every value is bound as a positional "?";
// a statement the database refuses throws a DbError with the driver's text.
class Database {
public:
    Database(std::unique_ptr<Dialect> dialect, ConnectionParameters parameters);
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    // Opens the connection and runs the engine's session set-up; throws a DbError.
    void open();
    void close();
    bool isOpen() const;
    // True when the connection answers a trivial query, on the file at the embedded database's path.
    bool isAlive();
    // Closes and opens again, for a connection that was lost or whose file was replaced.
    void reopen();

    // A connection keeps its file open when the file is moved, deleted or replaced under the
    // same name, and goes on writing into it; only the path tells that the laboratory's
    // database is elsewhere now. A database server's connection is always on the same file.
    enum class FileState { Same, Missing, Replaced };
    FileState fileState() const;
    // What is wrong with the file, in a sentence for the log; empty when it is the same.
    QString fileTrouble() const;
    // Throws a DbError unless the file opened is the file at the path still.
    void ensureSameFile() const;
    // The file the connection opened last; nothing for a database server.
    std::optional<FileIdentity> openedFile() const { return m_file; }

    // A wait for another program's lock ends early, with a DbStopped, once `stopping` is set.
    void setStopFlag(const std::atomic<bool>* stopping) { m_stopping = stopping; }
    // The longest a statement waits for another program's lock; 0 restores the engine's own
    // wait (the embedded database: 15 s, in short tries that a stop cuts short; a server: no
    // limit). Applied at once and to every later opening.
    void setLockWait(int milliseconds);

    const Dialect& dialect() const { return *m_dialect; }
    QString description() const { return m_parameters.description; }
    // Another connection to the same database, not yet open: for a reader that keeps a cursor
    // open, which on this connection would hold up its writes (SQLite refuses a write from a
    // connection whose read snapshot another process has overtaken).
    std::unique_ptr<Database> newConnection() const;

    // Runs a statement; returns the number of rows it changed (-1 when unknown).
    int exec(const QString& sql, const QVariantList& values = {});
    // Inserts rows with one statement (where the dialect reads rows from JSON) or one per up to a
    // few hundred rows: one round trip instead of one per row. Table and columns are the
    // program's own names; every value is bound.
    void insertRows(const QString& table, const QStringList& columns, const QList<QVariantList>& rows);
    // The same, returning the `returned` columns of the new rows (in no particular order); empty
    // where the dialect cannot return them.
    QList<Row> insertRowsReturning(const QString& table, const QStringList& columns, const QList<QVariantList>& rows,
                                   const QStringList& returned);
    // Updates rows by key, with one statement for all where the dialect has one: each row holds
    // the values of `columns`, then the key; the keys are distinct.
    void updateRows(const QString& table, const QStringList& columns, const QString& key,
                    const QList<QVariantList>& rows);
    // Runs a query and reads all its rows.
    QList<Row> query(const QString& sql, const QVariantList& values = {});
    // The first row of a query, if any.
    std::optional<Row> first(const QString& sql, const QVariantList& values = {});
    bool tableExists(const QString& table);
    // The column names of a table, empty when there is no such table.
    QStringList columns(const QString& table);

    // Told of every statement that binds values, with their number, before it runs: for tests
    // that check what reaches the server (SQL Server takes at most 2,100 values a statement).
    using StatementObserver = std::function<void(const QString& sql, qsizetype boundValues)>;
    void setStatementObserver(StatementObserver observer) { m_observer = std::move(observer); }
    // Statements sent to the server since the connection was made (preparing one counts, and so
    // do transaction control and the session set-up): each waits for its answer, so with a
    // client/server engine this is the number of round trips.
    qint64 statementsSent() const { return m_statementsSent; }

    // Transactions nest: the outermost begins and commits, inner ones are savepoints. The
    // outermost begins and commits only on the file at the embedded database's path: a file
    // replaced or moved away in the meantime ends it with a DbError (rolled back where the
    // file went before the commit).
    void begin();
    void commit();
    void rollback();
    int transactionDepth() const { return m_depth; }
    // Waits until the open transaction alone holds the lock of this name, for work that
    // several processes must not do at once; the lock ends with the transaction.
    void lockExclusive(const QString& name);

private:
    // Calls `statement(first, count)` for consecutive parts of `rows` rows, of a few fixed sizes
    // so that a handful of prepared statements serve every count.
    static void inParts(qsizetype rows, qsizetype columns, const std::function<void(qsizetype, int)>& statement);
    QSqlQuery& execute(const QString& sql, const QVariantList& values);
    QSqlQuery& executeOnce(const QString& sql, const QVariantList& values);
    // Runs `attempt` again while another program's lock makes it fail, where that is sound
    // (outside a transaction, or its BEGIN), until the lock wait has passed or Kestrin stops.
    void waitingForLocks(const QString& sql, const std::function<void()>& attempt);
    int lockWaitTotal() const;
    void applyLockWait();
    void rollbackOutermost();
    // A statement of the outermost transaction, or the driver's call of the same meaning (named
    // `callName` in errors).
    void runOutermost(const QString& statement, bool (QSqlDatabase::*driverCall)(), const QString& callName);
    DbError errorOf(const QSqlError& error, const QString& sql) const;
    [[noreturn]] void fail(const QSqlQuery& query, const QString& sql) const;
    void run(const QString& sql);
    QString sent(const QString& sql) const { return m_parameters.sentAs ? m_parameters.sentAs(sql) : sql; }

    std::unique_ptr<Dialect> m_dialect;
    ConnectionParameters m_parameters;
    QString m_connectionName;
    std::unordered_map<QString, std::unique_ptr<QSqlQuery>> m_statements; // prepared once, run many times
    std::vector<std::unique_ptr<QSqlQuery>> m_failed; // failed in a transaction, freed once it is rolled back
    std::optional<QSqlQuery> m_adhoc;
    StatementObserver m_observer;
    int m_depth = 0;
    qint64 m_statementsSent = 0;
    std::optional<FileIdentity> m_file;
    const std::atomic<bool>* m_stopping = nullptr;
    int m_lockWait = 0;
};

// Begins a transaction (or a savepoint inside one) and rolls it back unless committed.
class Transaction {
public:
    explicit Transaction(Database& db);
    ~Transaction();
    Transaction(const Transaction&) = delete;
    Transaction& operator=(const Transaction&) = delete;

    void commit();
    void rollback();

private:
    Database& m_db;
    bool m_open = true;
};

} // namespace kestrin
