#include "idstation/SampleTileView.h"

#include "idstation/SampleTileModel.h"

#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>
#include <qdrawutil.h>

namespace kestrin {

namespace {

constexpr int TileGap = 3;

// Paints a tile like a raised label with its caption wrapped inside.
class TileDelegate : public QStyledItemDelegate {
public:
    TileDelegate(SampleTileView* view, const SampleTileModel& tiles)
        : QStyledItemDelegate(view)
        , m_view(*view)
        , m_tiles(tiles)
    {
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        const int tile = m_tiles.tileAt(index);
        if (tile < 0)
            return;
        const QRect area = option.rect.adjusted(TileGap, TileGap, -TileGap, -TileGap);
        const QColor fill = m_view.tileColour(tile);
        painter->save();
        painter->fillRect(area, fill);
        qDrawShadePanel(painter, area, option.palette, tile == m_view.pressedTile(), 1);
        painter->setPen(fill == Qt::red ? QColor(Qt::white) : option.palette.color(QPalette::ButtonText));
        painter->setClipRect(area);
        painter->drawText(area.adjusted(4, 2, -4, -2), Qt::AlignCenter | Qt::TextWordWrap, m_tiles.caption(tile));
        painter->restore();
    }

private:
    const SampleTileView& m_view;
    const SampleTileModel& m_tiles;
};

} // namespace

SampleTileView::SampleTileView(SampleTileModel& tiles, QWidget* parent)
    : QTableView(parent)
    , m_tiles(tiles)
{
    setModel(&tiles);
    setItemDelegate(new TileDelegate(this, tiles));
    horizontalHeader()->hide();
    verticalHeader()->hide();
    horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(std::max(49, fontMetrics().height() * 2 + 4 * TileGap + 4));
    setShowGrid(false);
    setSelectionMode(QAbstractItemView::NoSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    setFocusPolicy(Qt::NoFocus);
    setWordWrap(true);
    setMouseTracking(false);
    connect(this, &QAbstractItemView::clicked, this, [this](const QModelIndex& index) {
        if (const int tile = m_tiles.tileAt(index); tile >= 0)
            emit tileClicked(tile);
    });
}

QRect SampleTileView::tileRect(int tile) const
{
    if (tile < 0 || tile >= m_tiles.tileCount())
        return {};
    return visualRect(m_tiles.indexOfTile(tile));
}

void SampleTileView::scrollToTile(int tile)
{
    if (tile >= 0 && tile < m_tiles.tileCount())
        scrollTo(m_tiles.indexOfTile(tile), QAbstractItemView::PositionAtTop);
}

QColor SampleTileView::tileColour(int tile) const
{
    if (tile == m_pressed)
        return Qt::white;
    if (tile == m_tiles.highlightedTile())
        return Qt::red;
    return palette().color(QPalette::Button);
}

void SampleTileView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::LeftButton)
        setPressed(m_tiles.tileAt(indexAt(event->position().toPoint())));
    QTableView::mousePressEvent(event);
}

void SampleTileView::mouseReleaseEvent(QMouseEvent* event)
{
    setPressed(-1);
    QTableView::mouseReleaseEvent(event);
}

void SampleTileView::setPressed(int tile)
{
    if (tile == m_pressed)
        return;
    const int old = m_pressed;
    m_pressed = tile;
    for (const int changed : {old, tile}) {
        if (changed >= 0)
            viewport()->update(tileRect(changed));
    }
}

} // namespace kestrin
