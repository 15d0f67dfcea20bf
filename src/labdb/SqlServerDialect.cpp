#include "Dialects.h"
#include "config/Engine.h"

#include <QDateTime>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

constexpr ColumnTypeNames kColumnTypes{u"NVARCHAR(%1)", u"INT", u"FLOAT",
                                       u"DATETIME",     u"BIT", u"INT IDENTITY(1,1) PRIMARY KEY"};

// The laboratory's SQL Server, reached through ODBC.
class SqlServerDialect final : public EngineDialect<SqlServerDialect, kColumnTypes> {
public:
    QString engine() const override { return EngineName(Engine::SqlServer); }
    QString qtDriver() const override { return u"QODBC"_s; }
    QString connectionSchema() const override { return u"SCHEMA_NAME()"_s; }
    // The batch separator of the server's own tools.
    QString scriptStatementEnd() const override { return u"\nGO\n"_s; }

    QString currentTime() const override { return u"getdate()"_s; }

    // Midnight of today; SQL Server 2000 has no DATE type to cast to.
    QString currentDate() const override { return u"DATEADD(day, DATEDIFF(day, 0, getdate()), 0)"_s; }

    QString tableExistsQuery() const override
    {
        return u"SELECT name FROM sysobjects WHERE name = ? AND xtype = 'U'"_s;
    }

    QString indexExistsQuery() const override
    {
        return u"SELECT name FROM sysindexes WHERE id = OBJECT_ID(?) AND name = ?"_s;
    }

    QStringList createEmptyCopy(const QString& copy, const QString& source) const override
    {
        return {u"SELECT * INTO %1 FROM %2 WHERE 1 = 2"_s.arg(quote(copy), quote(source))};
    }

    QStringList beforeFixedIdentityInsert(const QString& table) const override
    {
        return {u"SET IDENTITY_INSERT %1 ON"_s.arg(quote(table))};
    }

    QStringList afterFixedIdentityInsert(const QString& table, const QString&) const override
    {
        return {u"SET IDENTITY_INSERT %1 OFF"_s.arg(quote(table))};
    }

    // The ODBC escape is read the same whatever the server's language and date format.
    QString dateLiteral(const QDateTime& value) const override
    {
        return u"{ts '"_s + value.toString(u"yyyy-MM-dd HH:mm:ss"_s) + u"'}"_s;
    }

    // The ODBC driver reports either the server's error number (NULL into NOT NULL, foreign and
    // unique keys, truncation, conversion) or an SQLSTATE of class 22 or 23.
    bool refusesData(const QString& code) const override
    {
        static const QStringList refusals{u"515"_s,  u"547"_s, u"2601"_s, u"2627"_s, u"2628"_s,
                                          u"8152"_s, u"245"_s, u"8114"_s, u"241"_s,  u"242"_s};
        return refusals.contains(code) || Dialect::refusesData(code);
    }

    QString insertReturning(const QString& table, const QStringList& columns, const QString& returned) const override
    {
        return u"INSERT INTO %1 (%2) OUTPUT INSERTED.%4 VALUES (%3)"_s.arg(table, columns.join(u", "),
                                                                           Placeholders(columns.size()), returned);
    }

    QString insertRowsReturning(const QString& table, const QStringList& columns, int rows,
                                const QStringList& returned) const override
    {
        const QString row = u'(' + Placeholders(columns.size()) + u')';
        return u"INSERT INTO %1 (%2) OUTPUT INSERTED.%3 VALUES %4"_s.arg(
            table, columns.join(u", "), returned.join(u", INSERTED."), QStringList(rows, row).join(u", "));
    }

    // The key range stays locked from the test to the insert, so two writers cannot both miss it.
    QString insertUnlessPresent(const QString& table, const QStringList& columns,
                                const QStringList& keyColumns) const override
    {
        QStringList values;
        for (const QString& column : columns)
            values << u"? AS %1"_s.arg(column);
        QStringList sameKey;
        for (const QString& key : keyColumns)
            sameKey << u"t.%1 = v.%1"_s.arg(key);
        return u"INSERT INTO %1 (%2) SELECT %2 FROM (SELECT %3) AS v WHERE NOT EXISTS "
               u"(SELECT 1 FROM %1 AS t WITH (UPDLOCK, HOLDLOCK) WHERE %4)"_s.arg(
                   table, columns.join(u", "), values.join(u", "), sameKey.join(u" AND "));
    }

    QString exclusiveLock() const override
    {
        return u"DECLARE @granted int; EXEC @granted = sp_getapplock @Resource = ?, @LockMode = 'Exclusive', "
               u"@LockOwner = 'Transaction'; IF @granted < 0 RAISERROR('The lock was not granted.', 16, 1)"_s;
    }

    QString savepoint(const QString& name) const override { return u"SAVE TRANSACTION "_s + quote(name); }
    QString rollbackToSavepoint(const QString& name) const override { return u"ROLLBACK TRANSACTION "_s + quote(name); }
    QString releaseSavepoint(const QString&) const override { return {}; }

    // SQLSTATE 28000, the server's error 18456: "Login failed for user".
    bool refusesLogin(const QString& driverText, const QString& code) const override
    {
        return code.contains(u"28000"_s) || driverText.contains(u"18456"_s) ||
            driverText.contains(u"Login failed"_s, Qt::CaseInsensitive);
    }

    // OpenSSL's words for a server certificate that is not verified; the driver's other TLS
    // troubles may be the network's, which a restart may mend.
    bool refusesEncryption(const QString& driverText) const override
    {
        return driverText.contains(u"certificate verify failed"_s, Qt::CaseInsensitive);
    }

    // 1222: the lock request time-out ran out.
    bool isBusy(const QString& code) const override { return code == u"1222"; }

    QString lockWait(int milliseconds) const override
    {
        return u"SET LOCK_TIMEOUT %1"_s.arg(milliseconds > 0 ? milliseconds : -1);
    }

private:
    QString quoteIdentifier(const QString& identifier) const override { return u'[' + identifier + u']'; }
};

} // namespace

std::unique_ptr<Dialect> NewSqlServerDialect() { return std::make_unique<SqlServerDialect>(); }

} // namespace kestrin
