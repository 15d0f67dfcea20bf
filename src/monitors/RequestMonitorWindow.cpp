#include "monitors/RequestMonitorWindow.h"

#include "FixedTexts.h"
#include "monitors/RequestMonitor.h"

#include <QCloseEvent>
#include <QGridLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableView>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

QTableView* makeGrid(const QString& name, QWidget* parent)
{
    auto* grid = new QTableView(parent);
    grid->setObjectName(name);
    grid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grid->setSelectionBehavior(QAbstractItemView::SelectRows);
    grid->setAlternatingRowColors(true);
    grid->setWordWrap(false);
    grid->verticalHeader()->hide();
    // Fixed row heights: the view never measures rows it has not fetched.
    grid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grid->verticalHeader()->setDefaultSectionSize(grid->fontMetrics().height() + 6);
    grid->horizontalHeader()->setStretchLastSection(true);
    return grid;
}

// Room for a typical sample ID and a test short name; the last column takes the rest.
int sampleIdWidth(const QWidget* grid) { return grid->fontMetrics().horizontalAdvance(u"000000000000"_s) + 16; }
int shortWidth(const QWidget* grid) { return grid->fontMetrics().horizontalAdvance(u"MMMMMM"_s) + 16; }

void bind(QTableView* grid, QAbstractItemModel* model)
{
    QItemSelectionModel* old = grid->selectionModel();
    grid->setModel(model);
    delete old;
    grid->setColumnWidth(0, sampleIdWidth(grid));
    grid->setColumnWidth(1, shortWidth(grid));
}

} // namespace

RequestMonitorWindow::RequestMonitorWindow(RequestMonitor& monitor, QWidget* parent)
    : QWidget(parent)
    , m_monitor(monitor)
    , m_requests(makeGrid(u"DataGrid1"_s, this))
    , m_req2send(makeGrid(u"DataGrid2"_s, this))
    , m_reload(new QPushButton(monitortexts::kReloadButton.toString(), this))
    , m_status(new QLabel(this))
    , m_timer(new QTimer(this))
{
    setObjectName(u"frmReqMonitor"_s);
    setWindowTitle(monitortexts::kMonitorCaption.toString());
    m_reload->setObjectName(u"Command1"_s);
    m_status->setObjectName(u"lblStatus"_s);
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    // Would reload every 10 seconds; switched off, as in older versions.
    m_timer->setObjectName(u"Timer1"_s);
    m_timer->setInterval(10000);

    auto* requestLabel = new QLabel(monitortexts::kRequestHeading.toString(), this);
    requestLabel->setObjectName(u"Label1"_s);
    auto* req2sendLabel = new QLabel(monitortexts::kReq2sendHeading.toString(), this);
    req2sendLabel->setObjectName(u"Label2"_s);

    auto* layout = new QGridLayout(this);
    layout->addWidget(requestLabel, 0, 0);
    layout->addWidget(req2sendLabel, 0, 2);
    layout->addWidget(m_requests, 1, 0);
    layout->addWidget(m_reload, 1, 1, Qt::AlignVCenter);
    layout->addWidget(m_req2send, 1, 2);
    layout->addWidget(m_status, 2, 0, 1, 3);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(2, 2);
    layout->setRowStretch(1, 1);
    const int frame = 2 * m_requests->frameWidth() + 4;
    const int pair = sampleIdWidth(m_requests) + shortWidth(m_requests);
    m_requests->setMinimumWidth(pair + fontMetrics().horizontalAdvance(u"result"_s) + 24 + frame);
    m_req2send->setMinimumWidth(pair + frame);
    resize(sizeHint().width() + 120, 640);

    connect(m_reload, &QPushButton::clicked, &m_monitor, &RequestMonitor::update);
    connect(m_timer, &QTimer::timeout, &m_monitor, &RequestMonitor::update);
    connect(&m_monitor, &RequestMonitor::listsReplaced, this, &RequestMonitorWindow::showLists);
    connect(&m_monitor, &RequestMonitor::statusChanged, m_status, &QLabel::setText);
    showLists();
    m_status->setText(m_monitor.status());
}

void RequestMonitorWindow::open()
{
    if (!isVisible()) {
        m_monitor.update();
        show();
        m_reload->setFocus();
    }
    raise();
    activateWindow();
}

void RequestMonitorWindow::showLists()
{
    bind(m_requests, m_monitor.requests());
    bind(m_req2send, m_monitor.req2send());
}

// A closed monitor holds no lists and no connection; the next opening reads afresh.
void RequestMonitorWindow::closeEvent(QCloseEvent* event)
{
    m_timer->stop();
    m_monitor.release();
    QWidget::closeEvent(event);
}

} // namespace kestrin
