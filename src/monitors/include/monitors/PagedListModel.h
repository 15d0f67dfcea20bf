#pragma once

#include <QAbstractTableModel>
#include <QStringList>
#include <QVariant>

#include <map>
#include <optional>

namespace kestrin {

class Database;

// What a paged list shows and in which order.
struct PagedQuery {
    QStringList columns;  // expressions, the first is the key the list is ordered by
    QStringList headings; // one per column
    QString from;         // the tables and their joins
    // The order of the rows of one key, to the last column that differs: expressions between
    // commas ("a, b"), none with a comma of its own, as each is turned round for reading backwards.
    QString within;
};

// A read-only list that reads its rows a page at a time as a view shows them, each page with
// a query of its own that is read to its end: no cursor and no read transaction stays open
// between pages (on SQLite an open one holds up every checkpoint, and the WAL file grows for
// as long as the list is shown). Rows without a key come first, then each key in order.
//
// Until its size is known the list grows page by page as the view scrolls (fetchMore). Once
// setSize() gives it, the list has all its rows and reads whichever page the view shows, from
// where the fewest rows lie between: going on from a page it holds (seeking through the key's
// index to that page's last key, or backwards to the first key of a page after it), or from
// either end of the list (the last page is the first of the reverse order). It keeps a bounded
// number of pages, letting go of those farthest from the one read last.
class PagedListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int kPageRows = 256;
    static constexpr int kKeptPages = 64;

    // Reads through `db`, which outlives the model; null gives an empty list.
    PagedListModel(Database* db, PagedQuery query, QObject* parent = nullptr);

    // Reads the first page; throws a DbError.
    void start();
    // The list's size, counted elsewhere: from here on every row is there and read when shown.
    // Ignored once reading has failed.
    void setSize(qint64 rows);
    bool sized() const { return m_sized; }
    // Pages held in memory.
    int keptPages() const { return int(m_pages.size()); }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    // Reads the row's page when it is not held; a failure gives nothing and stops the reading.
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool canFetchMore(const QModelIndex& parent = {}) const override;
    // Reads the next page. A failure stops the reading (the next start() begins afresh).
    void fetchMore(const QModelIndex& parent = {}) override;

signals:
    void fetchFailed(const QString& reason);

private:
    // Lost: a read ended inside a key whose rows before it were skipped unseen.
    enum class Phase { NoKey, Key, FromKey, AfterKey, Lost, End };
    // Where a read goes on: `skip` rows of the no-key group (NoKey), of `key` (Key), of `key`
    // and the keys after it (FromKey), or after `key` (AfterKey; a null key there means after
    // the no-key group).
    struct Cursor {
        Phase phase = Phase::NoKey;
        QVariant key;
        qint64 skip = 0;
    };
    struct Page {
        QList<QVariantList> rows;
        std::optional<Cursor> next; // where the page after it begins, when known
        // The page begins with the last `keyRows` rows of `key` (a key that ends in the page).
        QVariant firstKey;
        qint64 keyRows = -1;
    };

    QList<QVariantList> read(Cursor& at, int wanted) const;
    QList<QVariantList> readBackwards(const QVariant& upTo, qint64 skip, int wanted) const;
    QList<QVariantList> rowsOf(const QString& where, const QVariantList& values) const;
    qint64 withoutKey() const;
    static Page made(QList<QVariantList> rows, std::optional<Cursor> next);
    Page readPage(qint64 index) const;
    const Page* pageAt(qint64 index) const;
    void keep(qint64 index, Page page) const;

    Database* m_db;
    PagedQuery m_query;
    QString m_select;
    QString m_reverseWithin;
    mutable std::map<qint64, Page> m_pages;
    qint64 m_rows = 0;
    bool m_sized = false;
    Cursor m_next;                    // after the pages read one after another from the first (until sized)
    mutable qint64 m_withoutKey = -1; // rows without a key, counted when first needed
    mutable bool m_failed = false;
};

} // namespace kestrin
