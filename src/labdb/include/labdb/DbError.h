#pragma once

#include "core/Error.h"

namespace kestrin {

// A statement the database refused, or a connection that failed: the driver's text and
// the statement it was about. `refusesData` tells a refusal of the data itself (a value or
// key a column or constraint does not take: the item's fault) from trouble of the database
// (a lost connection, a lock, a full disk: nobody's data is wrong, the work is tried again).
class DbError : public Error {
public:
    DbError(const QString& driverText, const QString& statement, bool refusesData = false,
            const QString& code = QString())
        : Error(statement.isEmpty() ? driverText : driverText + QStringLiteral(" [") + excerpt(statement) + u']')
        , m_driverText(driverText)
        , m_statement(statement)
        , m_code(code)
        , m_refusesData(refusesData)
    {
    }

    QString driverText() const { return m_driverText; }
    QString statement() const { return m_statement; }
    // The engine's own code of the error (SQLSTATE, SQLite result code, native number).
    QString code() const { return m_code; }
    bool refusesData() const { return m_refusesData; }

private:
    // Enough of the statement to know it by, on one line: a batch of many rows would bury the
    // reason under kilobytes of SQL. statement() keeps all of it.
    static QString excerpt(const QString& statement)
    {
        constexpr qsizetype kShown = 160;
        const QString flat = statement.simplified();
        return flat.size() <= kShown ? flat : flat.left(kShown) + QStringLiteral("...");
    }

    QString m_driverText;
    QString m_statement;
    QString m_code;
    bool m_refusesData;
};

// A wait for another program's lock that Kestrin cut short because it was asked to stop: the
// work in hand rolls back and is done after the next start; nothing failed.
class DbStopped : public DbError {
public:
    explicit DbStopped(const QString& statement)
        : DbError(QStringLiteral("Kestrin is stopping: the wait for another program's lock on the database was "
                                 "cut short."),
                  statement)
    {
    }
};

} // namespace kestrin
