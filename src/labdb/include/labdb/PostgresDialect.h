#pragma once

#include "labdb/Dialect.h"

namespace kestrin {

// A PostgreSQL server. Names are created unquoted and so folded to lower case; quoting
// folds them the same way, so that both spellings meet.
class PostgresDialect final : public Dialect {
public:
    QString engine() const override;
    QString qtDriver() const override;
    QString currentTime() const override;
    QString currentDate() const override;
    QString tableExistsQuery() const override;
    QString indexExistsQuery() const override;
    QStringList createEmptyCopy(const QString& copy, const QString& source) const override;
    QStringList beforeFixedIdentityInsert(const QString& table) const override;
    QStringList afterFixedIdentityInsert(const QString& table, const QString& column) const override;
    QString dateLiteral(const QDateTime& value) const override;
    QString exclusiveLock() const override;
    bool refusesData(const QString& code) const override;
    bool isBusy(const QString& code) const override;
    QString lockWait(int milliseconds) const override;
    QString columnType(ColumnType type, int size) const override;
    QString beginTransaction() const override;
    QString savepoint(const QString& name) const override;
    QString rollbackToSavepoint(const QString& name) const override;
    QString releaseSavepoint(const QString& name) const override;
    QStringList sessionSetup() const override;
    QVariant toBound(const QVariant& value) const override;

protected:
    QString quoteIdentifier(const QString& identifier) const override;
};

} // namespace kestrin
