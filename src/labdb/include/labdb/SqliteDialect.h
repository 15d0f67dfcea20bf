#pragma once

#include "labdb/Dialect.h"

#include <QDateTime>

namespace kestrin {

// The embedded database: one file, shared by the processes of one machine.
class SqliteDialect final : public Dialect {
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
    bool refusesData(const QString& code) const override;
    bool isBusy(const QString& code) const override;
    QString lockWait(int milliseconds) const override;
    QString columnType(ColumnType type, int size) const override;
    QString pageClause() const override;
    QString beginTransaction() const override;
    QString savepoint(const QString& name) const override;
    QString rollbackToSavepoint(const QString& name) const override;
    QString releaseSavepoint(const QString& name) const override;
    QStringList sessionSetup() const override;
    QVariant toBound(const QVariant& value) const override;

protected:
    QString quoteIdentifier(const QString& identifier) const override;

private:
    mutable QDateTime m_lastTime;
    mutable QString m_lastText;
};

} // namespace kestrin
