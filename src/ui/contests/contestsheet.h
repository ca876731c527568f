#pragma once

#include <QDialog>
#include <QList>
#include <QPointer>

#include <atomic>
#include <functional>
#include <memory>

#include "contests/contestservice.h"

class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;
class QTextBrowser;

namespace kalvora {

class CredentialStore;
class Flight;
class HttpClient;
class LongTimeSheet;
class ObjectContext;

/**
 * The questions of the contest sheets, behind a seam: production shows
 * window-modal boxes and answers later; tests answer at once. GUI thread.
 */
class ContestInteraction
{
public:
    virtual ~ContestInteraction() = default;
    /** QUESTION before a flight goes to a contest again; true to send it. */
    virtual void askResubmit(QWidget* window, const QString& question, std::function<void(bool send)> reply) = 0;
    /** A notice that needs no answer ("Password not saved ..."). */
    virtual void showNotice(QWidget* window, const QString& message) = 0;
};

/** The production interaction: window-modal message boxes opened with open(). */
[[nodiscard]] std::shared_ptr<ContestInteraction> makeContestInteraction();

/** What the sheets need from outside: the network, the keyring and the questions. */
struct ContestSheetServices
{
    HttpClient* http = nullptr;            ///< nullptr: the application's client
    CredentialStore* credentials = nullptr; ///< nullptr: the desktop keyring
    std::shared_ptr<ContestInteraction> interaction; ///< empty: message boxes
};

/**
 * The answer sheet "DHVXCResponseSheet": the server's answer page or the
 * reason a submission failed. Its close button ends it; the submission sheet
 * decides what follows.
 */
class ContestAnswerSheet final : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ContestAnswerSheet)

public:
    explicit ContestAnswerSheet(QWidget* parent);
    /** Shows TEXT (an HTML page when HTML, else plain text) window-modal. */
    void showAnswer(const QString& text, bool html);
    [[nodiscard]] QTextBrowser* view() const { return m_view; }
    [[nodiscard]] QPushButton* closeButton() const { return m_close; }

private:
    QTextBrowser* m_view = nullptr;
    QPushButton* m_close = nullptr;
};

/**
 * What the DHV-XC and XContest sheets share: the log-in rows, remembering the
 * log-in in the keyring, the question before a second submission, the
 * progress sheet with its cancel, the worker thread that sends, and the
 * answer. A failed submission keeps the sheet and its values for a retry.
 * GUI thread.
 */
class ContestSheet : public QDialog
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ContestSheet)

public:
    ~ContestSheet() override;

    [[nodiscard]] QLineEdit* userField() const { return m_user; }
    [[nodiscard]] QLineEdit* passwordField() const { return m_password; }
    [[nodiscard]] QPushButton* okButton() const { return m_ok; }
    [[nodiscard]] QPushButton* cancelButton() const { return m_cancel; }
    [[nodiscard]] LongTimeSheet* progressSheet() const { return m_progress; }
    [[nodiscard]] ContestAnswerSheet* answerSheet() const { return m_answer; }
    [[nodiscard]] bool isSending() const { return m_state == State::Sending; }

    /** Presses OK: asks first when a flight was sent already, then sends. */
    void confirm();

signals:
    /** A submission ended; SUCCESS when the contest took the flight(s). */
    void submissionFinished(bool success);

protected:
    /** What a worker runs: sends and reports the flights sent (id and answer). */
    struct SentFlight
    {
        QString id;
        QString answer;
        QString link;
    };
    struct JobResult
    {
        SubmissionOutcome outcome;
        QList<SentFlight> sent;
    };
    using Job = std::function<JobResult(HttpClient& http, const std::atomic<bool>* cancel,
                                        const std::function<void(int begun)>& progress)>;

    ContestSheet(Contest contest, ObjectContext* context, const QList<Flight*>& flights,
                 const ContestSheetServices& services, QWidget* parent);

    /** Adds the user name and password rows and fills them from the keyring. */
    void addLoginRows(QFormLayout* form);
    /** Puts FORM above the buttons; call once the subclass has filled it. */
    void finishLayout(QLayout* form);
    [[nodiscard]] const QList<QPointer<Flight>>& flights() const { return m_flights; }
    [[nodiscard]] ObjectContext* context() const { return m_context; }

    /** Stores the remembered answers (preferences). */
    virtual void rememberAnswers() = 0;
    /** The job for the values now in the sheet; an empty one with a message in REASON when they cannot be sent. */
    virtual Job prepareJob(QString& reason) = 0;

private:
    enum class State
    {
        Editing,
        Sending,
        Answer,
    };
    void applyState(State state);
    void send();
    void finished(const JobResult& result);

    Contest m_contest;
    ObjectContext* m_context;
    QList<QPointer<Flight>> m_flights;
    HttpClient* m_http;
    CredentialStore* m_credentials;
    std::shared_ptr<ContestInteraction> m_interaction;
    State m_state = State::Editing;
    bool m_closeAfterAnswer = false;
    QString m_pendingNotice; ///< why the log-in is not in the keyring, told at the end
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
    QPushButton* m_ok = nullptr;
    QPushButton* m_cancel = nullptr;
    QWidget* m_formArea = nullptr;
    LongTimeSheet* m_progress = nullptr;
    ContestAnswerSheet* m_answer = nullptr;
    std::shared_ptr<std::atomic<bool>> m_cancelFlag;
};

} // namespace kalvora
