#pragma once

#include <QStringList>
#include <QVariant>

#include <memory>

namespace kestrin {

// The kinds of column the laboratory's tables use.
enum class ColumnType { Text, Integer, Real, DateTime, Boolean, Identity };

// An engine's name in DDL of each kind of column, listed in this order; `text` holds %1 for
// the size.
struct ColumnTypeNames {
    QStringView text;
    QStringView integer;
    QStringView real;
    QStringView dateTime;
    QStringView boolean;
    QStringView identity;
};

// What differs between the database engines. Statement texts elsewhere are plain SQL that
// every engine accepts; only identifiers checked by IsIdentifier are ever spliced in.
class Dialect {
public:
    virtual ~Dialect() = default;

    // A dialect of the same engine for another connection (a dialect may keep what one
    // connection binds).
    virtual std::unique_ptr<Dialect> another() const = 0;

    virtual QString engine() const = 0;   // for messages and scripts: "sqlite", "postgres", "sqlserver", "access"
    virtual QString qtDriver() const = 0; // the Qt SQL driver

    // An identifier quoted for this engine; throws a DbError unless IsIdentifier holds.
    QString quote(const QString& identifier) const;
    // SQL for the database server's current local time.
    virtual QString currentTime() const = 0;
    // SQL for today's date on the database server, as a date value at midnight.
    virtual QString currentDate() const = 0;
    // A query with one bound table name that returns a row when that table exists; an
    // empty text means the driver's own list of tables.
    virtual QString tableExistsQuery() const = 0;
    // A query with a bound table name and index name that returns a row when that table has
    // that index.
    virtual QString indexExistsQuery() const = 0;
    // Statements that create `copy` as an empty table with the columns of `source`.
    virtual QStringList createEmptyCopy(const QString& copy, const QString& source) const = 0;
    // Statements around an INSERT that gives an identity column a value of its own; none where
    // the identity column takes an explicit value as it is.
    virtual QStringList beforeFixedIdentityInsert(const QString&) const { return {}; }
    virtual QStringList afterFixedIdentityInsert(const QString&, const QString&) const { return {}; }
    // A date and time as a literal of this engine (for scripts; statements bind values).
    virtual QString dateLiteral(const QDateTime& value) const = 0;
    // The column type in DDL.
    virtual QString columnType(ColumnType type, int size) const;

    // An INSERT of one row with bound values that also returns the new row's `returned` column
    // (an identity), saving the query after it; empty where the engine cannot.
    virtual QString insertReturning(const QString& table, const QStringList& columns, const QString& returned) const;
    // An INSERT of `rows` rows with bound values that returns the `returned` columns of every new
    // row, in no particular order; empty where the engine cannot.
    virtual QString insertRowsReturning(const QString& table, const QStringList& columns, int rows,
                                        const QStringList& returned) const;
    // A FROM-clause source of rows typed as `table`'s columns, read from one bound JSON array of
    // objects whose keys are the column names in lower case: many rows in one statement of one
    // text, whatever their number. Empty where the engine has none.
    virtual QString rowsFromJson(const QString&) const { return {}; }
    // Whether two key values are the same key only when they are the same text (no collation
    // that ignores case, accents or trailing blanks): then what the program wrote under a key
    // it can find again by that text without asking the database.
    virtual bool comparesKeysExactly() const { return false; }
    // An INSERT of one row with bound values that does nothing when a row with the same key is
    // there, also one that another process wrote a moment ago: the second writer finds the row
    // instead of failing on its key.
    virtual QString insertUnlessPresent(const QString& table, const QStringList& columns,
                                        const QStringList& keyColumns) const;
    // A statement with one bound name that waits until this transaction alone holds the lock of
    // that name, released at its end; empty where a write transaction excludes every other
    // writer already.
    virtual QString exclusiveLock() const { return {}; }
    // The same lock taken only where nobody holds it, answering true or false at once; empty
    // where the engine has no such statement.
    virtual QString tryExclusiveLock() const { return {}; }

    // Put after ORDER BY: a page of the rows, binding first how many to skip, then how many to
    // read (the standard form: PostgreSQL, SQL Server 2012 and later).
    virtual QString pageClause() const;

    // Transactions and savepoints; an empty text means the driver's own call.
    virtual QString beginTransaction() const { return {}; }
    virtual QString savepoint(const QString& name) const;
    virtual QString rollbackToSavepoint(const QString& name) const = 0;
    virtual QString releaseSavepoint(const QString& name) const = 0;
    // Statements run once after a connection opens.
    virtual QStringList sessionSetup() const { return {}; }

    // Whether an error code of this engine means that the data was refused (a value or key
    // that a column or constraint does not take) rather than that the database is in trouble;
    // by default the SQLSTATE classes 22 (data exception) and 23 (integrity constraint violation).
    virtual bool refusesData(const QString& code) const;
    // Whether an error code of this engine means that another connection held a lock longer
    // than this one waited: nothing is wrong, the same work may be tried again.
    virtual bool isBusy(const QString&) const { return false; }
    // Whether a connection that failed to open was refused its login (a wrong user name or
    // password, a user the server does not let in): waiting will not mend that.
    virtual bool refusesLogin(const QString&, const QString&) const { return false; }
    // Whether a connection that failed to open was refused for its encryption: a server
    // certificate that is not verified (another CA, another host name), a CA file that is
    // missing, or one side insisting on encryption the other will not have.
    virtual bool refusesEncryption(const QString&) const { return false; }
    // A statement that makes this connection wait at most `milliseconds` for a lock another
    // connection holds; 0 restores the wait it had after opening. Empty where the engine
    // cannot say.
    virtual QString lockWait(int) const { return {}; }
    // The same with one bound number of milliseconds, for the rest of the transaction only;
    // empty where the engine has none.
    virtual QString transactionLockWait() const { return {}; }
    // How long a statement waits in all for another connection's lock unless told otherwise;
    // 0 without limit.
    virtual int defaultLockWait() const { return 0; }
    // Whether a statement that another connection's lock held up may simply run again: an
    // engine that waits only at a transaction's BEGIN and outside transactions. Its
    // connections wait in short tries, so that a stop need not wait for the whole.
    virtual bool waitsInTries() const { return false; }

    // SQL for the schema of the tables a connection's statements name, whose columns
    // information_schema describes; empty where the engine has no information_schema.
    virtual QString connectionSchema() const { return {}; }
    // A query with a bound table and column name whose row gives the column's type as its
    // CREATE TABLE declared it (`declared`): the sizes of an engine that keeps them nowhere
    // else and refuses no longer text. Empty where the engine has no such catalogue.
    virtual QString declaredTypeQuery() const { return {}; }
    // What ends a statement in a script of this engine's own tool.
    virtual QString scriptStatementEnd() const;

    // A value as it is bound: dates as the engine stores them.
    virtual QVariant toBound(const QVariant& value) const { return value; }

protected:
    explicit Dialect(const ColumnTypeNames& columnTypes)
        : m_columnTypes(columnTypes)
    {
    }

    virtual QString quoteIdentifier(const QString& identifier) const = 0;

private:
    ColumnTypeNames m_columnTypes;
};

// [A-Za-z_][A-Za-z0-9_]*: the only text ever put into a statement.
bool IsIdentifier(const QString& text);

// The marks of `count` bound values in a list: "?, ?, ?".
QString Placeholders(qsizetype count);

} // namespace kestrin
