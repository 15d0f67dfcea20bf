#include "SqlServerStandIn.h"

#include "labdb/DialectFactory.h"

#include <QRegularExpression>

#include <array>

using namespace Qt::StringLiterals;

namespace kestrin::test {

namespace {

// SQLite's time stamps in the form its driver binds a QDateTime in, so that bound times and the
// server's times compare as the server would.
const QString kNow = u"strftime('%Y-%m-%dT%H:%M:%f', 'now', 'localtime')"_s;
const QString kToday = u"strftime('%Y-%m-%dT00:00:00.000', 'now', 'localtime')"_s;

struct Rewrite {
    QRegularExpression pattern;
    QString replacement;
};

QString withoutInserted(QString columns) { return columns.remove(u"INSERTED."_s); }

} // namespace

void SentStatements::add(const QString& statement)
{
    const QMutexLocker lock(&m_mutex);
    m_texts << statement;
}

qsizetype SentStatements::count() const
{
    const QMutexLocker lock(&m_mutex);
    return m_texts.size();
}

QStringList SentStatements::since(qsizetype first) const
{
    const QMutexLocker lock(&m_mutex);
    return m_texts.mid(first);
}

QString AsSqlite(const QString& statement)
{
    static const auto sqlServer = MakeDialect(Engine::SqlServer);
    static const auto sqlite = MakeDialect(Engine::Sqlite);
    // Whole statements of the dialect.
    if (statement == sqlServer->tableExistsQuery())
        return sqlite->tableExistsQuery();
    if (statement == sqlServer->indexExistsQuery())
        return sqlite->indexExistsQuery();
    if (statement == sqlServer->exclusiveLock())
        return u"SELECT ?"_s; // one writer at a time anyway
    static const QRegularExpression nothingToDo(u"^SET (LOCK_TIMEOUT|IDENTITY_INSERT) "_s);
    if (nothingToDo.match(statement).hasMatch())
        return u"SELECT 1"_s;
    // The column sizes: the schema's own, as SQLite has no information_schema.
    if (statement.contains(u"information_schema.columns"_s))
        return u"SELECT NULL AS size WHERE ? IS NULL AND ? IS NULL AND 1 = 0"_s;

    static const std::array rewrites{
        Rewrite{QRegularExpression(u"^SAVE TRANSACTION "_s), u"SAVEPOINT "_s},
        Rewrite{QRegularExpression(u"^ROLLBACK TRANSACTION "_s), u"ROLLBACK TO "_s},
        Rewrite{QRegularExpression(u"^SELECT \\* INTO (\\S+) FROM (\\S+) WHERE 1 = 2$"_s),
                u"CREATE TABLE \\1 AS SELECT * FROM \\2 WHERE 1 = 2"_s},
        Rewrite{QRegularExpression(u" WITH \\(UPDLOCK, HOLDLOCK\\)"_s), QString()},
        Rewrite{QRegularExpression(u"INT IDENTITY\\(1,1\\) PRIMARY KEY"_s), u"INTEGER PRIMARY KEY AUTOINCREMENT"_s},
    };
    QString text = statement;
    text.replace(sqlServer->currentDate(), kToday);
    text.replace(sqlServer->currentTime(), kNow);
    text.replace(sqlServer->pageClause(), sqlite->pageClause());
    for (const Rewrite& rewrite : rewrites)
        text.replace(rewrite.pattern, rewrite.replacement);
    // INSERT ... OUTPUT INSERTED.a, INSERTED.b VALUES ...: RETURNING a, b at the end.
    static const QRegularExpression output(u" OUTPUT (INSERTED\\.\\w+(?:, INSERTED\\.\\w+)*) (VALUES .*)$"_s,
                                           QRegularExpression::DotMatchesEverythingOption);
    if (const auto match = output.match(text); match.hasMatch())
        text = text.left(match.capturedStart()) + u' ' + match.captured(2) + u" RETURNING "_s +
            withoutInserted(match.captured(1));
    return text;
}

ConnectionParameters SqlServerOnSqlite(const QString& file, std::shared_ptr<SentStatements> sent)
{
    ConnectionParameters p;
    p.databaseName = file;
    p.file = file;
    p.createsFile = true;
    p.description = u"SQL Server statements on the test file %1"_s.arg(file);
    p.standInDriver = u"QSQLITE"_s;
    p.sentAs = [sent](const QString& statement) {
        sent->add(statement);
        return AsSqlite(statement);
    };
    return p;
}

} // namespace kestrin::test
