#include "hl7export/ExportClaims.h"

#include "labdb/Database.h"
#include "labdb/DbError.h"
#include "labdb/Dialect.h"
#include "labdb/Schema.h"

#include <QHash>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

const QString kTable = u"KESTRIN_EXPORTS"_s;

struct Held {
    WorkOwner holder;
    QDateTime since;
};

} // namespace

ExportClaims::ExportClaims(Database& db, WorkOwner self, std::function<bool(qint64)> isAlive, qint64 staleAfterMs)
    : m_db(db)
    , m_self{self.host.left(ColumnSize(kTable, u"HOST")), self.pid}
    , m_isAlive(std::move(isAlive))
    , m_staleAfterMs(staleAfterMs)
{
}

void ExportClaims::Require(Database& db) { RequireTables(db, {kTable}); }

QStringList ExportClaims::claimNext(const QStringList& queue, qsizetype& next, qsizetype count)
{
    Transaction transaction(m_db);
    // Claims are judged by the database's clock: the exporters' machines may disagree.
    QHash<QString, Held> held;
    QDateTime now;
    for (const Row& row :
         m_db.query(u"SELECT SAMPLE_ID, HOST, PID, CLAIMED_AT, %1 AS NOW_AT FROM KESTRIN_EXPORTS"_s.arg(
             m_db.dialect().currentTime()))) {
        held.insert(row.text(u"SAMPLE_ID"),
                    Held{{row.text(u"HOST"), row.value(u"PID").toLongLong()}, row.dateTime(u"CLAIMED_AT")});
        now = row.dateTime(u"NOW_AT");
    }
    QStringList fresh;
    QList<std::pair<QString, WorkOwner>> abandoned;
    while (next < queue.size() && fresh.size() + abandoned.size() < count) {
        const QString& sampleId = queue.at(next++);
        const auto claim = held.constFind(sampleId);
        if (claim == held.cend())
            fresh << sampleId;
        else if (IsAbandoned(claim->holder, claim->since, m_self, now, m_isAlive, m_staleAfterMs))
            abandoned.append({sampleId, claim->holder});
    }
    QStringList claimed = insertClaims(fresh);
    for (const auto& [sampleId, holder] : abandoned) {
        if (takeOver(sampleId, holder))
            claimed << sampleId;
    }
    transaction.commit();
    return claimed;
}

QStringList ExportClaims::insertClaims(const QStringList& sampleIds)
{
    if (sampleIds.isEmpty())
        return {};
    const auto insert = [this](const QStringList& ids) {
        const QString row = u"(?, ?, ?, %1)"_s.arg(m_db.dialect().currentTime());
        QVariantList values;
        for (const QString& id : ids)
            values << id << m_self.host << m_self.pid;
        m_db.exec(u"INSERT INTO KESTRIN_EXPORTS (SAMPLE_ID, HOST, PID, CLAIMED_AT) VALUES "_s +
                      QStringList(ids.size(), row).join(u", "),
                  values);
    };
    {
        Transaction all(m_db);
        try {
            insert(sampleIds);
            all.commit();
            return sampleIds;
        } catch (const DbError& e) {
            if (!e.refusesData())
                throw;
        }
    }
    // Another exporter claimed some of them meanwhile: one at a time.
    QStringList claimed;
    for (const QString& sampleId : sampleIds) {
        Transaction one(m_db);
        try {
            insert({sampleId});
            one.commit();
            claimed << sampleId;
        } catch (const DbError& e) {
            if (!e.refusesData())
                throw;
        }
    }
    return claimed;
}

bool ExportClaims::takeOver(const QString& sampleId, const WorkOwner& holder)
{
    // Only from the holder it was judged by: of two exporters taking it over, one wins.
    return m_db.exec(
               u"UPDATE KESTRIN_EXPORTS SET HOST = ?, PID = ?, CLAIMED_AT = %1 WHERE SAMPLE_ID = ? AND HOST = ? AND PID = ?"_s
                   .arg(m_db.dialect().currentTime()),
               {m_self.host, m_self.pid, sampleId, holder.host, holder.pid}) == 1;
}

void ExportClaims::release(const QStringList& sampleIds)
{
    if (sampleIds.isEmpty())
        return;
    m_db.exec(u"DELETE FROM KESTRIN_EXPORTS WHERE HOST = ? AND PID = ? AND SAMPLE_ID IN (%1)"_s.arg(
                  Placeholders(sampleIds.size())),
              QVariantList{m_self.host, m_self.pid} + QVariantList(sampleIds.cbegin(), sampleIds.cend()));
}

} // namespace kestrin
