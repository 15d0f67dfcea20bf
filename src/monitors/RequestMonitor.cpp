#include "monitors/RequestMonitor.h"

#include "core/Error.h"
#include "monitors/PagedListModel.h"

#include <QThread>

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

// The counting thread makes its connections too: from a copy of the database's settings made
// here, never through the windows' connection, which belongs to their thread alone.
RequestMonitor::Connect connectionsLike(const Database& db)
{
    return [prototype = std::shared_ptr<const Database>(db.newConnection())] { return prototype->newConnection(); };
}

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
    qint64 requestCount = -1;
    qint64 req2sendCount = -1;
    QString readAt;
    quint64 generation = 0;
};

struct RequestMonitor::Counts {
    qint64 requests = -1;
    qint64 req2send = -1;
    QString error; // empty when counted
};

RequestMonitor::RequestMonitor(Context& ctx, Connect connect, QObject* parent)
    : QObject(parent)
    , m_ctx(ctx)
    , m_connect(connect ? std::move(connect) : connectionsLike(ctx.db))
    , m_lists(std::make_unique<Lists>())
    , m_edge(nullptr, ctx.outages)
{
}

// Waits for counts still running: they post their result to this monitor.
RequestMonitor::~RequestMonitor()
{
    for (QThread* thread : std::as_const(m_counting)) {
        thread->wait();
        delete thread;
    }
}

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
    });
    if (!outcome.ran()) {
        QString status = tr("Reload failed at %1: %2").arg(now, outcome.reason);
        if (!m_lists->readAt.isEmpty())
            status += u" \u2014 "_s + tr("the lists show the database as read at %1.").arg(m_lists->readAt);
        setStatus(status, true);
        return false;
    }
    lists->readAt = now;
    lists->generation = ++m_generation;
    for (PagedListModel* list : {&lists->requests, &lists->req2send})
        connect(list, &PagedListModel::fetchFailed, this, &RequestMonitor::pagesFailed);
    // The old lists go only when the views have let go of them.
    m_lists.swap(lists);
    emit listsReplaced();
    setStatus(tr("Lists read at %1; counting their rows…").arg(now), false);
    startCounting();
    return true;
}

// Counts the lists of the last update() on a thread and connection of their own (a connection
// serves only the thread that opened it); the result comes back through this monitor's thread.
void RequestMonitor::startCounting()
{
    const quint64 generation = m_lists->generation;
    QThread* thread = QThread::create([this, connect = m_connect, generation] {
        Counts counts;
        try {
            const std::unique_ptr<Database> db = connect();
            db->open();
            counts.requests = count(*db, kCountRequests);
            counts.req2send = count(*db, kCountReq2send);
        } catch (const std::exception& e) {
            counts.error = ErrorText(e);
        }
        QMetaObject::invokeMethod(
            this, [this, generation, counts] { countsRead(generation, counts); }, Qt::QueuedConnection);
    });
    m_counting << thread;
    connect(thread, &QThread::finished, this, [this, thread] {
        m_counting.removeOne(thread);
        thread->wait();
        delete thread;
    });
    thread->start();
}

void RequestMonitor::countsRead(quint64 generation, const Counts& counts)
{
    if (generation != m_lists->generation)
        return; // for lists since replaced or let go
    if (!counts.error.isEmpty()) {
        m_ctx.log.logall(u"Request monitor: counting the rows failed: "_s + counts.error, LogDirection::Monitor);
        if (!m_failed)
            setStatus(tr("Lists read at %1; counting their rows failed: %2").arg(m_lists->readAt, counts.error), true);
        return;
    }
    m_lists->requestCount = counts.requests;
    m_lists->req2sendCount = counts.req2send;
    m_lists->requests.setSize(counts.requests);
    m_lists->req2send.setSize(counts.req2send);
    // A page that failed meanwhile keeps saying so.
    if (!m_failed)
        setStatus(tr("Request: %1, Req2send: %2, read at %3")
                      .arg(rows(counts.requests), rows(counts.req2send), m_lists->readAt),
                  false);
    emit counted();
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
    lists->generation = ++m_generation;
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
