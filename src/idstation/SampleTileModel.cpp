#include "idstation/SampleTileModel.h"

namespace kestrin {

namespace {

int rowsFor(qsizetype tiles) { return int((tiles + SampleTileModel::TilesPerRow - 1) / SampleTileModel::TilesPerRow); }

} // namespace

int SampleTileModel::addSamples(const QList<StationSample>& samples)
{
    QList<StationSample> fresh;
    for (const StationSample& sample : samples) {
        if (m_tileOf.contains(sample.sampleId))
            continue;
        m_tileOf.insert(sample.sampleId, int(m_tiles.size() + fresh.size()));
        fresh.append(sample);
    }
    if (fresh.isEmpty())
        return 0;
    const int first = tileCount();
    const int oldRows = rowCount();
    const int newRows = rowsFor(m_tiles.size() + fresh.size());
    if (newRows > oldRows)
        beginInsertRows({}, oldRows, newRows - 1);
    m_tiles.append(fresh);
    if (newRows > oldRows)
        endInsertRows();
    // The new tiles that fill the old last row were empty cells before.
    if (first % TilesPerRow != 0) {
        const int lastInRow = std::min(tileCount() - 1, (first / TilesPerRow + 1) * TilesPerRow - 1);
        emit dataChanged(indexOfTile(first), indexOfTile(lastInRow));
    }
    return int(fresh.size());
}

void SampleTileModel::clear()
{
    beginResetModel();
    m_tiles.clear();
    m_tileOf.clear();
    m_highlighted = -1;
    endResetModel();
}

void SampleTileModel::setHighlightedTile(int tile)
{
    if (tile < 0 || tile >= tileCount())
        tile = -1;
    if (tile == m_highlighted)
        return;
    const int old = m_highlighted;
    m_highlighted = tile;
    tileChanged(old);
    tileChanged(tile);
}

int SampleTileModel::tileAt(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return -1;
    const int tile = index.row() * TilesPerRow + index.column();
    return tile < tileCount() ? tile : -1;
}

int SampleTileModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rowsFor(m_tiles.size());
}

int SampleTileModel::columnCount(const QModelIndex& parent) const { return parent.isValid() ? 0 : TilesPerRow; }

QVariant SampleTileModel::data(const QModelIndex& index, int role) const
{
    const int tile = tileAt(index);
    if (tile < 0)
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::ToolTipRole:
        return m_tiles.at(tile).caption;
    case SampleIdRole:
        return m_tiles.at(tile).sampleId;
    case HighlightedRole:
        return tile == m_highlighted;
    default:
        return {};
    }
}

Qt::ItemFlags SampleTileModel::flags(const QModelIndex& index) const
{
    return tileAt(index) < 0 ? Qt::NoItemFlags : Qt::ItemIsEnabled;
}

void SampleTileModel::tileChanged(int tile)
{
    if (tile < 0)
        return;
    const QModelIndex cell = indexOfTile(tile);
    emit dataChanged(cell, cell, {HighlightedRole});
}

} // namespace kestrin
