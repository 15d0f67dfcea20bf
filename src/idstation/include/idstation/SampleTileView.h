#pragma once

#include <QTableView>

namespace kestrin {

class SampleTileModel;

// The tile area (Picture2 with its scroll bar VScroll1): one cell per tile, five a row. Only
// the visible cells are painted, so thousands of tiles cost no more than a screenful. A
// tile is button-face coloured, red while its sample is selected and white while pressed.
class SampleTileView : public QTableView {
    Q_OBJECT
public:
    explicit SampleTileView(SampleTileModel& tiles, QWidget* parent = nullptr);

    // A tile's rectangle in the viewport, empty for no tile.
    QRect tileRect(int tile) const;
    // Scrolls so that the tile's row is the top row of the viewport (or as near as the end of
    // the list allows).
    void scrollToTile(int tile);
    // The tile being pressed, -1 for none.
    int pressedTile() const { return m_pressed; }
    QColor tileColour(int tile) const;

signals:
    void tileClicked(int tile);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void setPressed(int tile);

    SampleTileModel& m_tiles;
    int m_pressed = -1;
};

} // namespace kestrin
