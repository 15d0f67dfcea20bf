#include "labdb/SqliteDialect.h"

#include <QDateTime>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {
// SQLite's own date form, so that its date functions and comparisons work.
const QString kDateFormat = u"yyyy-MM-dd HH:mm:ss"_s;
// How long a statement waits for another process's write lock before it fails.
constexpr int kBusyTimeout = 15000;
} // namespace

QString SqliteDialect::engine() const { return u"sqlite"_s; }
QString SqliteDialect::qtDriver() const { return u"QSQLITE"_s; }

QString SqliteDialect::quoteIdentifier(const QString& identifier) const { return u'"' + identifier + u'"'; }

QString SqliteDialect::currentTime() const { return u"datetime('now','localtime')"_s; }
QString SqliteDialect::currentDate() const { return u"datetime('now','localtime','start of day')"_s; }

QString SqliteDialect::tableExistsQuery() const
{
    return u"SELECT name FROM sqlite_master WHERE type = 'table' AND lower(name) = lower(?)"_s;
}

QString SqliteDialect::indexExistsQuery() const
{
    return u"SELECT name FROM sqlite_master WHERE type = 'index' AND lower(tbl_name) = lower(?) "
           u"AND lower(name) = lower(?)"_s;
}

QStringList SqliteDialect::createEmptyCopy(const QString& copy, const QString& source) const
{
    return {u"CREATE TABLE %1 AS SELECT * FROM %2 WHERE 1 = 2"_s.arg(quote(copy), quote(source))};
}

QStringList SqliteDialect::beforeFixedIdentityInsert(const QString&) const { return {}; }
QStringList SqliteDialect::afterFixedIdentityInsert(const QString&, const QString&) const { return {}; }

QString SqliteDialect::dateLiteral(const QDateTime& value) const { return u'\'' + value.toString(kDateFormat) + u'\''; }

// SQLITE_TOOBIG, SQLITE_CONSTRAINT, SQLITE_MISMATCH, also as extended codes (low byte).
bool SqliteDialect::refusesData(const QString& code) const
{
    bool ok = false;
    const int primary = code.toInt(&ok) & 0xFF;
    return ok && (primary == 18 || primary == 19 || primary == 20);
}

QString SqliteDialect::columnType(ColumnType type, int size) const
{
    switch (type) {
    case ColumnType::Text:
        return u"VARCHAR(%1)"_s.arg(size);
    case ColumnType::Integer:
    case ColumnType::Boolean:
        return u"INTEGER"_s;
    case ColumnType::Real:
        return u"REAL"_s;
    case ColumnType::DateTime:
        return u"DATETIME"_s;
    case ColumnType::Identity:
        return u"INTEGER PRIMARY KEY AUTOINCREMENT"_s;
    }
    return {};
}

QString SqliteDialect::pageClause() const { return u"LIMIT ?, ?"_s; }

// IMMEDIATE takes the write lock at once, so that two processes never both wait to upgrade.
QString SqliteDialect::beginTransaction() const { return u"BEGIN IMMEDIATE"_s; }
QString SqliteDialect::savepoint(const QString& name) const { return u"SAVEPOINT "_s + quote(name); }
QString SqliteDialect::rollbackToSavepoint(const QString& name) const { return u"ROLLBACK TO "_s + quote(name); }
QString SqliteDialect::releaseSavepoint(const QString& name) const { return u"RELEASE "_s + quote(name); }

QStringList SqliteDialect::sessionSetup() const
{
    // Savepoints keep their undo data in memory instead of a file of their own.
    return {u"PRAGMA journal_mode=WAL"_s, u"PRAGMA synchronous=FULL"_s, lockWait(kBusyTimeout),
            u"PRAGMA temp_store=MEMORY"_s};
}

QVariant SqliteDialect::toBound(const QVariant& value) const
{
    switch (value.metaType().id()) {
    case QMetaType::QDateTime: {
        if (value.isNull())
            return QVariant(QMetaType(QMetaType::QString));
        // One message binds the same time stamp to many rows: format it once.
        const QDateTime time = value.toDateTime();
        if (time.date() != m_lastTime.date() || time.time() != m_lastTime.time() || m_lastText.isNull()) {
            m_lastTime = time;
            m_lastText = time.toString(kDateFormat);
        }
        return QVariant(m_lastText);
    }
    case QMetaType::QDate:
        return value.isNull() ? QVariant(QMetaType(QMetaType::QString))
                              : QVariant(QDateTime(value.toDate(), QTime(0, 0)).toString(kDateFormat));
    default:
        return value;
    }
}

// SQLITE_BUSY and SQLITE_LOCKED, also as extended codes.
bool SqliteDialect::isBusy(const QString& code) const
{
    bool ok = false;
    const int primary = code.toInt(&ok) & 0xFF;
    return ok && (primary == 5 || primary == 6);
}

QString SqliteDialect::lockWait(int milliseconds) const
{
    return u"PRAGMA busy_timeout=%1"_s.arg(milliseconds > 0 ? milliseconds : kBusyTimeout);
}

} // namespace kestrin
