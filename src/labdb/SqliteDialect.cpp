#include "Dialects.h"
#include "config/Engine.h"

#include <QDateTime>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {
// SQLite's own date form, so that its date functions and comparisons work.
const QString kDateFormat = u"yyyy-MM-dd HH:mm:ss"_s;
// How long a statement waits for another process's write lock before it fails.
constexpr int kBusyTimeout = 15000;

constexpr ColumnTypeNames kColumnTypes{u"VARCHAR(%1)", u"INTEGER", u"REAL",
                                       u"DATETIME",    u"INTEGER", u"INTEGER PRIMARY KEY AUTOINCREMENT"};

// The embedded database: one file, shared by the processes of one machine.
class SqliteDialect final : public EngineDialect<SqliteDialect, kColumnTypes> {
public:
    QString engine() const override { return EngineName(Engine::Sqlite); }
    QString qtDriver() const override { return u"QSQLITE"_s; }
    // A VARCHAR column keeps a text of any length: its size stands only in the declared type.
    QString declaredTypeQuery() const override
    {
        return u"SELECT type AS declared FROM pragma_table_info(?) WHERE lower(name) = lower(?)"_s;
    }

    QString currentTime() const override { return u"datetime('now','localtime')"_s; }
    QString currentDate() const override { return u"datetime('now','localtime','start of day')"_s; }

    QString tableExistsQuery() const override
    {
        return u"SELECT name FROM sqlite_master WHERE type = 'table' AND lower(name) = lower(?)"_s;
    }

    QString indexExistsQuery() const override
    {
        return u"SELECT name FROM sqlite_master WHERE type = 'index' AND lower(tbl_name) = lower(?) "
               u"AND lower(name) = lower(?)"_s;
    }

    QStringList createEmptyCopy(const QString& copy, const QString& source) const override
    {
        return {u"CREATE TABLE %1 AS SELECT * FROM %2 WHERE 1 = 2"_s.arg(quote(copy), quote(source))};
    }

    QString dateLiteral(const QDateTime& value) const override { return u'\'' + value.toString(kDateFormat) + u'\''; }

    // SQLITE_TOOBIG, SQLITE_CONSTRAINT, SQLITE_MISMATCH, also as extended codes (low byte).
    bool refusesData(const QString& code) const override
    {
        bool ok = false;
        const int primary = code.toInt(&ok) & 0xFF;
        return ok && (primary == 18 || primary == 19 || primary == 20);
    }

    // Text columns compare with the BINARY collation.
    bool comparesKeysExactly() const override { return true; }

    QString pageClause() const override { return u"LIMIT ?, ?"_s; }

    // IMMEDIATE takes the write lock at once, so that two processes never both wait to upgrade.
    QString beginTransaction() const override { return u"BEGIN IMMEDIATE"_s; }
    QString rollbackToSavepoint(const QString& name) const override { return u"ROLLBACK TO "_s + quote(name); }
    QString releaseSavepoint(const QString& name) const override { return u"RELEASE "_s + quote(name); }

    QStringList sessionSetup() const override
    {
        // Savepoints keep their undo data in memory instead of a file of their own.
        return {u"PRAGMA journal_mode=WAL"_s, u"PRAGMA synchronous=FULL"_s, u"PRAGMA temp_store=MEMORY"_s};
    }

    QVariant toBound(const QVariant& value) const override
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
    bool isBusy(const QString& code) const override
    {
        bool ok = false;
        const int primary = code.toInt(&ok) & 0xFF;
        return ok && (primary == 5 || primary == 6);
    }

    QString lockWait(int milliseconds) const override
    {
        return u"PRAGMA busy_timeout=%1"_s.arg(milliseconds > 0 ? milliseconds : kBusyTimeout);
    }
    int defaultLockWait() const override { return kBusyTimeout; }
    // A write transaction holds the whole file from its BEGIN IMMEDIATE: no statement inside it waits.
    bool waitsInTries() const override { return true; }

private:
    QString quoteIdentifier(const QString& identifier) const override { return u'"' + identifier + u'"'; }

    mutable QDateTime m_lastTime;
    mutable QString m_lastText;
};

} // namespace

std::unique_ptr<Dialect> NewSqliteDialect() { return std::make_unique<SqliteDialect>(); }

} // namespace kestrin
