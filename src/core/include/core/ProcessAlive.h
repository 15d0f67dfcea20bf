#pragma once

#include <QDateTime>
#include <QString>

#include <functional>

namespace kestrin {

// Whether a process of this machine with that id is running.
bool IsProcessAlive(qint64 pid);

// Who holds a piece of work that several Kestrin processes share (a work file, a claimed
// sample): a machine and a process of it.
struct WorkOwner {
    QString host;
    qint64 pid = 0;
};

// Whether work that `holder` took at `since` is abandoned at `now` and may be taken over by
// `self`: a process of this machine that no longer runs (or `self`, which holds nothing between
// its units of work); another machine's once it is older than `staleAfterMs`, since there
// nobody can ask whether its process still runs.
bool IsAbandoned(const WorkOwner& holder, const QDateTime& since, const WorkOwner& self, const QDateTime& now,
                 const std::function<bool(qint64)>& isAlive, qint64 staleAfterMs);

} // namespace kestrin
