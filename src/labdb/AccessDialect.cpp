#include "labdb/AccessDialect.h"

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

} // namespace

QString AccessDialect::engine() const { return u"access"_s; }
QString AccessDialect::qtDriver() const { return u"QODBC"_s; }

QString AccessDialect::quoteIdentifier(const QString& identifier) const { return u'[' + identifier + u']'; }

QString AccessDialect::currentTime() const { return u"Now()"_s; }
QString AccessDialect::currentDate() const { return u"Date()"_s; }

// Reading MSysObjects needs rights an ODBC login seldom has; the driver's catalogue does not.
QString AccessDialect::tableExistsQuery() const { return {}; }

// Kestrin creates no index in the analyser's database, and reading MSysObjects needs rights.
QString AccessDialect::indexExistsQuery() const { return {}; }

QStringList AccessDialect::createEmptyCopy(const QString& copy, const QString& source) const
{
    return {u"SELECT * INTO %1 FROM %2 WHERE 1 = 2"_s.arg(quote(copy), quote(source))};
}

// An AutoNumber column takes an explicit value in an INSERT as it is.
QStringList AccessDialect::beforeFixedIdentityInsert(const QString&) const { return {}; }
QStringList AccessDialect::afterFixedIdentityInsert(const QString&, const QString&) const { return {}; }

// The ISO order inside #...# is read the same whatever the workstation's regional settings.
QString AccessDialect::dateLiteral(const QDateTime& value) const
{
    return u'#' + value.toString(u"yyyy-MM-dd HH:mm:ss"_s) + u'#';
}

// The Access ODBC driver reports SQLSTATEs: class 22 (data) and 23 (keys and constraints).
bool AccessDialect::refusesData(const QString& code) const
{
    return code.startsWith(u"22"_s) || code.startsWith(u"23"_s);
}

QString AccessDialect::insertReturning(const QString&, const QStringList&, const QString&) const { return {}; }

QString AccessDialect::columnType(ColumnType type, int size) const
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

QString AccessDialect::savepoint(const QString& name) const { noSavepoints(u"SAVEPOINT "_s + name); }
QString AccessDialect::rollbackToSavepoint(const QString& name) const { noSavepoints(u"ROLLBACK TO "_s + name); }
QString AccessDialect::releaseSavepoint(const QString& name) const { noSavepoints(u"RELEASE "_s + name); }

} // namespace kestrin
