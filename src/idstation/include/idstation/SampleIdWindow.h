#pragma once

#include "idstation/StationSelection.h"

#include <QWidget>

#include <array>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QStatusBar;

namespace kestrin {

class SampleIdStation;
class SampleTileView;

// frmSetID, "ACT Analyser Kommunikation": the control lists with their level buttons, the
// sample tiles, and the input box a barcode scanner types into. Whatever else the operator
// touches, the input focus goes back to the input box with its text selected, and keys typed
// on the tile area or its scroll bar reach it, so a scan is never lost nor joined to a stray
// character. Alt with a button's underlined letter presses it (LOW, MED, HIGH, ignore,
// refresh) without taking the focus.
class SampleIdWindow : public QWidget {
    Q_OBJECT
public:
    explicit SampleIdWindow(SampleIdStation& station, QWidget* parent = nullptr);

    // What "Nächste Messung ignorieren" does.
    void ignore();

    SampleTileView* tileView() const { return m_tiles; }

signals:
    // The operator closed the window: the program ends.
    void closed();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    void fillControlLists();
    void showSelection();
    void showStatus(const QString& text);
    void scanEntered();
    void backToInput();
    // After a click anywhere but the input box: the focus back there, its text selected.
    void afterClick();

    SampleIdStation& m_station;
    std::array<QComboBox*, 3> m_controls{};
    std::array<QPushButton*, 3> m_levels{};
    SampleTileView* m_tiles;
    QLineEdit* m_input;
    QPushButton* m_ignore;
    QPushButton* m_rebuild;
    QLabel* m_notice; // a scanned ID that no tile shows
    QStatusBar* m_statusBar;
    QLabel* m_status;
};

} // namespace kestrin
