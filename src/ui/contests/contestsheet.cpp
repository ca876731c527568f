#include "ui/contests/contestsheet.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTextBrowser>
#include <QThread>
#include <QVBoxLayout>

#include <utility>

#include "contests/credentialstore.h"
#include "contests/submissionrecords.h"
#include "model/contestsubmission.h"
#include "model/flight.h"
#include "services/httpclient.h"
#include "store/objectcontext.h"
#include "ui/longtimesheet.h"

namespace kalvora {

namespace {

class MessageBoxInteraction final : public ContestInteraction
{
public:
    void askResubmit(QWidget* window, const QString& question, std::function<void(bool)> reply) override
    {
        auto* box = new QMessageBox(QMessageBox::Question, QObject::tr("Send again?"), question,
                                    QMessageBox::Yes | QMessageBox::No, window);
        box->setObjectName(QStringLiteral("resubmitQuestion"));
        box->setDefaultButton(QMessageBox::No);
        box->setWindowModality(Qt::WindowModal);
        box->setAttribute(Qt::WA_DeleteOnClose);
        QObject::connect(box, &QMessageBox::finished, box,
                         [box, reply = std::move(reply)](int) { reply(box->clickedButton() == box->button(QMessageBox::Yes)); });
        box->open();
    }

    void showNotice(QWidget* window, const QString& message) override
    {
        auto* box = new QMessageBox(QMessageBox::Warning, QObject::tr("Password not saved"), message, QMessageBox::Ok,
                                    window);
        box->setWindowModality(Qt::WindowModal);
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->open();
    }
};

} // namespace

std::shared_ptr<ContestInteraction> makeContestInteraction()
{
    return std::make_shared<MessageBoxInteraction>();
}

ContestAnswerSheet::ContestAnswerSheet(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("DHVXCResponseSheet"));
    setWindowModality(Qt::WindowModal);
    m_view = new QTextBrowser(this);
    m_view->setObjectName(QStringLiteral("answerView"));
    m_view->setAccessibleName(tr("Answer of the contest"));
    // The page comes from the server: show it, follow nothing, load nothing.
    m_view->setOpenLinks(false);
    m_view->setOpenExternalLinks(false);
    m_view->setSearchPaths({});
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_close = buttons->button(QDialogButtonBox::Close);
    m_close->setObjectName(QStringLiteral("closeResponseSheet"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_view);
    layout->addWidget(buttons);
    resize(560, 420);
}

void ContestAnswerSheet::showAnswer(const QString& text, bool html)
{
    if (html)
        m_view->setHtml(text);
    else
        m_view->setPlainText(text);
    open();
}

ContestSheet::ContestSheet(Contest contest, ObjectContext* context, const QList<Flight*>& flights,
                           const ContestSheetServices& services, QWidget* parent)
    : QDialog(parent), m_contest(contest), m_context(context),
      m_http(services.http ? services.http : &defaultHttpClient()),
      m_credentials(services.credentials ? services.credentials : &desktopCredentialStore()),
      m_interaction(services.interaction ? services.interaction : makeContestInteraction())
{
    setWindowModality(Qt::WindowModal);
    for (Flight* flight : flights)
        m_flights.append(flight);
    m_progress = new LongTimeSheet(this);
    m_progress->setObjectName(QStringLiteral("submissionProgress"));
    m_cancelFlag = m_progress->cancelFlag();
    m_answer = new ContestAnswerSheet(this);
    m_answer->setWindowTitle(tr("Answer of %1").arg(contestName(contest)));
    connect(m_answer, &QDialog::finished, this, [this] {
        if (m_closeAfterAnswer)
            accept();
        else
            applyState(State::Editing);
    });
}

ContestSheet::~ContestSheet()
{
    // A running submission stops before its next flight and is waited for: it never outlives its sheet.
    m_cancelFlag->store(true);
    if (QThread* worker = findChild<QThread*>())
        worker->wait();
}

void ContestSheet::addLoginRows(QFormLayout* form)
{
    m_user = new QLineEdit(this);
    m_user->setObjectName(QStringLiteral("user"));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("password"));
    m_password->setEchoMode(QLineEdit::Password);
    form->addRow(tr("&User name:"), m_user);
    form->addRow(tr("&Password:"), m_password);
    const QString service = m_contest == Contest::DHVXC ? QStringLiteral("DHV_XC") : QStringLiteral("XC");
    if (std::optional<ContestLogin> login = loadContestLogin(*m_credentials, service)) {
        m_user->setText(login->user);
        m_password->setText(login->password);
        scrubSecret(login->password);
    }
}

void ContestSheet::finishLayout(QLayout* form)
{
    m_formArea = new QWidget(this);
    m_formArea->setObjectName(QStringLiteral("formArea"));
    m_formArea->setLayout(form);
    auto* buttons = new QDialogButtonBox(this);
    m_ok = buttons->addButton(tr("&Submit"), QDialogButtonBox::AcceptRole);
    m_ok->setObjectName(QStringLiteral("okButton"));
    m_ok->setDefault(true);
    m_cancel = buttons->addButton(QDialogButtonBox::Cancel);
    m_cancel->setObjectName(QStringLiteral("cancelButton"));
    connect(m_ok, &QPushButton::clicked, this, &ContestSheet::confirm);
    connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_formArea);
    layout->addWidget(buttons);
    applyState(State::Editing);
    // The log-in is what a first submission lacks; once it is known, Submit is one key away.
    if (m_user->text().isEmpty())
        m_user->setFocus();
}

void ContestSheet::applyState(State state)
{
    m_state = state;
    const bool editing = state == State::Editing;
    m_formArea->setEnabled(editing);
    m_ok->setEnabled(editing);
    m_cancel->setEnabled(editing);
}

void ContestSheet::confirm()
{
    if (m_state != State::Editing)
        return;
    for (const QPointer<Flight>& flight : m_flights) {
        if (ContestSubmission* previous = flight ? lastContestSubmission(*flight, m_contest) : nullptr) {
            m_interaction->askResubmit(this, resubmitQuestion(*previous), [self = QPointer<ContestSheet>(this)](bool go) {
                if (self && go)
                    self->send();
            });
            return;
        }
    }
    send();
}

void ContestSheet::send()
{
    if (m_state != State::Editing)
        return;
    QString reason;
    Job job = prepareJob(reason);
    if (!job) {
        m_closeAfterAnswer = false;
        applyState(State::Answer);
        m_answer->showAnswer(reason, false);
        return;
    }
    rememberAnswers();
    const QString service = m_contest == Contest::DHVXC ? QStringLiteral("DHV_XC") : QStringLiteral("XC");
    QString password = m_password->text();
    const LoginSaveOutcome saved = saveContestLogin(*m_credentials, service, {m_user->text(), password});
    scrubSecret(password);
    // Told once the submission has ended, so that its answer does not hide it.
    m_pendingNotice = saved.savedInKeyring ? QString() : saved.problem;

    applyState(State::Sending);
    m_progress->begin(tr("Exporting flight(s)..."), int(m_flights.size()));
    const std::shared_ptr<std::atomic<bool>> cancel = m_progress->cancelFlag();
    QPointer<LongTimeSheet> progress = m_progress;
    HttpClient* http = m_http;
    QThread* worker = QThread::create([this, job = std::move(job), cancel, progress, http] {
        const JobResult result = job(*http, cancel.get(), [progress](int begun) {
            QMetaObject::invokeMethod(progress, [progress, begun] {
                if (progress)
                    progress->setProgress(begun);
            }, Qt::QueuedConnection);
        });
        QMetaObject::invokeMethod(this, [this, result] { finished(result); }, Qt::QueuedConnection);
    });
    worker->setParent(this);
    connect(worker, &QThread::finished, worker, &QObject::deleteLater);
    worker->start();
}

void ContestSheet::finished(const JobResult& result)
{
    m_progress->end();
    for (const SentFlight& sent : result.sent) {
        for (const QPointer<Flight>& flight : m_flights) {
            if (flight && m_context && flight->objectId().uriString() == sent.id)
                recordContestSubmission(*m_context, *flight, m_contest, sent.answer, sent.link);
        }
    }
    const SubmissionOutcome& outcome = result.outcome;
    const QString notice = std::exchange(m_pendingNotice, QString());
    emit submissionFinished(outcome.success);
    if (outcome.message.isEmpty()) {
        if (outcome.success || outcome.cancelled)
            accept();
        else
            applyState(State::Editing);
        if (!notice.isEmpty())
            m_interaction->showNotice(isVisible() ? this : parentWidget(), notice);
        return;
    }
    // A failure goes back to the filled form for a retry; an answer page ends the submission.
    m_closeAfterAnswer = outcome.success;
    applyState(State::Answer);
    m_answer->showAnswer(outcome.message, outcome.messageIsHtml);
    if (!notice.isEmpty())
        m_interaction->showNotice(m_answer, notice);
}

} // namespace kalvora
