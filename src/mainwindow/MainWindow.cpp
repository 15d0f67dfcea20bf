#include "mainwindow/MainWindow.h"

#include "FixedTexts.h"
#include "mainwindow/KestrinIcon.h"
#include "mainwindow/TrafficView.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace kestrin {

MainWindow::MainWindow(QWidget* parent)
    : QWidget(parent)
    , m_traffic(new TrafficView(this))
    , m_closeView(new QPushButton(mainwindowtexts::kCloseViewButton.toString(), this))
    , m_stop(new QPushButton(mainwindowtexts::kStopButton.toString(), this))
    , m_monitor(new QPushButton(mainwindowtexts::kRequestMonitorButton.toString(), this))
    , m_status(new QLabel(this))
{
    setObjectName(u"frmComm"_s);
    setWindowIcon(KestrinIcon());
    m_closeView->setObjectName(u"Command1"_s);
    m_stop->setObjectName(u"Command2"_s);
    m_monitor->setObjectName(u"Command3"_s);
    m_status->setObjectName(u"lblStatus"_s);

    auto* ordering = new QLabel(mainwindowtexts::kOrderingLabel.toString(), this);
    ordering->setObjectName(u"Label3"_s);
    auto* laboratory = new QLabel(mainwindowtexts::kLaboratoryLabel.toString(), this);
    laboratory->setObjectName(u"Label4"_s);
    QFont bold = laboratory->font();
    bold.setBold(true);
    ordering->setFont(bold);
    laboratory->setFont(bold);

    auto* sides = new QHBoxLayout;
    sides->addWidget(ordering);
    sides->addStretch();
    sides->addWidget(laboratory);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(m_closeView);
    buttons->addWidget(m_monitor);
    buttons->addStretch();
    buttons->addWidget(m_stop);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(sides);
    layout->addWidget(m_traffic, 1);
    layout->addLayout(buttons);
    layout->addWidget(m_status);
    resize(900, 520);

    connect(m_closeView, &QPushButton::clicked, this, &MainWindow::closeView);
    connect(m_stop, &QPushButton::clicked, this, &MainWindow::stopRequested);
    connect(m_monitor, &QPushButton::clicked, this, &MainWindow::requestMonitorRequested);
}

void MainWindow::showCommunication()
{
    show();
    raise();
    activateWindow();
}

void MainWindow::closeView()
{
    if (m_hidesOnClose)
        hide();
    else
        showMinimized(); // hidden, it could never be shown again
}

void MainWindow::setRequestMonitorAvailable(bool available)
{
    m_monitor->setEnabled(available);
    m_monitor->setToolTip(available ? QString() : tr("The request monitor opens once the database is connected."));
}

void MainWindow::setStatusText(const QString& text) { m_status->setText(text); }

QString MainWindow::statusText() const { return m_status->text(); }

void MainWindow::addTrafficLine(const QString& line) { m_traffic->addLine(line); }

// Closing the window only hides it: the service goes on behind its icon.
void MainWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    if (m_hidesOnClose)
        hide();
    else
        emit stopRequested();
}

} // namespace kestrin
