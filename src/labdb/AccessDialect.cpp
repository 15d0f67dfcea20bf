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

// An analyser's own Access database, reached through the ODBC Access driver on Windows.
// Kestrin never creates its tables; it writes orders into those the analyser's software made.
class AccessDialect final : public Dialect {
public:
    std::unique_ptr<Dialect> another() const override { return std::make_unique<AccessDialect>(); }
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

    // An AutoNumber column takes an explicit value in an INSERT as it is.
    QStringList beforeFixedIdentityInsert(const QString&) const override { return {}; }
    QStringList afterFixedIdentityInsert(const QString&, const QString&) const override { return {}; }

    // The ISO order inside #...# is read the same whatever the workstation's regional settings.
    QString dateLiteral(const QDateTime& value) const override
    {
        return u'#' + value.toString(u"yyyy-MM-dd HH:mm:ss"_s) + u'#';
    }

    // The Access ODBC driver reports SQLSTATEs: class 22 (data) and 23 (keys and constraints).
    bool refusesData(const QString& code) const override
    {
        return code.startsWith(u"22"_s) || code.startsWith(u"23"_s);
    }

    QString insertReturning(const QString&, const QStringList&, const QString&) const override { return {}; }

    QString columnType(ColumnType type, int size) const override
    {
        switch (type) {
        case ColumnType::Text:
            return size > kMaxTextSize ? u"MEMO"_s : u"TEXT(%1)"_s.arg(size);
        case ColumnType::Integer:
            return u"LONG"_s;
        case ColumnType::Boolean:
            return u"BIT"_s;
        case ColumnType::Real:
            return u"DOUBLE"_s;
        case ColumnType::DateTime:
            return u"DATETIME"_s;
        case ColumnType::Identity:
            return u"COUNTER PRIMARY KEY"_s;
        }
        return {};
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
