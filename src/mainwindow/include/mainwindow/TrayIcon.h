#pragma once

#include <QObject>

class QMenu;
class QAction;
class QSystemTrayIcon;

namespace kestrin {

// The notification-area icon with its tip and its menu mPopupSys ("&View Communication",
// "&Exit"). Where the desktop has no notification area, isAvailable() says so.
class TrayIcon : public QObject {
    Q_OBJECT
public:
    TrayIcon(const QString& tip, QObject* parent = nullptr);
    ~TrayIcon() override;

    static bool isAvailable();
    void show();
    void remove();
    QString tip() const;
    QMenu* menu() const { return m_menu; }
    QAction* restoreAction() const { return m_restore; }
    QAction* exitAction() const { return m_exit; }

signals:
    void viewRequested();
    void exitRequested();

private:
    QSystemTrayIcon* m_icon;
    QMenu* m_menu;
    QAction* m_restore;
    QAction* m_exit;
};

} // namespace kestrin
