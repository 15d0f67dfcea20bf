#include "Dialects.h"
#include "labdb/DbError.h"

#include <QDateTime>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// The largest TEXT column; longer text is a MEMO.
constexpr int kMaxTextSize = 255;

[[noreturn]] void noSavepoints(const QString& statement)
{
    throw DbError(u"An Access database has no savepoints, so transactions cannot nest on it."_s, statement);
}

constexpr ColumnTypeNames kColumnTypes{u"TEXT(%1)", u"LONG", u"DOUBLE", u"DATETIME", u"BIT", u"COUNTER PRIMARY KEY"};

// An analyser's own Access database, reached through the ODBC Access driver on Windows.
// Kestrin never creates its tables; it writes orders into those the analyser's software made.
class AccessDialect final : public EngineDialect<AccessDialect, kColumnTypes> {
public:
    QString engine() const override { return u"access"_s; }
    QString qtDriver() const override { return u"QODBC"_s; }

    QString currentTime() const override { return u"Now()"_s; }
    QString currentDate() const override { return u"Date()"_s; }

    // Reading MSysObjects needs rights an ODBC login seldom has; the driver's catalogue does not.
    QString tableExistsQuery() const override { return {}; }

    // Kestrin creates no index in the analyser's database, and reading MSysObjects needs rights.
    QString indexExistsQuery() const override { return {}; }

    QStringList createEmptyCopy(const QString& copy, const QString& source) const override
    {
        return {u"SELECT * INTO %1 FROM %2 WHERE 1 = 2"_s.arg(quote(copy), quote(source))};
    }

    // An AutoNumber column takes an explicit value in an INSERT as it is, and the ODBC driver
    // reports SQLSTATEs: Dialect's own answers hold for both.

    // The ISO order inside #...# is read the same whatever the workstation's regional settings.
    QString dateLiteral(const QDateTime& value) const override
    {
        return u'#' + value.toString(u"yyyy-MM-dd HH:mm:ss"_s) + u'#';
    }

    QString insertReturning(const QString&, const QStringList&, const QString&) const override { return {}; }
    QString insertRowsReturning(const QString&, const QStringList&, int, const QStringList&) const override
    {
        return {};
    }

    QString columnType(ColumnType type, int size) const override
    {
        if (type == ColumnType::Text && size > kMaxTextSize)
            return u"MEMO"_s;
        return Dialect::columnType(type, size);
    }

    QString savepoint(const QString& name) const override { noSavepoints(u"SAVEPOINT "_s + name); }
    QString rollbackToSavepoint(const QString& name) const override { noSavepoints(u"ROLLBACK TO "_s + name); }
    QString releaseSavepoint(const QString& name) const override { noSavepoints(u"RELEASE "_s + name); }

private:
    QString quoteIdentifier(const QString& identifier) const override { return u'[' + identifier + u']'; }
};

} // namespace

std::unique_ptr<Dialect> NewAccessDialect() { return std::make_unique<AccessDialect>(); }

} // namespace kestrin
