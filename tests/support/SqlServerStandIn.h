#pragma once

#include "labdb/Database.h"

#include <QMutex>

#include <memory>

namespace kestrin::test {

// Statement texts in the order sent, repeats included, by the connections of any thread.
class SentStatements {
public:
    void add(const QString& statement);
    qsizetype count() const;
    QStringList since(qsizetype first) const;

private:
    mutable QMutex m_mutex;
    QStringList m_texts;
};

// The SQL Server dialect's statements run on an SQLite file: no SQL Server runs here, yet the
// cycles and stations do their work, and every statement text they would send the server is
// kept in `sent` for checking with a T-SQL grammar.
ConnectionParameters SqlServerOnSqlite(const QString& file, std::shared_ptr<SentStatements> sent);

// What SQLite runs for a statement of the SQL Server dialect: the same text where it can, else
// the dialect's SQLite counterpart; statements SQLite has nothing for become "SELECT 1".
QString AsSqlite(const QString& statement);

} // namespace kestrin::test
