#include "labdb/Database.h"

#include "labdb/DbError.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlError>
#include <QSqlRecord>
#include <QThread>
#include <QUuid>

#include <array>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

QString savepointName(int depth) { return u"kestrin_sp%1"_s.arg(depth); }

// One try of a lock wait that a stop may cut short: the longest a stop waits for it.
constexpr int kLockTryMs = 200;
// Between tries, so that an engine that says "busy" without waiting is not asked at full speed.
constexpr int kLockPauseMs = 10;

QString missingFileText(const QString& file)
{
    return u"The database file %1 is missing (moved or deleted); the work waits until it is there again."_s.arg(file);
}

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
    const QString& file = m_parameters.file;
    // The file is taken before and after opening: a file replaced meanwhile may be either.
    const std::optional<FileIdentity> before = file.isEmpty() ? std::nullopt : IdentityOf(file);
    // Opened now, a missing file would be made anew, empty: only "/initdb" makes one.
    if (!file.isEmpty() && !before && !m_parameters.createsFile)
        throw DbError(missingFileText(file) + u" Only kestrin /initdb makes a new one."_s, QString());
    const QString driver = m_parameters.standInDriver.isEmpty() ? m_dialect->qtDriver() : m_parameters.standInDriver;
    QSqlDatabase db = QSqlDatabase::contains(m_connectionName) ? QSqlDatabase::database(m_connectionName, false)
                                                               : QSqlDatabase::addDatabase(driver, m_connectionName);
    if (!db.isValid())
        throw DbError(u"The Qt database driver %1 is not installed."_s.arg(driver), QString());
    db.setDatabaseName(file.isEmpty() ? m_parameters.databaseName
                                      : EmbeddedDatabaseUri(file, m_parameters.createsFile));
    db.setHostName(m_parameters.host);
    db.setPort(m_parameters.port);
    db.setUserName(m_parameters.user);
    db.setPassword(m_parameters.password);
    QStringList options;
    if (!m_parameters.options.isEmpty())
        options << m_parameters.options;
    if (!file.isEmpty())
        options << u"QSQLITE_OPEN_URI"_s;
    db.setConnectOptions(options.join(u';'));
    if (!db.open())
        throw DbError(u"%1 cannot be opened: %2"_s.arg(m_parameters.description, db.lastError().text()), QString(),
                      false, db.lastError().nativeErrorCode());
    try {
        for (const QString& statement : m_dialect->sessionSetup())
            run(statement);
        applyLockWait();
        if (!file.isEmpty()) {
            const std::optional<FileIdentity> after = IdentityOf(file);
            if (!after || (before && *before != *after))
                throw DbError(u"The database file %1 was replaced while Kestrin opened it."_s.arg(file), QString());
            m_file = after;
            m_parameters.createsFile = false; // made once: a file gone later is not made again
        }
    } catch (const DbError&) {
        close(); // the next work opens it again
        throw;
    }
}

Database::FileState Database::fileState() const
{
    if (m_parameters.file.isEmpty() || !m_file)
        return FileState::Same;
    const std::optional<FileIdentity> now = IdentityOf(m_parameters.file);
    if (!now)
        return FileState::Missing;
    return *now == *m_file ? FileState::Same : FileState::Replaced;
}

QString Database::fileTrouble() const
{
    switch (fileState()) {
    case FileState::Same:
        break;
    case FileState::Missing:
        return missingFileText(m_parameters.file);
    case FileState::Replaced:
        return u"The database file %1 was replaced by another file; Kestrin works on the file now at that path."_s.arg(
            m_parameters.file);
    }
    return {};
}

void Database::ensureSameFile() const
{
    if (const QString trouble = fileTrouble(); !trouble.isEmpty())
        throw DbError(trouble, QString());
}

void Database::setLockWait(int milliseconds)
{
    m_lockWait = qMax(0, milliseconds);
    if (isOpen())
        applyLockWait();
}

int Database::lockWaitTotal() const { return m_lockWait > 0 ? m_lockWait : m_dialect->defaultLockWait(); }

void Database::applyLockWait()
{
    const int total = lockWaitTotal();
    const QString sql = m_dialect->lockWait(m_dialect->waitsInTries() && total > 0 ? qMin(total, kLockTryMs) : total);
    if (!sql.isEmpty())
        run(sql);
}

void Database::waitingForLocks(const QString& sql, const std::function<void()>& attempt)
{
    const bool retried = m_dialect->waitsInTries() && m_depth == 0;
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        try {
            attempt();
            return;
        } catch (const DbError& e) {
            if (!retried || !m_dialect->isBusy(e.code()))
                throw;
            if (m_stopping && m_stopping->load())
                throw DbStopped(sql);
            const int total = lockWaitTotal();
            if (total > 0 && waited.elapsed() + qMin(total, kLockTryMs) > total)
                throw;
        }
        QThread::msleep(kLockPauseMs);
    }
}

void Database::close()
{
    m_statements.clear();
    m_failed.clear();
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
    if (!isOpen() || fileState() != FileState::Same)
        return false;
    QSqlQuery probe(QSqlDatabase::database(m_connectionName, false));
    return probe.exec(sent(u"SELECT 1"_s)) && probe.next();
}

std::unique_ptr<Database> Database::newConnection() const
{
    auto connection = std::make_unique<Database>(m_dialect->another(), m_parameters);
    connection->m_stopping = m_stopping;
    return connection;
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
    waitingForLocks(sql, [&] {
        ++m_statementsSent;
        QSqlQuery query(QSqlDatabase::database(m_connectionName, false));
        if (!query.exec(sent(sql)))
            fail(query, sql);
    });
}

QSqlQuery& Database::execute(const QString& sql, const QVariantList& values)
{
    QSqlQuery* query = nullptr;
    waitingForLocks(sql, [&] { query = &executeOnce(sql, values); });
    return *query;
}

QSqlQuery& Database::executeOnce(const QString& sql, const QVariantList& values)
{
    if (!isOpen())
        throw DbError(u"The connection to %1 is not open."_s.arg(m_parameters.description), sql);
    // Statements without values run as they are: some engines cannot prepare DDL.
    ++m_statementsSent;
    if (values.isEmpty()) {
        m_adhoc.emplace(QSqlDatabase::database(m_connectionName, false));
        m_adhoc->setForwardOnly(true);
        if (!m_adhoc->exec(sent(sql)))
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
        if (!query->prepare(sent(sql)))
            fail(*query, sql);
        it = m_statements.emplace(sql, std::move(query)).first;
    }
    QSqlQuery& query = *it->second;
    for (qsizetype i = 0; i < values.size(); ++i)
        query.bindValue(int(i), m_dialect->toBound(values.at(i)));
    if (!query.exec()) {
        const DbError error = errorOf(query.lastError(), sql);
        // Inside a transaction that the error aborted, the driver could not free it now.
        if (m_depth > 0)
            m_failed.push_back(std::move(it->second));
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
    if (!query.exec(sent(sql)))
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
        ensureSameFile();
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
            // Committed into a file no longer at the path, the work would be lost with it.
            ensureSameFile();
            runOutermost(u"COMMIT"_s, &QSqlDatabase::commit, u"COMMIT"_s);
        } catch (const DbError&) {
            // A commit that failed leaves the transaction open on some engines: end it.
            try {
                rollbackOutermost();
            } catch (const DbError&) {
            }
            throw;
        }
        m_failed.clear();
        // The file went in the moment between: the work is in that file, not in the one at the path.
        if (const QString trouble = fileTrouble(); !trouble.isEmpty())
            throw DbError(trouble + u" What was just committed went into the file that was there before."_s,
                          u"COMMIT"_s);
    } else if (const QString release = m_dialect->releaseSavepoint(savepointName(m_depth)); !release.isEmpty()) {
        run(release);
    }
}

void Database::rollbackOutermost()
{
    runOutermost(u"ROLLBACK"_s, &QSqlDatabase::rollback, u"ROLLBACK"_s);
    m_failed.clear();
}

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
    m_failed.clear();
}

void Database::lockExclusive(const QString& name)
{
    const QString sql = m_dialect->exclusiveLock();
    if (sql.isEmpty())
        return;
    const QString tryLock = m_dialect->tryExclusiveLock();
    const QString waitFor = m_dialect->transactionLockWait();
    if (tryLock.isEmpty() || waitFor.isEmpty()) {
        exec(sql, {name});
        return;
    }
    if (first(tryLock, {name})->at(0).toBool())
        return;
    // Held by another process: waited for in the queue of its waiters, a try at a time, so
    // that a stop need not wait for it. A try that ends without the lock undoes itself.
    const int total = lockWaitTotal();
    QElapsedTimer waited;
    waited.start();
    for (;;) {
        Transaction attempt(*this);
        try {
            exec(waitFor, {total > 0 ? qMin(total, kLockTryMs) : kLockTryMs});
            exec(sql, {name});
            exec(waitFor, {total});
            attempt.commit();
            return;
        } catch (const DbError& e) {
            if (!m_dialect->isBusy(e.code()))
                throw;
            attempt.rollback();
            if (m_stopping && m_stopping->load())
                throw DbStopped(sql);
            if (total > 0 && waited.elapsed() >= total)
                throw;
        }
    }
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
