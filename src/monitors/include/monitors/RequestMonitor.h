#pragma once

#include "runtime/Context.h"
#include "runtime/WorkEdge.h"

#include <QObject>

#include <functional>
#include <memory>

class QAbstractItemModel;

namespace kestrin {

// The request monitor's two lists: every test request with its result ("Request") and the
// export queue ("Req2send"), each ordered by sample ID and test short name. They are read
// through a connection of their own, a page at a time as a view scrolls to them, so a
// database with hundreds of thousands of requests opens at once, and no read transaction
// stays open while the window is shown. The sizes of the lists come from counting queries.
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
    // Lets go of the lists and their connection (the window was closed).
    void release();

    // The lists as views show them; replaced by each successful update(), never null.
    QAbstractItemModel* requests() const;
    QAbstractItemModel* req2send() const;
    // How many rows each list holds, from the last successful update().
    qint64 requestCount() const;
    qint64 req2sendCount() const;
    // The status line: the sizes and the time of the lists, or why the last reload failed.
    QString status() const { return m_status; }
    bool failed() const { return m_failed; }

signals:
    // The models changed: views show requests() and req2send() anew.
    void listsReplaced();
    void statusChanged(const QString& status);

private:
    struct Lists;
    void pagesFailed(const QString& reason);
    void setStatus(const QString& status, bool failed);

    Context& m_ctx;
    Connect m_connect;
    std::unique_ptr<Lists> m_lists;
    WorkEdge m_edge; // each reload opens a connection of its own
    QString m_status;
    bool m_failed = false;
};

} // namespace kestrin
