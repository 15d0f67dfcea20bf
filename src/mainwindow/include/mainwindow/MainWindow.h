#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace kestrin {

class TrafficView;

// frmComm: the service's window. It stays hidden behind the notification-area icon and
// shows the traffic of the communication log, newest line first.
class MainWindow : public QWidget {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);

    TrafficView* traffic() const { return m_traffic; }
    // The window is shown from the icon; bring it to the front.
    void showCommunication();
    void setRequestMonitorAvailable(bool available);
    // Without a notification area the window cannot hide: closing it stops the program, and
    // "Close View" minimises it.
    void setHidesOnClose(bool hides) { m_hidesOnClose = hides; }
    // The line under the traffic: the database and the last cycles.
    void setStatusText(const QString& text);
    QString statusText() const;

public slots:
    void addTrafficLine(const QString& line);
    // "Close View": out of sight, the service goes on.
    void closeView();

signals:
    void stopRequested();           // "Stop Communication"
    void requestMonitorRequested(); // "Request Monitor"

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    TrafficView* m_traffic;
    QPushButton* m_closeView;
    QPushButton* m_stop;
    QPushButton* m_monitor;
    QLabel* m_status;
    bool m_hidesOnClose = true;
};

} // namespace kestrin
