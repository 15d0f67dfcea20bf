#pragma once

#include "runtime/Context.h"
#include "runtime/WorkEdge.h"

#include <QList>
#include <QObject>

#include <functional>
#include <memory>

class QAbstractItemModel;
class QThread;

namespace kestrin {

// The request monitor's two lists: every test request with its result ("Request") and the
// export queue ("Req2send"), each ordered by sample ID and test short name. They are read
// through a connection of their own, a page at a time as a view scrolls to them, so a
// database with hundreds of thousands of requests opens at once, and no read transaction
// stays open while the window is shown. The sizes of the lists are counted afterwards on a
// thread and connection of their own, so that counting a large table does not hold up the
// lists; once counted, the lists have all their rows and read whichever page a view shows.
class RequestMonitor : public QObject {
    Q_OBJECT
public:
    // Makes the connection each reload reads through.
    using Connect = std::function<std::unique_ptr<Database>()>;

    // Reads through new connections to the database of ctx.db; `connect` replaces that.
    explicit RequestMonitor(Context& ctx, Connect connect = {}, QObject* parent = nullptr);
    ~RequestMonitor() override;

    // Reloads both lists from a fresh connection. When that fails, the lists shown so far
    // stay as they were, the status says why, the log has it, and false is returned; the
    // next call tries afresh.
    bool update();
    // Lets go of the lists and their connection (the window was closed); a count still running
    // is left to end on its own and its result is dropped.
    void release();

    // The lists as views show them; replaced by each successful update(), never null.
    QAbstractItemModel* requests() const;
    QAbstractItemModel* req2send() const;
    // How many rows each list holds, from the last successful update(); -1 until counted.
    qint64 requestCount() const;
    qint64 req2sendCount() const;
    // The status line: the sizes and the time of the lists, or why the last reload failed.
    QString status() const { return m_status; }
    bool failed() const { return m_failed; }

signals:
    // The models changed: views show requests() and req2send() anew.
    void listsReplaced();
    void statusChanged(const QString& status);
    // The lists of the last update() were counted and have all their rows.
    void counted();

private:
    struct Lists;
    struct Counts;
    void startCounting();
    void countsRead(quint64 generation, const Counts& counts);
    void pagesFailed(const QString& reason);
    void setStatus(const QString& status, bool failed);

    Context& m_ctx;
    Connect m_connect;
    std::unique_ptr<Lists> m_lists;
    WorkEdge m_edge; // each reload opens a connection of its own
    QString m_status;
    bool m_failed = false;
    quint64 m_generation = 0;   // of the lists shown; a count for older ones is dropped
    QList<QThread*> m_counting; // waited for when the monitor goes
};

} // namespace kestrin
