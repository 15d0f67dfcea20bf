#pragma once

#include "core/ProcessAlive.h"

#include <QStringList>

#include <functional>

namespace kestrin {

class Database;

// Which exporter sends which queued sample. The service and every MGC station export from one
// database: each claims a sample with a row in KESTRIN_EXPORTS, committed before the sample's
// file is composed, and deletes the row with the sample's queue rows. Another exporter skips a
// claimed sample. A claim whose process is gone is taken over (on this machine at once, from
// another machine after `staleAfterMs`), and what that process had published goes out again.
// Writing the claim is also how the export learns that the database takes no writes before it
// publishes anything.
class ExportClaims {
public:
    ExportClaims(Database& db, WorkOwner self, std::function<bool(qint64)> isAlive,
                 qint64 staleAfterMs = 10 * 60 * 1000);

    // Throws a ConfigurationError naming "/initdb" when the database lacks the claims' table:
    // a cycle never creates it.
    static void Require(Database& db);

    // Claims, in one committed transaction, up to `count` of the queue's samples from `next` on
    // that no other exporter holds, and moves `next` past the samples it looked at. Throws a
    // DbError when the claims cannot be written.
    QStringList claimNext(const QStringList& queue, qsizetype& next, qsizetype count);
    // Deletes this process's claims of these samples, inside the caller's transaction.
    void release(const QStringList& sampleIds);

private:
    QStringList insertClaims(const QStringList& sampleIds);
    bool takeOver(const QString& sampleId, const WorkOwner& holder);

    Database& m_db;
    WorkOwner m_self;
    std::function<bool(qint64)> m_isAlive;
    qint64 m_staleAfterMs;
};

} // namespace kestrin
