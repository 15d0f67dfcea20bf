#include "monitors/PagedListModel.h"

#include "core/Error.h"
#include "labdb/Database.h"

using namespace Qt::StringLiterals;

namespace kestrin {

PagedListModel::PagedListModel(Database* db, PagedQuery query, QObject* parent)
    : QAbstractTableModel(parent)
    , m_db(db)
    , m_query(std::move(query))
    , m_phase(db ? Phase::NoKey : Phase::End)
{
    QStringList selected;
    for (qsizetype i = 0; i < m_query.columns.size(); ++i)
        selected << m_query.columns.at(i) + u" AS "_s + m_query.headings.at(i);
    m_select = u"SELECT "_s + selected.join(u", "_s) + u" FROM "_s + m_query.from;
}

void PagedListModel::start()
{
    beginResetModel();
    m_rows.clear();
    m_phase = Phase::NoKey;
    m_key.clear();
    m_skip = 0;
    m_failed = false;
    endResetModel();
    const QList<QVariantList> page = readPage(kPageRows);
    if (page.isEmpty())
        return;
    beginInsertRows({}, 0, int(page.size()) - 1);
    m_rows = page;
    endInsertRows();
}

QList<QVariantList> PagedListModel::readPage(int wanted)
{
    const QString key = m_query.columns.first();
    const QString page = m_db->dialect().pageClause();
    QList<QVariantList> rows;
    while (m_phase != Phase::End && rows.size() < wanted) {
        const int asked = wanted - int(rows.size());
        QString where;
        QVariantList values;
        switch (m_phase) {
        case Phase::NoKey:
            where = u" WHERE %1 IS NULL ORDER BY %2 "_s.arg(key, m_query.within);
            values = {m_skip, asked};
            break;
        case Phase::Key:
            where = u" WHERE %1 = ? ORDER BY %2 "_s.arg(key, m_query.within);
            values = {m_key, m_skip, asked};
            break;
        case Phase::AfterKey:
            where = m_key.isNull() ? u" WHERE %1 IS NOT NULL ORDER BY %1, %2 "_s.arg(key, m_query.within)
                                   : u" WHERE %1 > ? ORDER BY %1, %2 "_s.arg(key, m_query.within);
            values = m_key.isNull() ? QVariantList{0, asked} : QVariantList{m_key, 0, asked};
            break;
        case Phase::End:
            break;
        }
        QList<QVariantList> read;
        for (const Row& row : m_db->query(m_select + where + page, values)) {
            QVariantList cells;
            for (qsizetype c = 0; c < row.size(); ++c)
                cells << row.at(c);
            read << cells;
        }
        take(read, asked);
        rows += read;
    }
    return rows;
}

// Moves on by the rows one query gave: a full page stays with the key it ended in.
void PagedListModel::take(const QList<QVariantList>& rows, int asked)
{
    const bool full = rows.size() == asked;
    switch (m_phase) {
    case Phase::NoKey:
    case Phase::Key:
        m_skip += rows.size();
        if (!full)
            m_phase = Phase::AfterKey;
        break;
    case Phase::AfterKey:
        if (!full) {
            m_phase = Phase::End;
            break;
        }
        m_phase = Phase::Key;
        m_key = rows.last().first();
        m_skip = 0;
        for (auto it = rows.crbegin(); it != rows.crend() && it->first() == m_key; ++it)
            ++m_skip;
        break;
    case Phase::End:
        break;
    }
}

int PagedListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_rows.size()); }

int PagedListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_query.headings.size());
}

QVariant PagedListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows.size())
        return {};
    return m_rows.at(index.row()).value(index.column());
}

QVariant PagedListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    return m_query.headings.value(section);
}

bool PagedListModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && !m_failed && m_phase != Phase::End;
}

void PagedListModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    QList<QVariantList> page;
    try {
        page = readPage(kPageRows);
    } catch (const std::exception& e) {
        m_failed = true;
        emit fetchFailed(ErrorText(e));
        return;
    }
    if (page.isEmpty())
        return;
    beginInsertRows({}, int(m_rows.size()), int(m_rows.size() + page.size()) - 1);
    m_rows += page;
    endInsertRows();
}

} // namespace kestrin
