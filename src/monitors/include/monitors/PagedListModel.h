#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QVariant>

namespace kestrin {

class Database;

// What a paged list shows and in which order.
struct PagedQuery {
    QStringList columns;  // expressions, the first is the key the list is ordered by
    QStringList headings; // one per column
    QString from;         // the tables and their joins
    QString within;       // the order of the rows of one key, to the last column that differs
};

// A read-only list that reads its rows a page at a time as a view scrolls to them, each page
// with a query of its own that is read to its end: no cursor and no read transaction stays
// open between pages (on SQLite an open one holds up every checkpoint, and the WAL file grows
// for as long as the list is shown). A page goes on after the last key read, skipping the rows
// of that key already read, so it seeks through the key's index instead of counting rows.
class PagedListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kPageRows = 256;

    // Reads through `db`, which outlives the model; null gives an empty list.
    PagedListModel(Database* db, PagedQuery query, QObject* parent = nullptr);

    // Reads the first page; throws a DbError.
    void start();

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent = {}) const override;
    // Reads the next page. A failure stops the reading (the next start() begins afresh).
    void fetchMore(const QModelIndex& parent = {}) override;

signals:
    void fetchFailed(const QString& reason);

private:
    // Where the next page begins: rows without a key come first, then each key in order.
    enum class Phase { NoKey, Key, AfterKey, End };
    QList<QVariantList> readPage(int wanted);
    void take(const QList<QVariantList>& rows, int asked);

    Database* m_db;
    PagedQuery m_query;
    QString m_select;
    QList<QVariantList> m_rows;
    Phase m_phase;
    QVariant m_key;    // the last key read (Key, AfterKey)
    qint64 m_skip = 0; // rows of the no-key group or of m_key read so far
    bool m_failed = false;
};

} // namespace kestrin
