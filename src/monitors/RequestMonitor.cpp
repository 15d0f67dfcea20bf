#include "monitors/RequestMonitor.h"

#include "monitors/PagedListModel.h"

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

// By sample ID and test short name; the parameter (and the result) only make the order of
// rows that look alike the same from page to page.
PagedQuery requestList()
{
    return {{u"rq.sample_id"_s, u"td.short"_s, u"rq.result"_s},
            {u"sample_id"_s, u"short"_s, u"result"_s},
            u"request rq INNER JOIN test_def td ON rq.parameter_id = td.parameter_id"_s,
            u"td.short, rq.parameter_id, rq.result"_s};
}

PagedQuery req2sendList()
{
    return {{u"r2.sample_id"_s, u"td.short"_s},
            {u"sample_id"_s, u"short"_s},
            u"req2send r2 INNER JOIN test_def td ON r2.parameter_id = td.parameter_id"_s,
            u"td.short, r2.parameter_id"_s};
}
const QString kCountRequests =
    u"SELECT COUNT(*) FROM request rq INNER JOIN test_def td ON rq.parameter_id = td.parameter_id"_s;
const QString kCountReq2send =
    u"SELECT COUNT(*) FROM req2send r2 INNER JOIN test_def td ON r2.parameter_id = td.parameter_id"_s;

qint64 count(Database& db, const QString& sql) { return db.first(sql)->at(0).toLongLong(); }

QString rows(qint64 n) { return n == 1 ? RequestMonitor::tr("1 row") : RequestMonitor::tr("%1 rows").arg(n); }

const WorkLines kReloadLines{.key = u"Request monitor"_s, .failed = [](const QString& error) -> QString {
                                 return u"Request monitor: reload failed: "_s + error;
                             }};

} // namespace

// One reload's lists with the connection their pages are read through; the models go first.
struct RequestMonitor::Lists {
    explicit Lists(std::unique_ptr<Database> connection = {})
        : db(std::move(connection))
        , requests(db.get(), requestList())
        , req2send(db.get(), req2sendList())
    {
    }
    std::unique_ptr<Database> db;
    PagedListModel requests;
    PagedListModel req2send;
    qint64 requestCount = 0;
    qint64 req2sendCount = 0;
    QString readAt;
};

RequestMonitor::RequestMonitor(Context& ctx, Connect connect, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
    , m_connect(connect ? std::move(connect) : Connect([&db = ctx.db] { return db.newConnection(); }))
    , m_lists(std::make_unique<Lists>())
    , m_edge(nullptr, ctx.outages)
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
    std::unique_ptr<Lists> lists;
    const WorkOutcome outcome = m_edge.run(kReloadLines, [&] {
        lists = std::make_unique<Lists>(m_connect());
        lists->db->open();
        lists->requests.start();
        lists->req2send.start();
        lists->requestCount = count(*lists->db, kCountRequests);
        lists->req2sendCount = count(*lists->db, kCountReq2send);
    });
    if (!outcome.ran()) {
        QString status = tr("Reload failed at %1: %2").arg(now, outcome.reason);
        if (!m_lists->readAt.isEmpty())
            status += u" \u2014 "_s + tr("the lists show the database as read at %1.").arg(m_lists->readAt);
        setStatus(status, true);
        return false;
    }
    lists->readAt = now;
    for (PagedListModel* list : {&lists->requests, &lists->req2send})
        connect(list, &PagedListModel::fetchFailed, this, &RequestMonitor::pagesFailed);
    // The old lists go only when the views have let go of them.
    m_lists.swap(lists);
    emit listsReplaced();
    setStatus(tr("Request: %1, Req2send: %2, read at %3").arg(rows(requestCount()), rows(req2sendCount()), now), false);
    return true;
}

void RequestMonitor::pagesFailed(const QString& reason)
{
    const QString now = m_ctx.nowText();
    m_ctx.log.logall(u"Request monitor: reading further rows failed: "_s + reason, LogDirection::Monitor);
    setStatus(tr("Reading further rows failed at %1: %2").arg(now, reason) + u" \u2014 "_s +
                  tr("RELOAD reads the lists again."),
              true);
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
