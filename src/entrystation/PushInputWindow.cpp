#include "entrystation/PushInputWindow.h"

#include "FixedTexts.h"
#include "core/TextChecks.h"
#include "entrystation/EntrySession.h"
#include "entrystation/NamePicturesWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

namespace kestrin {

namespace {

const QColor kLightBlue(192, 192, 255);
const QColor kRed(255, 0, 0);
const char* const kTextKey = "tag"; // the caption key of a control, as the laboratory's texts name it
const char* const kRow = "index";   // the history row of a label
// How soon a waiting entry is tried again: soon while another program holds the database,
// later when the database failed.
constexpr int kRetryBusyMs = 200;
constexpr int kRetryFailedMs = 3000;
// What the status line names when a typed text is refused.
const QString kUncleanIdCharacters = u"\\ + * $ \u00A7 '"_s;
const QString kUncleanResultCharacters = u"\\ * $ \u00A7 '"_s;

const QString kButtonStyle =
    u"QPushButton { background-color: rgb(192, 192, 255); border: 1px solid rgb(112, 112, 176); "
    u"border-radius: 3px; padding: 8px 12px; }"
    u"QPushButton:pressed { background-color: rgb(160, 160, 232); }"
    u"QPushButton:focus { border: 2px solid rgb(64, 64, 160); }"_s;

QFont historyFont(QFont font)
{
    font.setPointSize(14);
    font.setBold(true);
    return font;
}

void keepPlaceWhenHidden(QWidget* widget)
{
    QSizePolicy policy = widget->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    widget->setSizePolicy(policy);
}

void setShown(QWidget* widget, bool shown)
{
    widget->setEnabled(shown);
    widget->setVisible(shown);
}

void setTextColour(QWidget* widget, const QColor& colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

} // namespace

PushInputWindow::PushInputWindow(std::unique_ptr<EntrySession> session, QWidget* parent)
    : QWidget(parent)
    , m_session(std::move(session))
    , m_showNamePictures([](QWidget* owner) {
        NamePicturesWindow window(owner);
        window.exec();
    })
{
    setObjectName(u"frmPushInput"_s);
    setWindowTitle(entrytexts::kEntryDesignCaption.toString());
    m_retry = new QTimer(this);
    m_retry->setSingleShot(true);
    connect(m_retry, &QTimer::timeout, this, &PushInputWindow::storeWaiting);
    buildControls();
    buildLayout();

    // As loading leaves it: waiting for a user, no history, the counter at 0.
    for (int i = 0; i < EntryHistory::kRows; ++i) {
        setShown(m_historySampleId[i], false);
        setShown(m_historyResult[i], false);
        setShown(m_historyMarker[i], false);
    }
    setShown(m_clearSession, false);
    setShown(m_sampleId, false);
    setShown(m_result, false);
    m_sampleIdHeading->hide();
    m_resultHeading->hide();
    setTextColour(m_selectUser, Qt::blue);
    setWindowTitle(entrytexts::EntryCaption(m_session->stationId()));
    applyCaptionTexts();
    m_selectUser->setText(m_session->captions().value(EntrySession::kPleaseSelectUserKey));
    m_parameter->setText(m_session->parameterCaption());
    m_device->setText(m_session->stationId());
    m_counter->setText(u"0"_s);
    m_user->addItems(m_session->users());
    m_user->setCurrentIndex(-1);
    m_user->setFocus();
}

PushInputWindow::~PushInputWindow() = default;

void PushInputWindow::buildControls()
{
    const auto label = [this](const char16_t* name, QStringView caption) {
        auto* l = new QLabel(caption.toString(), this);
        l->setObjectName(QString::fromUtf16(name));
        return l;
    };
    m_selectUser = label(u"lblSelectUser", u"@SelectUser");
    m_selectUser->setProperty(kTextKey, EntrySession::kSelectUserKey);
    m_selectUser->setWordWrap(true);
    m_user = new QComboBox(this);
    m_user->setObjectName(u"cbUser"_s);
    m_user->setMinimumContentsLength(10);
    m_parameter = label(u"lblParameter", u"@Parameter");
    m_parameter->setWordWrap(true);
    m_device = label(u"lblDevice", u"@DeviceID");
    m_counterCaption = label(u"lblSampleCTRLabel", u"@SampleCounter");
    m_counterCaption->setProperty(kTextKey, EntrySession::kSampleCounterKey);
    m_counter = label(u"lblSampleCTR", u"@SessionSampleCTR");
    QFont bold = m_parameter->font();
    bold.setBold(true);
    m_parameter->setFont(bold);
    QFont counterFont = historyFont(m_counter->font());
    counterFont.setPointSize(20);
    m_counter->setFont(counterFont);

    m_clearSession = new QPushButton(u"@Clear Session"_s, this);
    m_clearSession->setObjectName(u"cmdClearSession"_s);
    m_clearSession->setProperty(kTextKey, EntrySession::kClearSessionKey);
    m_close = new QPushButton(u"@Log Out / Close"_s, this);
    m_close->setObjectName(u"cmdClose"_s);
    m_close->setProperty(kTextKey, EntrySession::kCloseKey);
    for (QPushButton* button : {m_clearSession, m_close}) {
        button->setStyleSheet(kButtonStyle);
        button->setAutoDefault(false);
        keepPlaceWhenHidden(button);
    }
    connect(m_clearSession, &QPushButton::clicked, this, [this] {
        if (clearSession())
            resetEntryFields();
    });
    connect(m_close, &QPushButton::clicked, this, [this] { requestClose(); });
    connect(m_user, &QComboBox::activated, this, &PushInputWindow::userChosen);
    m_user->installEventFilter(this);

    m_sampleIdHeading = label(u"lblSampleID", u"@Sample ID");
    m_sampleIdHeading->setProperty(kTextKey, EntrySession::kSampleIdKey);
    m_resultHeading = label(u"lblResult", u"@Result");
    m_resultHeading->setProperty(kTextKey, EntrySession::kResultKey);
    m_sampleId = new QLineEdit(this);
    m_sampleId->setObjectName(u"txtSampleID"_s);
    m_result = new QLineEdit(this);
    m_result->setObjectName(u"txtResult"_s);
    for (QLineEdit* box : {m_sampleId, m_result}) {
        box->setFont(historyFont(box->font()));
        box->installEventFilter(this);
        keepPlaceWhenHidden(box);
    }
    for (QLabel* heading : {m_sampleIdHeading, m_resultHeading}) {
        heading->setFont(bold);
        keepPlaceWhenHidden(heading);
    }

    for (int i = 0; i < EntryHistory::kRows; ++i) {
        m_historySampleId[i] = label(u"lblSampleID1", u"@SampleID1");
        m_historyResult[i] = label(u"lblResult1", u"@Result1");
        m_historyMarker[i] = label(u"lblDEL1", entrytexts::kDeleteMarker);
        for (QLabel* l : {m_historySampleId[i], m_historyResult[i], m_historyMarker[i]}) {
            l->setProperty(kRow, i);
            l->setAlignment(Qt::AlignCenter);
            l->setFont(historyFont(l->font()));
            l->setMinimumHeight(30);
            keepPlaceWhenHidden(l);
        }
        // A long ID is cut, the window keeps its size.
        m_historySampleId[i]->setMinimumWidth(1);
        m_historyResult[i]->setMinimumWidth(1);
        m_historyResult[i]->setAutoFillBackground(true);
        QLabel* marker = m_historyMarker[i];
        marker->setAutoFillBackground(true);
        QPalette face = marker->palette();
        face.setColor(QPalette::Window, kLightBlue);
        marker->setPalette(face);
        marker->setFixedWidth(36);
        marker->setCursor(Qt::PointingHandCursor);
        marker->setToolTip(tr("Delete this entry"));
        marker->installEventFilter(this);
    }

    m_status = label(u"lblStatus", u"");
    m_status->setWordWrap(true);
    // However long a message, the window keeps its size.
    m_status->setMinimumWidth(1);
    setTextColour(m_status, QColor(160, 0, 0));
    setTabOrder(m_sampleId, m_result);
}

void PushInputWindow::buildLayout()
{
    auto* left = new QVBoxLayout;
    left->addWidget(m_selectUser);
    left->addWidget(m_user);
    left->addSpacing(18);
    left->addWidget(m_parameter);
    left->addWidget(m_device);
    left->addSpacing(18);
    left->addWidget(m_counterCaption);
    left->addWidget(m_counter);
    left->addStretch(1);
    left->addWidget(m_clearSession);
    left->addWidget(m_close);

    auto* right = new QGridLayout;
    right->setHorizontalSpacing(8);
    right->addWidget(m_sampleIdHeading, 0, 0);
    right->addWidget(m_resultHeading, 0, 1);
    right->addWidget(m_sampleId, 1, 0);
    right->addWidget(m_result, 1, 1);
    for (int i = 0; i < EntryHistory::kRows; ++i) {
        right->addWidget(m_historySampleId[i], i + 2, 0);
        right->addWidget(m_historyResult[i], i + 2, 1);
        right->addWidget(m_historyMarker[i], i + 2, 2);
    }
    right->setRowMinimumHeight(1, 44);
    right->setColumnStretch(0, 3);
    right->setColumnStretch(1, 2);
    right->setRowStretch(EntryHistory::kRows + 2, 1);

    auto* columns = new QHBoxLayout;
    auto* leftPanel = new QWidget(this);
    leftPanel->setLayout(left);
    leftPanel->setFixedWidth(240);
    columns->addWidget(leftPanel);
    columns->addSpacing(16);
    columns->addLayout(right, 1);
    auto* outer = new QVBoxLayout(this);
    outer->addLayout(columns, 1);
    outer->addWidget(m_status);
    resize(900, 600);
}

void PushInputWindow::applyCaptionTexts()
{
    const auto& captions = m_session->captions();
    for (QWidget* control : findChildren<QWidget*>()) {
        const QVariant key = control->property(kTextKey);
        if (!key.isValid())
            continue;
        const QString caption = captions.value(key.toInt(), entrytexts::kMissingCaption.toString());
        if (auto* l = qobject_cast<QLabel*>(control))
            l->setText(caption);
        else if (auto* button = qobject_cast<QPushButton*>(control))
            button->setText(caption);
    }
}

void PushInputWindow::userChosen(int index)
{
    const ActionResult chosen = m_session->chooseUser(m_user->itemText(index));
    if (!chosen.done()) {
        m_user->setCurrentIndex(m_userIndex);
        if (!chosen.message.isEmpty())
            showStatus(chosen.message);
        return;
    }
    m_userIndex = index;
    // From now on the list changes only when opened on purpose: a stray key must not switch users.
    m_user->setFocusPolicy(Qt::ClickFocus);
    openEntry();
}

void PushInputWindow::openEntry()
{
    setShown(m_sampleId, true);
    setShown(m_result, true);
    setTextColour(m_selectUser, Qt::black);
    m_selectUser->setText(m_session->captions().value(EntrySession::kSelectUserKey));
    m_sampleIdHeading->show();
    m_resultHeading->show();
    setShown(m_clearSession, true);
    showStatus({});
    resetEntryFields();
}

// Once a user is chosen, the user list takes only the keys that open it.
bool PushInputWindow::userBoxTakes(const QEvent* event) const
{
    if (m_userIndex < 0)
        return true;
    if (event->type() == QEvent::Wheel)
        return false;
    if (event->type() != QEvent::KeyPress)
        return true;
    const auto* key = static_cast<const QKeyEvent*>(event);
    const bool alt = key->modifiers() & Qt::AltModifier;
    switch (key->key()) {
    case Qt::Key_F4:
    case Qt::Key_Space:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Escape:
        return true;
    case Qt::Key_Down:
    case Qt::Key_Up:
        return alt;
    default:
        return false;
    }
}

bool PushInputWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_user)
        return !userBoxTakes(event);
    if (event->type() == QEvent::KeyPress && (watched == m_sampleId || watched == m_result)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const bool enter = key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
        const bool modified = key->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier);
        if (enter && !modified) {
            if (watched == m_sampleId)
                sampleIdEntered();
            else
                resultEntered();
            return true;
        }
        if (key->key() == Qt::Key_Escape) {
            resetEntryFields();
            return true;
        }
        return false;
    }
    if (event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const QVariant row = watched->property(kRow);
        if (mouse->button() == Qt::LeftButton && row.isValid() && watched == m_historyMarker[row.toInt()]) {
            if (deleteHistoryRow(row.toInt()))
                resetEntryFields();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

PushInputWindow::Entered PushInputWindow::entered(QLineEdit* box, bool (*isClean)(QStringView), const QString& refusal)
{
    const CommandOutcome command = handleCommandWord(box->text());
    if (command == CommandOutcome::Failed)
        box->selectAll(); // the next scan replaces the word, not joins it
    if (command == CommandOutcome::Failed || command == CommandOutcome::Closing)
        return {command, std::nullopt};
    const QString text = box->text();
    if (!isClean(text)) {
        box->selectAll();
        showStatus(refusal);
        return {command, std::nullopt};
    }
    return {command, text};
}

void PushInputWindow::sampleIdEntered()
{
    const Entered entry = entered(m_sampleId, IsCleanText,
                                  tr("A sample ID cannot hold a blank or any of %1 .").arg(kUncleanIdCharacters));
    if (!entry.text)
        return;
    if (entry.command == CommandOutcome::NotACommand)
        showStatus(m_session->waitingMessage());
    if (!entry.text->isEmpty())
        m_result->setFocus();
}

void PushInputWindow::resultEntered()
{
    const Entered entry = entered(m_result, IsCleanResult,
                                  tr("A result cannot hold a blank or any of %1 .").arg(kUncleanResultCharacters));
    if (!entry.text || entry.text->isEmpty())
        return;
    // Stored before the boxes empty; what a scanner sends meanwhile waits in the event queue
    // and lands in the emptied sample ID box. An entry that must wait for the database leaves
    // the boxes whole, so that what comes after it starts the next entry.
    const ActionResult stored = m_session->storeEntry(m_sampleId->text(), *entry.text);
    switch (stored.outcome) {
    case ActionOutcome::Done:
        showHistory();
        showStatus(m_session->waitingMessage());
        break;
    case ActionOutcome::Waiting:
        waitFor(stored);
        break;
    case ActionOutcome::Refused:
    case ActionOutcome::Failed:
        m_result->selectAll();
        showStatus(stored.message);
        return;
    }
    resetEntryFields();
}

void PushInputWindow::waitFor(const ActionResult& result)
{
    showStatus(result.message);
    if (!m_retry->isActive())
        m_retry->start(result.outcome == ActionOutcome::Waiting ? kRetryBusyMs : kRetryFailedMs);
}

void PushInputWindow::storeWaiting()
{
    const ActionResult stored = m_session->storeWaiting();
    if (!stored.done()) {
        waitFor(stored);
        return;
    }
    showHistory();
    showStatus(m_session->waitingMessage());
    if (!m_session->waiting().isEmpty())
        m_retry->start(0);
}

bool PushInputWindow::requestClose()
{
    if (const qsizetype waiting = m_session->waiting().size(); waiting > 0) {
        showStatus(
            waiting == 1
                ? tr("1 entry still waits for the database; close the station once it is stored.")
                : tr("%1 entries still wait for the database; close the station once they are stored.").arg(waiting));
        return false;
    }
    emit closeRequested();
    return true;
}

PushInputWindow::CommandOutcome PushInputWindow::handleCommandWord(const QString& text)
{
    const Command command = ParseCommandWord(text);
    switch (command.word) {
    case CommandWord::None:
        return CommandOutcome::NotACommand;
    case CommandWord::Esc:
        break;
    case CommandWord::Cls:
        if (!clearSession())
            return CommandOutcome::Failed;
        break;
    case CommandWord::End:
        return requestClose() ? CommandOutcome::Closing : CommandOutcome::Failed;
    case CommandWord::Del:
        if (command.row < 0) {
            showStatus(NoHistoryEntryText(command.rowName));
            break;
        }
        if (!deleteHistoryRow(command.row))
            return CommandOutcome::Failed;
        break;
    case CommandWord::Pic:
        m_showNamePictures(this);
        activateWindow(); // the next scan belongs here again
        break;
    }
    resetEntryFields();
    return CommandOutcome::Done;
}

bool PushInputWindow::deleteHistoryRow(int row) { return showOutcome(m_session->deleteHistoryRow(row)); }

bool PushInputWindow::clearSession() { return showOutcome(m_session->clearSession()); }

bool PushInputWindow::showOutcome(const ActionResult& result)
{
    showStatus(result.message);
    if (result.outcome == ActionOutcome::Failed || result.outcome == ActionOutcome::Waiting)
        return false;
    showHistory();
    return true;
}

void PushInputWindow::resetEntryFields()
{
    m_sampleId->clear();
    m_result->clear();
    m_sampleId->setFocus();
}

void PushInputWindow::showHistory()
{
    const QColor buttonFace = QWidget::palette().color(QPalette::Button);
    const EntryHistory& history = m_session->history();
    for (int i = 0; i < EntryHistory::kRows; ++i) {
        const HistoryRow& row = history.row(i);
        setShown(m_historySampleId[i], row.inUse);
        setShown(m_historyResult[i], row.inUse);
        setShown(m_historyMarker[i], row.markerShown);
        m_historySampleId[i]->setText(row.sampleId);
        QLabel* result = m_historyResult[i];
        result->setText(row.result);
        QPalette palette = result->palette();
        palette.setColor(QPalette::Window, row.colour.redBackground ? kRed : buttonFace);
        palette.setColor(QPalette::WindowText, row.colour.redText ? kRed : QColor(Qt::black));
        result->setPalette(palette);
    }
    m_counter->setText(QString::number(m_session->sampleCount()));
}

void PushInputWindow::showStatus(const QString& message) { m_status->setText(message); }

// Closing the frame ends the program as "Log Out / Close" does: the station is all there is.
void PushInputWindow::closeEvent(QCloseEvent* event)
{
    event->ignore();
    requestClose();
}

} // namespace kestrin
