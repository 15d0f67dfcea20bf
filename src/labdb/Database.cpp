#include "labdb/Database.h"

#include "labdb/DbError.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlRecord>
#include <QUuid>

#include <array>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

QString savepointName(int depth) { return u"kestrin_sp%1"_s.arg(depth); }

} // namespace

Database::Database(std::unique_ptr<Dialect> dialect, ConnectionParameters parameters)
    : m_dialect(std::move(dialect))
    , m_parameters(std::move(parameters))
    , m_connectionName(u"kestrin-"_s + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

Database::~Database()
{
    close();
    QSqlDatabase::removeDatabase(m_connectionName);
}

void Database::open()
{
    if (isOpen())
        return;
    QSqlDatabase db = QSqlDatabase::contains(m_connectionName)
        ? QSqlDatabase::database(m_connectionName, false)
        : QSqlDatabase::addDatabase(m_dialect->qtDriver(), m_connectionName);
    if (!db.isValid())
        throw DbError(u"The Qt database driver %1 is not installed."_s.arg(m_dialect->qtDriver()), QString());
    db.setDatabaseName(m_parameters.databaseName);
    db.setHostName(m_parameters.host);
    db.setPort(m_parameters.port);
    db.setUserName(m_parameters.user);
    db.setPassword(m_parameters.password);
    db.setConnectOptions(m_parameters.options);
    if (!db.open())
        throw DbError(u"%1 cannot be opened: %2"_s.arg(m_parameters.description, db.lastError().text()), QString());
    for (const QString& statement : m_dialect->sessionSetup())
        run(statement);
}

void Database::close()
{
    m_statements.clear();
    m_adhoc.reset();
    m_depth = 0;
    if (QSqlDatabase::contains(m_connectionName)) {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
}

bool Database::isOpen() const
{
    return QSqlDatabase::contains(m_connectionName) && QSqlDatabase::database(m_connectionName, false).isOpen();
}

bool Database::isAlive()
{
    if (!isOpen())
        return false;
    QSqlQuery probe(QSqlDatabase::database(m_connectionName, false));
    return probe.exec(u"SELECT 1"_s) && probe.next();
}

std::unique_ptr<Database> Database::newConnection() const
{
    return std::make_unique<Database>(m_dialect->another(), m_parameters);
}

void Database::reopen()
{
    close();
    open();
}

DbError Database::errorOf(const QSqlError& error, const QString& sql) const
{
    QString text = error.text().trimmed();
    // Some drivers say nothing when the server went away in the middle of a statement.
    if (text.isEmpty())
        text = u"%1 gave no reason (code %2); the connection may be lost."_s.arg(
            m_parameters.description, error.nativeErrorCode().isEmpty() ? u"none"_s : error.nativeErrorCode());
    return DbError(text, sql, m_dialect->refusesData(error.nativeErrorCode()), error.nativeErrorCode());
}

void Database::fail(const QSqlQuery& query, const QString& sql) const { throw errorOf(query.lastError(), sql); }

void Database::run(const QString& sql)
{
    ++m_statementsSent;
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    if (!query.exec(sql))
        fail(query, sql);
}

QSqlQuery& Database::execute(const QString& sql, const QVariantList& values)
{
    if (!isOpen())
        throw DbError(u"The connection to %1 is not open."_s.arg(m_parameters.description), sql);
    // Statements without values run as they are: some engines cannot prepare DDL.
    ++m_statementsSent;
    if (values.isEmpty()) {
        m_adhoc.emplace(QSqlDatabase::database(m_connectionName, false));
        m_adhoc->setForwardOnly(true);
        if (!m_adhoc->exec(sql))
            fail(*m_adhoc, sql);
        return *m_adhoc;
    }
    if (m_observer)
        m_observer(sql, values.size());
    auto it = m_statements.find(sql);
    if (it == m_statements.end()) {
        auto query = std::make_unique<QSqlQuery>(QSqlDatabase::database(m_connectionName, false));
        query->setForwardOnly(true);
        ++m_statementsSent;
        if (!query->prepare(sql))
            fail(*query, sql);
        it = m_statements.emplace(sql, std::move(query)).first;
    }
    QSqlQuery& query = *it->second;
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), m_dialect->toBound(values.at(i)));
    if (!query.exec()) {
        const DbError error = errorOf(query.lastError(), sql);
        m_statements.erase(it);
        throw error;
    }
    return query;
}

int Database::exec(const QString& sql, const QVariantList& values)
{
    QSqlQuery& query = execute(sql, values);
    const int affected = query.numRowsAffected();
    query.finish();
    return affected;
}

void Database::inParts(qsizetype rows, qsizetype columns, const std::function<void(qsizetype, int)>& statement)
{
    // Powers of two: a count takes at most one statement of each size below the largest. Each
    // within every engine's limit of bound values (older SQLite: 999, SQL Server: 2100).
    constexpr std::array kRowsPerStatement{256, 128, 64, 32, 16, 8, 4, 2, 1};
    constexpr qsizetype kMaxValues = 999;
    qsizetype first = 0;
    for (const int size : kRowsPerStatement) {
        if (size * columns > kMaxValues)
            continue;
        for (; rows - first >= size; first += size)
            statement(first, size);
    }
}

namespace {

QVariantList valuesOf(const QList<QVariantList>& rows, qsizetype first, int count)
{
    QVariantList values;
    for (qsizetype i = first; i < first + count; ++i)
        values << rows.at(i);
    return values;
}

// The rows as a dialect's rowsFromJson reads them: each value as it would be bound.
QString jsonOf(const Dialect& dialect, const QStringList& columns, const QList<QVariantList>& rows)
{
    QJsonArray array;
    for (const QVariantList& row : rows) {
        QJsonObject object;
        for (qsizetype i = 0; i < columns.size(); ++i) {
            const QVariant value = dialect.toBound(row.at(i));
            object.insert(columns.at(i).toLower(), value.isNull() ? QJsonValue() : QJsonValue::fromVariant(value));
        }
        array.append(object);
    }
    return QString::fromUtf8(QJsonDocument(array).toJson(QJsonDocument::Compact));
}

} // namespace

void Database::insertRows(const QString& table, const QStringList& columns, const QList<QVariantList>& rows)
{
    if (rows.isEmpty())
        return;
    if (const QString source = m_dialect->rowsFromJson(table); !source.isEmpty()) {
        exec(u"INSERT INTO %1 (%2) SELECT %2 FROM %3 AS v"_s.arg(table, columns.join(u", "), source),
             {jsonOf(*m_dialect, columns, rows)});
        return;
    }
    const QString head = u"INSERT INTO %1 (%2) VALUES "_s.arg(table, columns.join(u", "));
    const QString row = u'(' + Placeholders(columns.size()) + u')';
    inParts(rows.size(), columns.size(), [&](qsizetype first, int count) {
        exec(head + QStringList(count, row).join(u", "), valuesOf(rows, first, count));
    });
}

QList<Row> Database::insertRowsReturning(const QString& table, const QStringList& columns,
                                         const QList<QVariantList>& rows, const QStringList& returned)
{
    QList<Row> inserted;
    if (rows.isEmpty())
        return inserted;
    if (const QString source = m_dialect->rowsFromJson(table); !source.isEmpty())
        return query(u"INSERT INTO %1 (%2) SELECT %2 FROM %3 AS v RETURNING %4"_s.arg(table, columns.join(u", "),
                                                                                      source, returned.join(u", ")),
                     {jsonOf(*m_dialect, columns, rows)});
    if (m_dialect->insertRowsReturning(table, columns, 1, returned).isEmpty())
        return inserted;
    inParts(rows.size(), columns.size(), [&](qsizetype first, int count) {
        inserted << query(m_dialect->insertRowsReturning(table, columns, count, returned),
                          valuesOf(rows, first, count));
    });
    return inserted;
}

void Database::updateRows(const QString& table, const QStringList& columns, const QString& key,
                          const QList<QVariantList>& rows)
{
    if (rows.isEmpty())
        return;
    if (const QString source = m_dialect->rowsFromJson(table); !source.isEmpty()) {
        QStringList set;
        for (const QString& column : columns)
            set << u"%1 = v.%1"_s.arg(column);
        exec(u"UPDATE %1 AS t SET %2 FROM %3 AS v WHERE t.%4 = v.%4"_s.arg(table, set.join(u", "), source, key),
             {jsonOf(*m_dialect, columns + QStringList{key}, rows)});
        return;
    }
    const QString sql = u"UPDATE %1 SET %2 = ? WHERE %3 = ?"_s.arg(table, columns.join(u" = ?, "), key);
    for (const QVariantList& row : rows)
        exec(sql, row);
}

QList<Row> Database::query(const QString& sql, const QVariantList& values)
{
    QSqlQuery& query = execute(sql, values);
    const QSqlRecord record = query.record();
    QStringList names;
    for (int i = 0; i < record.count(); ++i)
        names << record.fieldName(i);
    const auto columns = QSharedPointer<const QStringList>::create(std::move(names));
    QList<Row> rows;
    while (query.next()) {
        QVariantList row;
        row.reserve(columns->size());
        for (int i = 0; i < columns->size(); ++i)
            row << query.value(i);
        rows.emplace_back(columns, std::move(row));
    }
    if (query.lastError().isValid()) {
        const DbError error = errorOf(query.lastError(), sql);
        query.finish();
        throw error;
    }
    query.finish();
    return rows;
}

std::optional<Row> Database::first(const QString& sql, const QVariantList& values)
{
    QList<Row> rows = query(sql, values);
    if (rows.isEmpty())
        return std::nullopt;
    return rows.takeFirst();
}

bool Database::tableExists(const QString& table)
{
    const QString sql = m_dialect->tableExistsQuery();
    if (!sql.isEmpty())
        return first(sql, {table}).has_value();
    if (!isOpen())
        throw DbError(u"The connection to %1 is not open."_s.arg(m_parameters.description), QString());
    return QSqlDatabase::database(m_connectionName, false).tables().contains(table, Qt::CaseInsensitive);
}

QStringList Database::columns(const QString& table)
{
    if (!tableExists(table))
        return {};
    QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
    const QString sql = u"SELECT * FROM %1 WHERE 1 = 2"_s.arg(m_dialect->quote(table));
    if (!query.exec(sql))
        fail(query, sql);
    QStringList names;
    const QSqlRecord record = query.record();
    for (int i = 0; i < record.count(); ++i)
        names << record.fieldName(i);
    return names;
}

void Database::begin()
{
    if (m_depth == 0) {
        runOutermost(m_dialect->beginTransaction(), &QSqlDatabase::transaction, u"BEGIN TRANSACTION"_s);
    } else {
        run(m_dialect->savepoint(savepointName(m_depth)));
    }
    ++m_depth;
}

void Database::commit()
{
    if (m_depth == 0)
        throw DbError(u"No transaction is open."_s, u"COMMIT"_s);
    --m_depth;
    if (m_depth == 0) {
        try {
            runOutermost(u"COMMIT"_s, &QSqlDatabase::commit, u"COMMIT"_s);
        } catch (const DbError&) {
            // A commit that failed leaves the transaction open on some engines: end it.
            try {
                rollbackOutermost();
            } catch (const DbError&) {
            }
            throw;
        }
    } else if (const QString release = m_dialect->releaseSavepoint(savepointName(m_depth)); !release.isEmpty()) {
        run(release);
    }
}

void Database::rollbackOutermost() { runOutermost(u"ROLLBACK"_s, &QSqlDatabase::rollback, u"ROLLBACK"_s); }

void Database::runOutermost(const QString& statement, bool (QSqlDatabase::*driverCall)(), const QString& callName)
{
    // A dialect without a BEGIN of its own leaves the whole outermost transaction to the driver.
    if (!m_dialect->beginTransaction().isEmpty()) {
        run(statement);
        return;
    }
    ++m_statementsSent;
    QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
    if (!(db.*driverCall)())
        throw errorOf(db.lastError(), callName);
}

void Database::rollback()
{
    if (m_depth == 0)
        throw DbError(u"No transaction is open."_s, u"ROLLBACK"_s);
    --m_depth;
    if (m_depth == 0) {
        rollbackOutermost();
    } else {
        run(m_dialect->rollbackToSavepoint(savepointName(m_depth)));
        if (const QString release = m_dialect->releaseSavepoint(savepointName(m_depth)); !release.isEmpty())
            run(release);
    }
}

void Database::lockExclusive(const QString& name)
{
    if (const QString sql = m_dialect->exclusiveLock(); !sql.isEmpty())
        exec(sql, {name});
}

Transaction::Transaction(Database& db)
    : m_db(db)
{
    m_db.begin();
}

Transaction::~Transaction()
{
    if (!m_open)
        return;
    try {
        m_db.rollback();
    } catch (const DbError&) {
        // The connection is gone; the server has dropped the transaction with it.
    }
}

void Transaction::commit()
{
    m_open = false;
    m_db.commit();
}

void Transaction::rollback()
{
    m_open = false;
    m_db.rollback();
}

} // namespace kestrin
