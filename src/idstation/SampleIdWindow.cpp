#include "idstation/SampleIdWindow.h"

#include "FixedTexts.h"
#include "idstation/SampleIdStation.h"
#include "idstation/SampleTileView.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QStatusBar>
#include <QVBoxLayout>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

constexpr std::array<ControlLevel, 3> Levels{ControlLevel::Low, ControlLevel::Med, ControlLevel::High};

// The level buttons are flat like the tiles, so that red means the same on both.
QString levelStyle(bool selected)
{
    return selected ? u"QPushButton { background-color: #ff0000; color: white; border: 1px solid #800000;"
                      u" padding: 5px 16px; }"_s
                    : u"QPushButton { background-color: palette(button); border: 1px solid palette(dark);"
                      u" padding: 5px 16px; }"_s;
}

QPushButton* plainButton(const QString& caption, const QString& name, QWidget* parent)
{
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    // A button never keeps the focus: it belongs to the input box.
    button->setFocusPolicy(Qt::NoFocus);
    return button;
}

} // namespace

SampleIdWindow::SampleIdWindow(SampleIdStation& station, QWidget* parent)
    : QWidget(parent)
    , m_station(station)
    , m_tiles(new SampleTileView(station.tiles(), this))
    , m_input(new QLineEdit(this))
    , m_ignore(plainButton(u'&' + idstationtexts::kIgnoreNextButton, u"Command4"_s, this))
    , m_rebuild(plainButton(u'&' + idstationtexts::kRebuildButton, u"Command5"_s, this))
    , m_notice(new QLabel(this))
    , m_statusBar(new QStatusBar(this))
    , m_status(new QLabel(this))
{
    setObjectName(u"frmSetID"_s);
    setWindowTitle(idstationtexts::kStationCaption.toString());

    auto* controls = new QGroupBox(idstationtexts::kControlsFrame.toString(), this);
    controls->setObjectName(u"Frame2"_s);
    auto* controlRow = new QHBoxLayout(controls);
    for (const ControlLevel level : Levels) {
        const auto i = size_t(level);
        m_controls[i] = new QComboBox(controls);
        m_controls[i]->setObjectName(u"Combo%1"_s.arg(i + 1));
        m_controls[i]->setEditable(true);
        m_controls[i]->setInsertPolicy(QComboBox::NoInsert);
        m_controls[i]->setMinimumContentsLength(14);
        // Typing a control ID takes a click into the list's text; Tab never lands there.
        m_controls[i]->setFocusPolicy(Qt::ClickFocus);
        m_controls[i]->installEventFilter(this);
        m_controls[i]->view()->window()->installEventFilter(this);
        m_levels[i] = plainButton(u"&"_s + ControlLevelName(level), u"Command%1"_s.arg(i + 1), controls);
        controlRow->addWidget(m_controls[i]);
        controlRow->addWidget(m_levels[i]);
        controlRow->addSpacing(16);
        connect(m_levels[i], &QPushButton::clicked, this, [this, level, i] {
            m_station.selectControl(level, m_controls[i]->currentText());
            afterClick();
        });
    }
    controlRow->addStretch();

    auto* samples = new QGroupBox(idstationtexts::kSamplesFrame.toString(), this);
    samples->setObjectName(u"Frame1"_s);
    auto* sampleArea = new QVBoxLayout(samples);
    sampleArea->addWidget(m_tiles);
    m_tiles->setObjectName(u"Picture2"_s);
    m_tiles->verticalScrollBar()->setObjectName(u"VScroll1"_s);
    m_tiles->verticalScrollBar()->setFocusPolicy(Qt::NoFocus);
    for (QWidget* w : {static_cast<QWidget*>(m_tiles), m_tiles->viewport(),
                       static_cast<QWidget*>(m_tiles->verticalScrollBar()), static_cast<QWidget*>(samples)}) {
        w->setFocusProxy(m_input);
        w->installEventFilter(this);
    }

    auto* label = new QLabel(idstationtexts::kSampleNumberLabel.toString(), this);
    label->setObjectName(u"Label1"_s);
    label->setBuddy(m_input);
    m_input->setObjectName(u"zeingabe"_s);
    QFont large = m_input->font();
    large.setPointSizeF(large.pointSizeF() * 1.5);
    m_input->setFont(large);
    m_input->setMinimumWidth(m_input->fontMetrics().horizontalAdvance(u'0') * 22);
    auto* inputRow = new QHBoxLayout;
    inputRow->addWidget(label);
    inputRow->addWidget(m_input);
    inputRow->addStretch();
    inputRow->addWidget(m_ignore);
    inputRow->addWidget(m_rebuild);

    // Read from a step away at the analyser, and there until the next scan or selection.
    m_notice->setObjectName(u"lblNotice"_s);
    m_notice->setWordWrap(true);
    m_notice->setFont(large);
    m_notice->setStyleSheet(u"QLabel { background-color: #ffd84d; color: black; font-weight: bold;"
                            u" border: 1px solid #806000; padding: 6px; }"_s);
    m_notice->hide();
    for (QPushButton* button : {m_levels[0], m_levels[1], m_levels[2], m_ignore, m_rebuild})
        button->installEventFilter(this);

    m_status->setObjectName(u"lblStatus"_s);
    m_status->setWordWrap(true);
    m_status->setStyleSheet(u"color: #b00000; font-weight: bold;"_s);
    m_statusBar->setObjectName(u"StatusBar"_s);
    m_statusBar->setSizeGripEnabled(false);
    m_statusBar->addWidget(m_status, 1);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(controls);
    layout->addWidget(samples, 1);
    layout->addLayout(inputRow);
    layout->addWidget(m_notice);
    layout->addWidget(m_statusBar);
    resize(900, 640);

    connect(m_tiles, &SampleTileView::tileClicked, this, [this](int tile) {
        m_station.selectTile(tile);
        afterClick();
    });
    connect(m_tiles->verticalScrollBar(), &QScrollBar::valueChanged, this, &SampleIdWindow::backToInput);
    connect(m_tiles->verticalScrollBar(), &QScrollBar::actionTriggered, this, &SampleIdWindow::afterClick);
    connect(m_input, &QLineEdit::returnPressed, this, &SampleIdWindow::scanEntered);
    connect(m_ignore, &QPushButton::clicked, this, &SampleIdWindow::ignore);
    connect(m_rebuild, &QPushButton::clicked, this, [this] {
        m_station.rebuild();
        afterClick();
    });
    connect(&station, &SampleIdStation::controlListsRead, this, &SampleIdWindow::fillControlLists);
    connect(&station.selection(), &StationSelection::changed, this, &SampleIdWindow::showSelection);
    connect(&station, &SampleIdStation::statusChanged, this, &SampleIdWindow::showStatus);
    connect(&station, &SampleIdStation::notice, this, [this](const QString& text) {
        m_notice->setText(text);
        m_notice->show();
    });

    fillControlLists();
    showSelection();
    showStatus(station.statusText());
    m_input->setFocus();
}

void SampleIdWindow::ignore()
{
    m_station.ignore();
    afterClick();
}

void SampleIdWindow::mousePressEvent(QMouseEvent* event)
{
    QWidget::mousePressEvent(event);
    afterClick();
}

void SampleIdWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    emit closed();
}

// Keys that reach the tile area or its scroll bar belong to the input box. A control list
// gives the focus back once its drop-down closes or its typed text ends with Enter or Escape,
// so that the next scan cannot land in it.
bool SampleIdWindow::eventFilter(QObject* watched, QEvent* event)
{
    // A button's key (Alt and its underlined letter) acts at once, not after the pressed look.
    if (event->type() == QEvent::Shortcut && qobject_cast<QPushButton*>(watched)) {
        static_cast<QPushButton*>(watched)->click();
        return true;
    }
    const auto list = std::find_if(m_controls.cbegin(), m_controls.cend(),
                                   [watched](QComboBox* c) { return watched == c || watched == c->view()->window(); });
    if (list != m_controls.cend()) {
        const bool dropDownClosed = event->type() == QEvent::Hide && watched != *list;
        const int key = event->type() == QEvent::KeyPress ? static_cast<QKeyEvent*>(event)->key() : 0;
        // Queued: the combo box finishes its own handling of the key or the closing first.
        if (dropDownClosed ||
            (watched == *list && (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Escape)))
            QMetaObject::invokeMethod(this, &SampleIdWindow::afterClick, Qt::QueuedConnection);
        return QWidget::eventFilter(watched, event);
    }
    switch (event->type()) {
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
        backToInput();
        QCoreApplication::sendEvent(m_input, event);
        return true;
    default:
        return QWidget::eventFilter(watched, event);
    }
}

// The first entry of each list is offered; what the operator typed meanwhile stays.
void SampleIdWindow::fillControlLists()
{
    for (const ControlLevel level : Levels) {
        QComboBox* combo = m_controls[size_t(level)];
        const QString typed = combo->currentText();
        const QStringList& ids = m_station.controlLists()[size_t(level)];
        combo->clear();
        combo->addItems(ids);
        combo->setEditText(typed.isEmpty() ? ids.value(0) : typed);
    }
}

void SampleIdWindow::showSelection()
{
    m_notice->hide();
    const std::optional<ControlLevel> chosen = m_station.selection().level();
    for (const ControlLevel level : Levels)
        m_levels[size_t(level)]->setStyleSheet(levelStyle(chosen == level));
}

void SampleIdWindow::showStatus(const QString& text)
{
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
}

void SampleIdWindow::scanEntered()
{
    m_notice->hide();
    const int tile = m_station.scan(m_input->text());
    m_tiles->scrollToTile(tile);
    m_input->clear();
    backToInput();
}

void SampleIdWindow::backToInput()
{
    if (!m_input->hasFocus())
        m_input->setFocus(Qt::OtherFocusReason);
}

// A stray character left in the box is replaced by the next scan instead of joining it.
void SampleIdWindow::afterClick()
{
    backToInput();
    m_input->selectAll();
}

} // namespace kestrin
