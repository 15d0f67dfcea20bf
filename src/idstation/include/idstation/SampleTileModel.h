#pragma once

#include "idstation/StationQueries.h"

#include <QAbstractTableModel>
#include <QHash>

namespace kestrin {

// The sample tiles in rows of five, tile n in row n / 5 and column n % 5. Tiles are only
// ever appended (or all removed at once), and adding k tiles costs k, however many are
// shown: a view repaints the new cells and nothing else.
class SampleTileModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int TilesPerRow = 5;

    enum Role {
        SampleIdRole = Qt::UserRole + 1,
        HighlightedRole, // the tile of the selected sample
    };

    using QAbstractTableModel::QAbstractTableModel;

    int tileCount() const { return int(m_tiles.size()); }
    QString sampleId(int tile) const { return m_tiles.at(tile).sampleId; }
    QString caption(int tile) const { return m_tiles.at(tile).caption; }
    // The tile that shows a sample ID, compared exactly; -1 when none does.
    int tileOf(const QString& sampleId) const { return m_tileOf.value(sampleId, -1); }

    // Appends a tile for each sample that no tile shows yet, in the order given; returns how
    // many were added.
    int addSamples(const QList<StationSample>& samples);
    void clear();

    // The one tile shown as selected, -1 for none.
    int highlightedTile() const { return m_highlighted; }
    void setHighlightedTile(int tile);

    QModelIndex indexOfTile(int tile) const { return index(tile / TilesPerRow, tile % TilesPerRow); }
    // The tile of a cell; -1 for an empty cell after the last tile.
    int tileAt(const QModelIndex& index) const;

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

private:
    void tileChanged(int tile);

    QList<StationSample> m_tiles;
    QHash<QString, int> m_tileOf;
    int m_highlighted = -1;
};

} // namespace kestrin
