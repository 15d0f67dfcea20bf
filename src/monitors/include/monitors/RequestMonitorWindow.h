#pragma once

#include <QWidget>

class QLabel;
class QPushButton;
class QTableView;
class QTimer;

namespace kestrin {

class RequestMonitor;

// frmReqMonitor: the request monitor's two lists side by side, read-only, with RELOAD
// between them and a status line under them.
class RequestMonitorWindow : public QWidget {
    Q_OBJECT
public:
    explicit RequestMonitorWindow(RequestMonitor& monitor, QWidget* parent = nullptr);

    // Shows the window with fresh lists, or brings it to the front when it is open.
    void open();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void showLists();

    RequestMonitor& m_monitor;
    QTableView* m_requests;
    QTableView* m_req2send;
    QPushButton* m_reload;
    QLabel* m_status;
    QTimer* m_timer;
};

} // namespace kestrin
