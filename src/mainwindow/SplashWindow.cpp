#include "mainwindow/SplashWindow.h"

#include "mainwindow/KestrinIcon.h"

#include <QCoreApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace kestrin {

SplashWindow::SplashWindow(QWidget* parent)
    : QWidget(parent, Qt::SplashScreen | Qt::WindowStaysOnTopHint)
    , m_status(new QLabel(tr("Starting ... "), this))
    , m_title(new QLabel(tr("Kestrin laboratory middleware"), this))
{
    setObjectName(u"frmSplash"_s);
    setWindowTitle(u"Kestrin"_s);
    m_status->setObjectName(u"Label1"_s);
    m_title->setObjectName(u"Label2"_s);
    QFont titleFont = m_title->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.3);
    m_title->setFont(titleFont);

    auto* picture = new QLabel(this);
    picture->setObjectName(u"Picture1"_s);
    picture->setPixmap(KestrinIcon().pixmap(64, 64));

    auto* texts = new QVBoxLayout;
    texts->addWidget(m_title);
    texts->addWidget(m_status);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(18);
    layout->addWidget(picture);
    layout->addLayout(texts);
    // The window follows its texts: a long station name must not cut the title.
    layout->setSizeConstraint(QLayout::SetFixedSize);
    m_status->setMinimumWidth(300);
}

void SplashWindow::showStatus(const QString& text) { m_status->setText(text); }

void SplashWindow::setTitle(const QString& text) { m_title->setText(text); }

void SplashWindow::yield() { QCoreApplication::processEvents(); }

void SplashWindow::finish() { hide(); }

} // namespace kestrin
