#include "monitors/PagedListModel.h"

#include "core/Error.h"
#include "labdb/Database.h"

#include <algorithm>
#include <limits>

using namespace Qt::StringLiterals;

namespace kestrin {

PagedListModel::PagedListModel(Database* db, PagedQuery query, QObject* parent)
    : QAbstractTableModel(parent)
    , m_db(db)
    , m_query(std::move(query))
    , m_next{db ? Phase::NoKey : Phase::End, {}, 0}
{
    QStringList selected;
    for (qsizetype i = 0; i < m_query.columns.size(); ++i)
        selected << m_query.columns.at(i) + u" AS "_s + m_query.headings.at(i);
    m_select = u"SELECT "_s + selected.join(u", "_s) + u" FROM "_s + m_query.from;
    QStringList reverse;
    for (const QString& expression : m_query.within.split(u','))
        reverse << expression.trimmed() + u" DESC"_s;
    m_reverseWithin = reverse.join(u", "_s);
}

void PagedListModel::start()
{
    beginResetModel();
    m_pages.clear();
    m_rows = 0;
    m_sized = false;
    m_next = {m_db ? Phase::NoKey : Phase::End, {}, 0};
    m_withoutKey = -1;
    m_failed = false;
    endResetModel();
    Cursor at = m_next;
    QList<QVariantList> rows = read(at, kPageRows);
    m_next = at;
    if (rows.isEmpty())
        return;
    beginInsertRows({}, 0, int(rows.size()) - 1);
    m_rows = rows.size();
    keep(0, made(std::move(rows), at));
    endInsertRows();
}

void PagedListModel::setSize(qint64 rows)
{
    if (!m_db || m_failed)
        return;
    m_sized = true;
    const qint64 size = std::min<qint64>(rows, std::numeric_limits<int>::max());
    if (size > m_rows) {
        // A short page was the end of the list when it was read; read again, it may hold more.
        std::erase_if(m_pages, [](const auto& page) { return page.second.rows.size() < kPageRows; });
        beginInsertRows({}, int(m_rows), int(size) - 1);
        m_rows = size;
        endInsertRows();
    } else if (size < m_rows) {
        beginRemoveRows({}, int(size), int(m_rows) - 1);
        m_rows = size;
        endRemoveRows();
    }
}

QList<QVariantList> PagedListModel::rowsOf(const QString& where, const QVariantList& values) const
{
    QList<QVariantList> rows;
    for (const Row& row : m_db->query(m_select + where + m_db->dialect().pageClause(), values)) {
        QVariantList cells;
        for (qsizetype c = 0; c < row.size(); ++c)
            cells << row.at(c);
        rows << cells;
    }
    return rows;
}

QList<QVariantList> PagedListModel::read(Cursor& at, int wanted) const
{
    const QString& key = m_query.columns.first();
    const QString& within = m_query.within;
    QList<QVariantList> rows;
    while (rows.size() < wanted) {
        const int asked = wanted - int(rows.size());
        QList<QVariantList> read;
        switch (at.phase) {
        case Phase::NoKey:
            read = rowsOf(u" WHERE %1 IS NULL ORDER BY %2 "_s.arg(key, within), {at.skip, asked});
            break;
        case Phase::Key:
            read = rowsOf(u" WHERE %1 = ? ORDER BY %2 "_s.arg(key, within), {at.key, at.skip, asked});
            break;
        case Phase::FromKey:
            read = rowsOf(u" WHERE %1 >= ? ORDER BY %1, %2 "_s.arg(key, within), {at.key, at.skip, asked});
            break;
        case Phase::AfterKey:
            read = at.key.isNull()
                ? rowsOf(u" WHERE %1 IS NOT NULL ORDER BY %1, %2 "_s.arg(key, within), {at.skip, asked})
                : rowsOf(u" WHERE %1 > ? ORDER BY %1, %2 "_s.arg(key, within), {at.key, at.skip, asked});
            break;
        case Phase::Lost:
        case Phase::End:
            return rows;
        }
        const bool full = read.size() == asked;
        if (at.phase == Phase::NoKey || at.phase == Phase::Key) {
            at = full ? Cursor{at.phase, at.key, at.skip + asked} : Cursor{Phase::AfterKey, at.key, 0};
        } else if (!full) {
            at.phase = Phase::End;
        } else {
            // A full read stays with the key it ended in; rows skipped before it may hold that
            // key too, and then where the read stands within the key is not known.
            const QVariant last = read.last().first();
            qint64 trailing = 0;
            for (auto it = read.crbegin(); it != read.crend() && it->first() == last; ++it)
                ++trailing;
            at = {trailing == read.size() && at.skip > 0 ? Phase::Lost : Phase::Key, last, trailing};
        }
        rows += read;
    }
    return rows;
}

// The rows with a key (up to `upTo` when it is not null) before the last `skip` of them, read in
// the reverse order.
QList<QVariantList> PagedListModel::readBackwards(const QVariant& upTo, qint64 skip, int wanted) const
{
    const QString& key = m_query.columns.first();
    QList<QVariantList> rows = upTo.isNull()
        ? rowsOf(u" WHERE %1 IS NOT NULL ORDER BY %1 DESC, %2 "_s.arg(key, m_reverseWithin), {skip, wanted})
        : rowsOf(u" WHERE %1 <= ? ORDER BY %1 DESC, %2 "_s.arg(key, m_reverseWithin), {upTo, skip, wanted});
    std::ranges::reverse(rows);
    return rows;
}

qint64 PagedListModel::withoutKey() const
{
    if (m_withoutKey < 0)
        m_withoutKey =
            m_db->first(u"SELECT COUNT(*) FROM %1 WHERE %2 IS NULL"_s.arg(m_query.from, m_query.columns.first()))
                ->at(0)
                .toLongLong();
    return m_withoutKey;
}

namespace {

// How many rows at the end (or the start) of a page have the key of its last (first) row.
template <class It> qint64 sameKey(It begin, It end)
{
    qint64 rows = 0;
    for (It it = begin; it != end && it->first() == begin->first(); ++it)
        ++rows;
    return rows;
}

} // namespace

// From where the fewest rows lie between: the start, the end, or a page held before or after it.
PagedListModel::Page PagedListModel::readPage(qint64 index) const
{
    const qint64 first = index * kPageRows;
    const int wanted = int(std::min<qint64>(kPageRows, m_rows - first));
    if (wanted <= 0)
        return {};
    const qint64 nulls = withoutKey();
    Cursor forward = first < nulls ? Cursor{Phase::NoKey, {}, first} : Cursor{Phase::AfterKey, {}, first - nulls};
    qint64 forwardSkip = first;
    for (auto it = m_pages.lower_bound(index); it != m_pages.begin();) {
        --it;
        const qint64 between = (index - it->first - 1) * kPageRows;
        if (between >= forwardSkip)
            break;
        const std::optional<Cursor>& next = it->second.next;
        if (next && (next->phase == Phase::Key || (between == 0 && next->phase != Phase::Lost))) {
            forward = between == 0 ? *next : Cursor{Phase::FromKey, next->key, next->skip + between};
            forwardSkip = between;
            break;
        }
    }
    QVariant upTo;
    qint64 backwardSkip = std::numeric_limits<qint64>::max();
    if (first >= nulls) {
        if (m_sized)
            backwardSkip = m_rows - first - wanted;
        for (auto it = m_pages.upper_bound(index); it != m_pages.end(); ++it) {
            const qint64 between = it->first * kPageRows - first - wanted;
            if (between >= backwardSkip)
                break;
            if (it->second.keyRows >= 0) {
                if (it->second.keyRows + between < backwardSkip) {
                    upTo = it->second.firstKey;
                    backwardSkip = it->second.keyRows + between;
                }
                break;
            }
        }
    }
    if (backwardSkip >= forwardSkip) {
        QList<QVariantList> rows = read(forward, wanted);
        return made(std::move(rows), forward.phase == Phase::Lost ? std::nullopt : std::optional(forward));
    }
    QList<QVariantList> rows = readBackwards(upTo, backwardSkip, wanted);
    // It goes on in the last key it read, unless the whole page is of that key.
    const qint64 trailing = sameKey(rows.crbegin(), rows.crend());
    std::optional<Cursor> next;
    if (trailing < rows.size())
        next = Cursor{Phase::Key, rows.last().first(), trailing};
    return made(std::move(rows), next);
}

PagedListModel::Page PagedListModel::made(QList<QVariantList> rows, std::optional<Cursor> next)
{
    Page page{std::move(rows), std::move(next), {}, -1};
    const qint64 leading = sameKey(page.rows.cbegin(), page.rows.cend());
    if (leading < page.rows.size() && !page.rows.first().first().isNull()) {
        page.firstKey = page.rows.first().first();
        page.keyRows = leading;
    }
    return page;
}

const PagedListModel::Page* PagedListModel::pageAt(qint64 index) const
{
    if (const auto it = m_pages.find(index); it != m_pages.end())
        return &it->second;
    if (!m_db || m_failed)
        return nullptr;
    try {
        keep(index, readPage(index));
    } catch (const std::exception& e) {
        m_failed = true;
        emit const_cast<PagedListModel*>(this)->fetchFailed(ErrorText(e));
        return nullptr;
    }
    return &m_pages.at(index);
}

// Lets go of the pages farthest from the one just read (never of that one).
void PagedListModel::keep(qint64 index, Page page) const
{
    m_pages.insert_or_assign(index, std::move(page));
    while (m_pages.size() > kKeptPages) {
        const auto lowest = m_pages.begin();
        const auto highest = std::prev(m_pages.end());
        m_pages.erase(index - lowest->first >= highest->first - index ? lowest : highest);
    }
}

int PagedListModel::rowCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : int(m_rows); }

int PagedListModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_query.headings.size());
}

QVariant PagedListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_rows)
        return {};
    const Page* page = pageAt(index.row() / kPageRows);
    if (!page)
        return {};
    return page->rows.value(index.row() % kPageRows).value(index.column());
}

QVariant PagedListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    return m_query.headings.value(section);
}

bool PagedListModel::canFetchMore(const QModelIndex& parent) const
{
    return !parent.isValid() && !m_sized && !m_failed && m_next.phase != Phase::End;
}

void PagedListModel::fetchMore(const QModelIndex& parent)
{
    if (!canFetchMore(parent))
        return;
    Cursor at = m_next;
    QList<QVariantList> rows;
    try {
        rows = read(at, kPageRows);
    } catch (const std::exception& e) {
        m_failed = true;
        emit fetchFailed(ErrorText(e));
        return;
    }
    m_next = at;
    if (rows.isEmpty())
        return;
    // The pages before are full: a short one ends the list.
    const qint64 index = m_rows / kPageRows;
    beginInsertRows({}, int(m_rows), int(m_rows + rows.size()) - 1);
    m_rows += rows.size();
    keep(index, made(std::move(rows), at));
    endInsertRows();
}

} // namespace kestrin
