#pragma once

#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <optional>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;

namespace kestrin {

class EntrySession;
struct ActionResult;

// frmPushInput: the manual result entry station. A worker chooses a user, then types or scans
// pairs of sample ID and result; both boxes also take the command words ESC, CLS, END, DELn
// and PIC. The window shows a loaded EntrySession and hands it what was typed; trouble is
// said in the status line, never in a box that would stop the scanner.
class PushInputWindow : public QWidget {
    Q_OBJECT
public:
    // `session` has been loaded.
    explicit PushInputWindow(std::unique_ptr<EntrySession> session, QWidget* parent = nullptr);
    ~PushInputWindow() override;

    EntrySession& session() const { return *m_session; }
    // How "PIC" shows the name pictures window, modally (tests put their own in).
    void setNamePicturesDialog(std::function<void(QWidget* parent)> show) { m_showNamePictures = std::move(show); }

signals:
    // "Log Out / Close", the command word END, or the window's close button: the program ends.
    void closeRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    enum class CommandOutcome { NotACommand, Done, Failed, Closing };
    // What Enter in an input box gave: its text, none after a command word that failed or
    // closes the window, or a text the box refuses (which is then selected, the reason shown).
    struct Entered {
        CommandOutcome command;
        std::optional<QString> text;
    };

    void buildControls();
    void buildLayout();
    void applyCaptionTexts();
    void userChosen(int index);
    void openEntry();
    Entered entered(QLineEdit* box, bool (*isClean)(QStringView), const QString& refusal);
    void sampleIdEntered();
    void resultEntered();
    CommandOutcome handleCommandWord(const QString& text);
    // Each false when the database failed, and what was typed stays.
    bool deleteHistoryRow(int row);
    bool clearSession();
    bool showOutcome(const ActionResult& result);
    void resetEntryFields();
    void showHistory();
    void showStatus(const QString& message);
    void storeWaiting();
    void waitFor(const ActionResult& result);
    // False while entries wait for the database: closing would lose them.
    bool requestClose();
    bool userBoxTakes(const QEvent* event) const;

    std::unique_ptr<EntrySession> m_session;
    std::function<void(QWidget*)> m_showNamePictures;
    int m_userIndex = -1; // the entry of cbUser of the user entries are stored for

    QLabel* m_selectUser = nullptr;
    QComboBox* m_user = nullptr;
    QLabel* m_parameter = nullptr;
    QLabel* m_device = nullptr;
    QLabel* m_counterCaption = nullptr;
    QLabel* m_counter = nullptr;
    QPushButton* m_clearSession = nullptr;
    QPushButton* m_close = nullptr;
    QLabel* m_sampleIdHeading = nullptr;
    QLabel* m_resultHeading = nullptr;
    QLineEdit* m_sampleId = nullptr;
    QLineEdit* m_result = nullptr;
    std::array<QLabel*, 8> m_historySampleId{};
    std::array<QLabel*, 8> m_historyResult{};
    std::array<QLabel*, 8> m_historyMarker{};
    QLabel* m_status = nullptr;
    QTimer* m_retry = nullptr; // the next try of the entries that wait for the database
};

} // namespace kestrin
