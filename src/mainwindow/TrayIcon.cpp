#include "mainwindow/TrayIcon.h"

#include "FixedTexts.h"
#include "mainwindow/KestrinIcon.h"

#include <QMenu>
#include <QSystemTrayIcon>

using namespace Qt::StringLiterals;

namespace kestrin {

TrayIcon::TrayIcon(const QString& tip, QObject* parent)
    : QObject(parent)
    , m_icon(new QSystemTrayIcon(KestrinIcon(), this))
    , m_menu(new QMenu(mainwindowtexts::kTrayMenu.toString()))
    , m_restore(m_menu->addAction(mainwindowtexts::kRestoreItem.toString()))
    , m_exit(m_menu->addAction(mainwindowtexts::kExitItem.toString()))
{
    setObjectName(u"TrayIcon"_s);
    m_menu->setObjectName(u"mPopupSys"_s);
    m_restore->setObjectName(u"mPopRestore"_s);
    m_exit->setObjectName(u"mPopExit"_s);
    m_icon->setToolTip(tip);
    m_icon->setContextMenu(m_menu);
    connect(m_restore, &QAction::triggered, this, &TrayIcon::viewRequested);
    connect(m_exit, &QAction::triggered, this, &TrayIcon::exitRequested);
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::DoubleClick)
            emit viewRequested();
    });
}

TrayIcon::~TrayIcon() { delete m_menu; }

bool TrayIcon::isAvailable() { return QSystemTrayIcon::isSystemTrayAvailable(); }

void TrayIcon::show() { m_icon->show(); }

void TrayIcon::remove() { m_icon->hide(); }

QString TrayIcon::tip() const { return m_icon->toolTip(); }

} // namespace kestrin
