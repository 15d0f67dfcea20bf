#include "monitors/RequestMonitor.h"

#include "labdb/DbError.h"

#include <QSqlQueryModel>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// Aliased so that every engine heads the columns with these names.
const QString kRequests = u"SELECT sample_id AS sample_id, short AS short, result AS result FROM request rq "
                          u"INNER JOIN test_def td ON rq.parameter_id = td.parameter_id ORDER BY sample_id, short"_s;
const QString kReq2send = u"SELECT sample_id AS sample_id, short AS short FROM req2send r2 "
                          u"INNER JOIN test_def td ON r2.parameter_id = td.parameter_id ORDER BY sample_id, short"_s;
const QString kCountRequests =
    u"SELECT COUNT(*) FROM request rq INNER JOIN test_def td ON rq.parameter_id = td.parameter_id"_s;
const QString kCountReq2send =
    u"SELECT COUNT(*) FROM req2send r2 INNER JOIN test_def td ON r2.parameter_id = td.parameter_id"_s;

qint64 count(Database& db, const QString& sql) { return db.first(sql)->at(0).toLongLong(); }

QString rows(qint64 n) { return n == 1 ? u"1 row"_s : u"%1 rows"_s.arg(n); }

// The words for the status line; the log gets the whole error with its statement.
QString reason(const std::exception& e)
{
    if (const auto* db = dynamic_cast<const DbError*>(&e))
        return db->driverText();
    return ErrorText(e);
}

} // namespace

// One reload's lists with the connection their cursors read through; the models go first.
struct RequestMonitor::Lists {
    std::unique_ptr<Database> db;
    QSqlQueryModel requests;
    QSqlQueryModel req2send;
    qint64 requestCount = 0;
    qint64 req2sendCount = 0;
    QString readAt;
};

RequestMonitor::RequestMonitor(Context& ctx, Connect connect, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
    , m_connect(connect ? std::move(connect) : Connect([&db = ctx.db] { return db.newConnection(); }))
    , m_lists(std::make_unique<Lists>())
{
}

RequestMonitor::~RequestMonitor() = default;

QAbstractItemModel* RequestMonitor::requests() const { return &m_lists->requests; }
QAbstractItemModel* RequestMonitor::req2send() const { return &m_lists->req2send; }
qint64 RequestMonitor::requestCount() const { return m_lists->requestCount; }
qint64 RequestMonitor::req2sendCount() const { return m_lists->req2sendCount; }

bool RequestMonitor::update()
{
    const QString now = m_ctx.nowText();
    try {
        auto lists = std::make_unique<Lists>();
        lists->db = m_connect();
        lists->db->open();
        lists->db->queryModel(lists->requests, kRequests);
        lists->db->queryModel(lists->req2send, kReq2send);
        // Counted while the lists' cursors are open: on SQLite they then read the same snapshot.
        lists->requestCount = count(*lists->db, kCountRequests);
        lists->req2sendCount = count(*lists->db, kCountReq2send);
        lists->readAt = now;
        // The old lists go only when the views have let go of them.
        m_lists.swap(lists);
        emit listsReplaced();
        setStatus(u"Request: %1, Req2send: %2, read at %3"_s.arg(rows(requestCount()), rows(req2sendCount()), now),
                  false);
        return true;
    } catch (const std::exception& e) {
        m_ctx.log.logall(u"Request monitor: reload failed: "_s + ErrorText(e), LogDirection::Monitor);
        QString status = u"Reload failed at %1: %2"_s.arg(now, reason(e));
        if (!m_lists->readAt.isEmpty())
            status += u" \u2014 the lists show the database as read at %1."_s.arg(m_lists->readAt);
        setStatus(status, true);
        return false;
    }
}

void RequestMonitor::release()
{
    auto lists = std::make_unique<Lists>();
    m_lists.swap(lists);
    emit listsReplaced();
    setStatus({}, false);
}

void RequestMonitor::setStatus(const QString& status, bool failed)
{
    m_status = status;
    m_failed = failed;
    emit statusChanged(status);
}

} // namespace kestrin
